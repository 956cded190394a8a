#include "report/Text.h"

#include <cstdio>

#include "db/Ascii.h"

namespace vantrix::report::text {
namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD

// The length of the bidirectional formatting character at `i` of valid
// UTF-8 (U+061C, U+200E, U+200F, U+202A to U+202E, U+2066 to U+2069), 0
// when there is none; its code point in `code`. Such characters reorder
// what follows them on screen, so that a name could show as another.
std::size_t BidiControlAt(std::string_view valid, std::size_t i, unsigned& code) {
  const auto byte = [&](std::size_t k) {
    return i + k < valid.size() ? static_cast<unsigned char>(valid[i + k]) : 0u;
  };
  if (byte(0) == 0xD8 && byte(1) == 0x9C) {
    code = 0x061C;
    return 2;
  }
  if (byte(0) != 0xE2) return 0;
  const unsigned point = ((byte(0) & 0x0Fu) << 12) | ((byte(1) & 0x3Fu) << 6) | (byte(2) & 0x3Fu);
  if (point == 0x200E || point == 0x200F || (point >= 0x202A && point <= 0x202E) ||
      (point >= 0x2066 && point <= 0x2069)) {
    code = point;
    return 3;
  }
  return 0;
}

// "<U+202E>": how a bidirectional formatting character is shown.
std::string BidiName(unsigned code) {
  char name[12];
  std::snprintf(name, sizeof name, "<U+%04X>", code);
  return name;
}

// Markup escaping shared by HTML and XML: valid UTF-8, the five special
// characters as references, control characters as U+FFFD except tab, line
// feed and carriage return, which are written as references so that
// attribute values keep them (a line feed stays as it is in XML content).
std::string Markup(std::string_view text, bool xml, bool attribute) {
  const std::string valid = ValidUtf8(text);
  std::string out;
  out.reserve(valid.size());
  for (std::size_t i = 0; i < valid.size(); ++i) {
    const char c = valid[i];
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&#39;";
        break;
      case '\t':
        out += "&#9;";
        break;
      case '\n':
        out += attribute ? "&#10;" : "\n";
        break;
      case '\r':
        out += "&#13;";
        break;
      default:
        if (unsigned code = 0; const std::size_t length = BidiControlAt(valid, i, code)) {
          out += "&lt;" + BidiName(code).substr(1, 6) + "&gt;";
          i += length - 1;
        } else if (static_cast<unsigned char>(c) < 0x20 || c == '\x7f') {
          out += kReplacement;
        } else if (xml && valid.compare(i, 3, "\xEF\xBF\xBE") == 0) {
          // U+FFFE is no XML character.
          out += kReplacement;
          i += 2;
        } else if (xml && valid.compare(i, 3, "\xEF\xBF\xBF") == 0) {
          out += kReplacement;
          i += 2;
        } else {
          out += c;
        }
    }
  }
  return out;
}

bool AsciiLowerEquals(std::string_view text, std::string_view lower) {
  if (text.size() != lower.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i] >= 'A' && text[i] <= 'Z' ? static_cast<char>(text[i] + 32) : text[i];
    if (c != lower[i]) return false;
  }
  return true;
}

std::string Plural(int count, const char* one, const char* many) {
  return std::to_string(count) + " " + (count == 1 ? one : many);
}

}  // namespace

std::string ValidUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  while (!bytes.empty()) {
    const std::size_t length = db::Utf8SequenceLength(bytes);
    if (length == 0) {
      out += kReplacement;
      bytes.remove_prefix(1);
    } else {
      out += bytes.substr(0, length);
      bytes.remove_prefix(length);
    }
  }
  return out;
}

std::string Plain(std::string_view text) {
  const std::string valid = ValidUtf8(text);
  std::string out;
  out.reserve(valid.size());
  for (std::size_t i = 0; i < valid.size(); ++i) {
    const auto c = static_cast<unsigned char>(valid[i]);
    if (unsigned code = 0; const std::size_t length = BidiControlAt(valid, i, code)) {
      out += BidiName(code);
      i += length - 1;
    } else if (c < 0x20 || c == 0x7f) {
      out += kReplacement;
    } else if (c == 0xC2 && i + 1 < valid.size() &&
               static_cast<unsigned char>(valid[i + 1]) < 0xA0) {
      // U+0080 to U+009F, the C1 controls.
      out += kReplacement;
      ++i;
    } else {
      out += valid[i];
    }
  }
  return out;
}

std::string Html(std::string_view text) { return Markup(text, false, true); }

std::string Xml(std::string_view text) { return Markup(text, true, false); }

std::string XmlAttribute(std::string_view text) { return Markup(text, true, true); }

std::string Markdown(std::string_view text) {
  const std::string valid = ValidUtf8(text);
  std::string out;
  out.reserve(valid.size());
  // A zero-width space, as a character reference, keeps "@name" from
  // mentioning someone and "https://..." or "www." from becoming a link,
  // and shows nothing.
  static constexpr std::string_view kBreak = "&#8203;";
  for (std::size_t i = 0; i < valid.size(); ++i) {
    const char c = valid[i];
    const auto u = static_cast<unsigned char>(c);
    if (unsigned code = 0; const std::size_t length = BidiControlAt(valid, i, code)) {
      out += "\\<" + BidiName(code).substr(1, 6) + "\\>";
      i += length - 1;
    } else if (u < 0x20 || u == 0x7f) {
      out += ' ';
    } else if (c == '@') {
      out += '@';
      out += kBreak;
    } else if (c == ':' && valid.compare(i, 3, "://") == 0) {
      out += ':';
      out += kBreak;
    } else if ((c == '.' && i >= 3 && AsciiLowerEquals(valid.substr(i - 3, 3), "www"))) {
      out += kBreak;
      out += '.';
    } else if (std::string_view("\\`*_[]<>&|~#!$").find(c) != std::string_view::npos) {
      out += '\\';
      out += c;
    } else {
      out += c;
    }
  }
  return out;
}

std::string JsonBidiEscaped(std::string_view json) {
  std::string out;
  out.reserve(json.size());
  for (std::size_t i = 0; i < json.size(); ++i) {
    if (unsigned code = 0; const std::size_t length = BidiControlAt(json, i, code)) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", code);
      out += escape;
      i += length - 1;
    } else {
      out += json[i];
    }
  }
  return out;
}

std::string HtmlId(std::string_view tableName) {
  std::string id = "table-";
  for (const char c : tableName) {
    const auto u = static_cast<unsigned char>(c);
    if ((u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9')) {
      id += c;
    } else {
      char hex[4];
      std::snprintf(hex, sizeof hex, "_%02X", u);
      id += hex;
    }
  }
  return id;
}

const char* StatusPhrase(compare::TableStatus status) {
  switch (status) {
    case compare::TableStatus::kSame:
      return "same";
    case compare::TableStatus::kDiffers:
      return "fields differ";
    case compare::TableStatus::kOnlyInDb1:
      return "only in DB 1";
    case compare::TableStatus::kOnlyInDb2:
      return "only in DB 2";
    case compare::TableStatus::kNotChecked:
      return "not checked";
  }
  return "not checked";
}

const char* StatusPhrase(const compare::TableFinding& table) {
  if (table.status == compare::TableStatus::kDiffers) {
    bool fields = false;
    for (const compare::FieldFinding& f : table.fields) fields = fields || f.counts;
    if (!fields && !table.nameCaseDiffers) return "structure differs";
  }
  return StatusPhrase(table.status);
}

const char* KindPhrase(compare::FieldKind kind) {
  switch (kind) {
    case compare::FieldKind::kSame:
      return "same";
    case compare::FieldKind::kMissingInDb2:
      return "missing in DB 2";
    case compare::FieldKind::kOnlyInDb2:
      return "only in DB 2";
    case compare::FieldKind::kTypeDiffers:
      return "type differs";
    case compare::FieldKind::kNotNullDiffers:
      return "NOT NULL differs";
    case compare::FieldKind::kPrimaryKeyDiffers:
      return "primary key differs";
    case compare::FieldKind::kDeclaredTypeDiffers:
      return "declared type differs";
    case compare::FieldKind::kTypeNotComparable:
      return "type not comparable";
  }
  return "same";
}

std::string TypeText(const compare::FieldFacts& facts) {
  const std::string declared =
      facts.declaredType.empty() ? std::string("no declared type") : facts.declaredType;
  const bool numbered =
      !facts.typeLabel.empty() && facts.typeLabel[0] >= '0' && facts.typeLabel[0] <= '9';
  if (numbered) return declared + " (" + facts.typeLabel + ")";
  return declared + " (" + facts.typeLabel + ", code " + std::to_string(facts.typeCode) + ")";
}

std::string SideFact(const compare::FieldFinding& field, int side) {
  const std::optional<compare::FieldFacts>& facts = side == 1 ? field.db1 : field.db2;
  if (!facts) return {};
  switch (field.kind) {
    case compare::FieldKind::kNotNullDiffers:
      return facts->notNull ? "NOT NULL" : "NULL allowed";
    case compare::FieldKind::kPrimaryKeyDiffers:
      return facts->primaryKey ? "in the primary key" : "not in the primary key";
    default:
      return TypeText(*facts);
  }
}

std::string FieldDetail(const compare::FieldFinding& field) {
  const std::string db1 = SideFact(field, 1);
  const std::string db2 = SideFact(field, 2);
  if (db1.empty()) return "DB 2: " + db2;
  if (db2.empty()) return "DB 1: " + db1;
  return "DB 1: " + db1 + ", DB 2: " + db2 + (field.detail.empty() ? "" : "; " + field.detail);
}

std::string Headline(const compare::Findings& findings) {
  const int differing = findings.DifferingTables();
  if (differing == 0) return "no differences";
  return std::to_string(differing) + (differing == 1 ? " table differs" : " tables differ");
}

std::string Reasons(const compare::TableFinding& table) {
  std::string text;
  if (!table.db1Reason.empty()) text = "DB 1: " + table.db1Reason;
  if (!table.db2Reason.empty()) {
    if (!text.empty()) text += "; ";
    text += "DB 2: " + table.db2Reason;
  }
  return text;
}

std::string TableTitle(const compare::TableFinding& table) {
  if (table.db1Name && table.db2Name && *table.db1Name != *table.db2Name) {
    return *table.db1Name + " (DB 2: " + *table.db2Name + ")";
  }
  return table.Name();
}

std::string SideText(const SideDescription& side) {
  std::string text = side.engine + " " + side.database;
  if (!side.host.empty()) {
    text += " on ";
    text += side.host.find(':') != std::string::npos ? "[" + side.host + "]" : side.host;
    if (side.port > 0) text += ":" + std::to_string(side.port);
  }
  if (!side.schema.empty()) text += ", schema " + side.schema;
  return text;
}

std::string SummaryText(const compare::Findings& findings) {
  const compare::FindingsCounts& c = findings.counts;
  if (findings.oneWay) {
    return Plural(c.db1Tables, "table", "tables") + " in DB 1: " + std::to_string(c.same) +
           " Table ok, " + std::to_string(c.differ) + " Fields not ok, " +
           std::to_string(c.onlyInDb1) + " Table NOT ok, " + std::to_string(c.notChecked) +
           " Table not checked";
  }
  return Plural(c.db1Tables, "table", "tables") + " in DB 1, " + std::to_string(c.db2Tables) +
         " in DB 2: " + std::to_string(c.same) + " same, " + std::to_string(c.differ) +
         " differ, " + std::to_string(c.onlyInDb1) + " only in DB 1, " +
         std::to_string(c.onlyInDb2) + " only in DB 2, " + std::to_string(c.notChecked) +
         " not checked; " + Plural(c.fieldDifferences, "field difference", "field differences") +
         (c.structureDifferences > 0
              ? ", " + Plural(c.structureDifferences, "structure difference",
                              "structure differences")
              : std::string()) +
         ", " + Plural(c.notes, "note", "notes");
}

std::string StructurePhrase(const compare::StructureFinding& finding) {
  using compare::ObjectKind;
  std::string what;
  const std::string& name = finding.name;
  const auto named = [&](const char* object) {
    return name.empty() ? std::string(object) : std::string(object) + " " + name;
  };
  switch (finding.object) {
    case ObjectKind::kPrimaryKey:
      what = named("primary key");
      break;
    case ObjectKind::kIndex:
      what = named("index");
      break;
    case ObjectKind::kUnique:
      what = named("unique");
      break;
    case ObjectKind::kForeignKey:
      what = named("foreign key");
      break;
    case ObjectKind::kCheck:
      what = named("check");
      break;
    case ObjectKind::kDefault:
      what = "default of " + name;
      break;
    case ObjectKind::kAutoIncrement:
      what = "auto-increment of " + name;
      break;
    case ObjectKind::kGenerated:
      what = "generated column " + name;
      break;
    case ObjectKind::kCollation:
      what = name.empty() ? std::string("table collation") : "collation of " + name;
      break;
    case ObjectKind::kViewDefinition:
      what = "view definition";
      break;
    case ObjectKind::kTrigger:
      what = named("trigger");
      break;
    case ObjectKind::kColumnOrder:
      what = "column order";
      break;
  }
  switch (finding.change) {
    case compare::Change::kOnlyInDb1:
      return what + ": only in DB 1";
    case compare::Change::kOnlyInDb2:
      return what + ": only in DB 2";
    case compare::Change::kDiffers:
      return what + ": differs";
    case compare::Change::kNotComparable:
      return what + ": not comparable across engines";
  }
  return what;
}

std::string OneLine(std::string_view text) { return db::OneLine(text); }

namespace {

}  // namespace

std::string StructureDetail(const compare::StructureFinding& finding) {
  std::string text;
  if (finding.db1) text = "DB 1: " + OneLine(*finding.db1);
  if (finding.db2) text += (text.empty() ? "" : ", ") + ("DB 2: " + OneLine(*finding.db2));
  return text;
}

}  // namespace vantrix::report::text
