// Reading a snapshot: the text is checked once as JSON (grammar, UTF-8,
// depth), then read a second time straight into the schema, member by
// member, without building a JSON tree: a 20,000-table snapshot reads in a
// fraction of a second and takes no more memory than its schema and text.
#include <charconv>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "db/Ascii.h"
#include "snapshot/Snapshot.h"

namespace vantrix::snapshot {
namespace {

constexpr int kMaxDepth = 32;  // a snapshot is 6 deep; anything far deeper is hostile

struct Refusal {
  std::string reason;
};

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

// The four hex digits of a \u escape at `at`, or -1.
int Hex4(std::string_view t, std::size_t at) {
  if (at + 4 > t.size()) return -1;
  int value = 0;
  for (std::size_t i = at; i < at + 4; ++i) {
    const int digit = db::HexDigitValue(t[i]);
    if (digit < 0) return -1;
    value = value * 16 + digit;
  }
  return value;
}

// ----- the first reading: is it JSON, how deep, which version -----

class Syntax {
public:
  enum class Result { kJson, kNotJson, kTooDeep };

  explicit Syntax(std::string_view text) : t_(text) {}

  Result Check() {
    const Result result = Value(0);
    if (result != Result::kJson) return result;
    SkipSpace();
    return p_ == t_.size() ? Result::kJson : Result::kNotJson;
  }

  bool topObject = false;
  // The raw text of the top object's "snapshot_version", when it has one.
  std::optional<std::string_view> version;

private:
  void SkipSpace() {
    while (p_ < t_.size() && IsSpace(t_[p_])) ++p_;
  }

  bool Literal(std::string_view word) {
    if (t_.substr(p_, word.size()) != word) return false;
    p_ += word.size();
    return true;
  }

  bool Digits() {
    const std::size_t start = p_;
    while (p_ < t_.size() && t_[p_] >= '0' && t_[p_] <= '9') ++p_;
    return p_ > start;
  }

  bool Number() {
    if (t_[p_] == '-') ++p_;
    if (p_ >= t_.size()) return false;
    if (t_[p_] == '0') {
      ++p_;
    } else if (!Digits()) {
      return false;
    }
    if (p_ < t_.size() && t_[p_] == '.') {
      ++p_;
      if (!Digits()) return false;
    }
    if (p_ < t_.size() && (t_[p_] == 'e' || t_[p_] == 'E')) {
      ++p_;
      if (p_ < t_.size() && (t_[p_] == '+' || t_[p_] == '-')) ++p_;
      if (!Digits()) return false;
    }
    return true;
  }

  // A string at p_ (its opening quote); its bytes between the quotes in
  // `raw`.
  bool String(std::string_view* raw = nullptr) {
    const std::size_t start = ++p_;
    while (p_ < t_.size()) {
      const auto c = static_cast<unsigned char>(t_[p_]);
      if (c == '"') {
        if (raw) *raw = t_.substr(start, p_ - start);
        ++p_;
        return true;
      }
      if (c < 0x20) return false;
      if (c >= 0x80) {
        const std::size_t length = db::Utf8SequenceLength(t_.substr(p_));
        if (length == 0) return false;
        p_ += length;
        continue;
      }
      if (c != '\\') {
        ++p_;
        continue;
      }
      if (++p_ >= t_.size()) return false;
      const char e = t_[p_++];
      if (e == 'u') {
        const int unit = Hex4(t_, p_);
        if (unit < 0) return false;
        p_ += 4;
        if (unit >= 0xDC00 && unit <= 0xDFFF) return false;  // a low half alone
        if (unit >= 0xD800 && unit <= 0xDBFF) {
          if (!Literal("\\u")) return false;
          const int second = Hex4(t_, p_);
          if (second < 0xDC00 || second > 0xDFFF) return false;
          p_ += 4;
        }
      } else if (std::strchr("\"\\/bfnrt", e) == nullptr || e == '\0') {
        return false;
      }
    }
    return false;
  }

  Result Value(int depth) {
    SkipSpace();
    if (p_ >= t_.size()) return Result::kNotJson;
    const char c = t_[p_];
    if (c == '"') return String() ? Result::kJson : Result::kNotJson;
    if (c == 't') return Literal("true") ? Result::kJson : Result::kNotJson;
    if (c == 'f') return Literal("false") ? Result::kJson : Result::kNotJson;
    if (c == 'n') return Literal("null") ? Result::kJson : Result::kNotJson;
    if (c != '{' && c != '[') return Number() ? Result::kJson : Result::kNotJson;
    if (depth + 1 > kMaxDepth) return Result::kTooDeep;
    const bool object = c == '{';
    if (depth == 0) topObject = object;
    ++p_;
    SkipSpace();
    if (p_ < t_.size() && t_[p_] == (object ? '}' : ']')) {
      ++p_;
      return Result::kJson;
    }
    while (true) {
      std::string_view key;
      bool isVersion = false;
      if (object) {
        SkipSpace();
        if (p_ >= t_.size() || t_[p_] != '"' || !String(&key)) return Result::kNotJson;
        SkipSpace();
        if (p_ >= t_.size() || t_[p_++] != ':') return Result::kNotJson;
        isVersion = depth == 0 && key == "snapshot_version";
      }
      SkipSpace();
      const std::size_t start = p_;
      const Result item = Value(depth + 1);
      if (item != Result::kJson) return item;
      if (isVersion) version = t_.substr(start, p_ - start);
      SkipSpace();
      if (p_ >= t_.size()) return Result::kNotJson;
      const char next = t_[p_++];
      if (next == ',') continue;
      return next == (object ? '}' : ']') ? Result::kJson : Result::kNotJson;
    }
  }

  std::string_view t_;
  std::size_t p_ = 0;
};

// ----- the second reading: into the schema -----

// Reads JSON the first reading found sound; every check here is of what
// the members mean, and each refusal says where it is.
class Reader {
public:
  explicit Reader(std::string_view text) : t_(text) {}

  char Peek() {
    while (p_ < t_.size() && IsSpace(t_[p_])) ++p_;
    return p_ < t_.size() ? t_[p_] : '\0';
  }

  // The members of the object at the cursor: `member(key)` reads each
  // value (or leaves it to be skipped by returning false).
  template <typename F>
  void Members(F&& member) {
    Peek();
    ++p_;  // {
    if (Peek() == '}') {
      ++p_;
      return;
    }
    while (true) {
      Peek();
      const std::string_view key = Key();
      Peek();
      ++p_;  // :
      if (!member(key)) Skip();
      if (Peek() == ',') {
        ++p_;
        continue;
      }
      ++p_;  // }
      return;
    }
  }

  // The items of the list at the cursor, each read by `item()`.
  template <typename F>
  void Items(F&& item) {
    Peek();
    ++p_;  // [
    if (Peek() == ']') {
      ++p_;
      return;
    }
    while (true) {
      item();
      if (Peek() == ',') {
        ++p_;
        continue;
      }
      ++p_;  // ]
      return;
    }
  }

  // A string value; the cursor on its opening quote.
  std::string Text() {
    std::string out;
    AppendString(out);
    return out;
  }

  bool Boolean() {
    const bool value = t_[p_] == 't';
    p_ += value ? 4 : 5;
    return value;
  }

  // An integer written as one (no fraction, no exponent) that fits.
  std::optional<long long> Integer() {
    const std::size_t start = p_;
    Skip();
    const std::string_view text = t_.substr(start, p_ - start);
    long long value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
  }

  // Any value, passed over.
  void Skip() {
    const char c = Peek();
    if (c == '"') {
      SkipString();
      return;
    }
    if (c != '{' && c != '[') {
      while (p_ < t_.size() && !IsSpace(t_[p_]) && t_[p_] != ',' && t_[p_] != '}' &&
             t_[p_] != ']') {
        ++p_;
      }
      return;
    }
    int depth = 0;
    do {
      const char d = t_[p_];
      if (d == '"') {
        SkipString();
        continue;
      }
      if (d == '{' || d == '[') ++depth;
      if (d == '}' || d == ']') --depth;
      ++p_;
    } while (depth > 0);
  }

private:
  std::string_view Key() {
    const std::size_t start = p_ + 1;
    const std::size_t end = t_.find_first_of("\"\\", start);
    if (t_[end] == '"') {
      p_ = end + 1;
      return t_.substr(start, end - start);
    }
    key_.clear();
    AppendString(key_);
    return key_;
  }

  void SkipString() {
    ++p_;
    while (true) {
      const std::size_t at = t_.find_first_of("\"\\", p_);
      if (t_[at] == '"') {
        p_ = at + 1;
        return;
      }
      p_ = at + 2;
    }
  }

  static void AppendUtf8(std::string& out, unsigned code) {
    if (code < 0x80) {
      out += static_cast<char>(code);
    } else if (code < 0x800) {
      out += static_cast<char>(0xC0 | (code >> 6));
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
      out += static_cast<char>(0xE0 | (code >> 12));
      out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (code >> 18));
      out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (code & 0x3F));
    }
  }

  void AppendString(std::string& out) {
    ++p_;  // "
    while (true) {
      const std::size_t at = t_.find_first_of("\"\\", p_);
      out.append(t_.data() + p_, at - p_);
      p_ = at + 1;
      if (t_[at] == '"') return;
      const char e = t_[p_++];
      switch (e) {
        case 'b':
          out += '\b';
          break;
        case 'f':
          out += '\f';
          break;
        case 'n':
          out += '\n';
          break;
        case 'r':
          out += '\r';
          break;
        case 't':
          out += '\t';
          break;
        case 'u': {
          unsigned code = static_cast<unsigned>(Hex4(t_, p_));
          p_ += 4;
          if (code >= 0xD800 && code <= 0xDBFF) {
            const auto low = static_cast<unsigned>(Hex4(t_, p_ + 2));
            p_ += 6;
            code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
          }
          AppendUtf8(out, code);
          break;
        }
        default:  // " \ /
          out += e;
      }
    }
  }

  std::string_view t_;
  std::size_t p_ = 0;
  std::string key_;
};

// Typed members, each refused with where it is when it is not what the
// format says. `where` makes the place's words, only when needed.
template <typename W>
std::string StringMember(Reader& r, std::string_view key, W&& where) {
  if (r.Peek() != '"') throw Refusal{where() + ": \"" + std::string(key) + "\" is not a string"};
  return r.Text();
}

template <typename W>
bool BoolMember(Reader& r, std::string_view key, W&& where) {
  const char c = r.Peek();
  if (c != 't' && c != 'f') {
    throw Refusal{where() + ": \"" + std::string(key) + "\" is not true or false"};
  }
  return r.Boolean();
}

template <typename W>
long long IntegerMember(Reader& r, std::string_view key, W&& where) {
  const char c = r.Peek();
  std::optional<long long> value;
  if (c == '-' || (c >= '0' && c <= '9')) value = r.Integer();
  if (!value) throw Refusal{where() + ": \"" + std::string(key) + "\" is not an integer"};
  return *value;
}

template <typename W, typename F>
void ListMember(Reader& r, std::string_view key, W&& where, F&& item) {
  if (r.Peek() != '[') throw Refusal{where() + ": \"" + std::string(key) + "\" is not a list"};
  r.Items(item);
}

template <typename W>
std::vector<std::string> StringsMember(Reader& r, std::string_view key, W&& where) {
  std::vector<std::string> out;
  ListMember(r, key, where, [&] {
    if (r.Peek() != '"') {
      throw Refusal{where() + ": \"" + std::string(key) + "\" holds something not a string"};
    }
    out.push_back(r.Text());
  });
  return out;
}

// An object where one is due; `where` names the thing.
template <typename W>
void ExpectObject(Reader& r, W&& where) {
  if (r.Peek() != '{') throw Refusal{where() + " is not an object"};
}

template <typename W>
void Require(bool present, const char* key, W&& where) {
  if (!present) throw Refusal{where() + " has no \"" + key + "\""};
}

db::Default::Kind KindNamed(const std::string& name, const std::string& where) {
  for (const auto kind :
       {db::Default::Kind::kNone, db::Default::Kind::kNull, db::Default::Kind::kNumber,
        db::Default::Kind::kString, db::Default::Kind::kBoolean, db::Default::Kind::kCurrentTime,
        db::Default::Kind::kExpression}) {
    if (name == DefaultKindName(kind)) return kind;
  }
  throw Refusal{where + ": the default's kind \"" + name + "\" is not known"};
}

db::Column ReadColumn(Reader& r, const std::string& table) {
  const auto tableWhere = [&] { return "table \"" + table + "\""; };
  ExpectObject(r, tableWhere);
  db::Column c;
  bool hasName = false;
  bool hasType = false;
  bool hasCode = false;
  long long code = 0;
  const auto at = [&] { return tableWhere() + " field \"" + c.name + "\""; };
  r.Members([&](std::string_view key) {
    if (key == "name") {
      c.name = StringMember(r, key, tableWhere);
      hasName = true;
    } else if (key == "type") {
      c.declaredType = StringMember(r, key, at);
      hasType = true;
    } else if (key == "code") {
      code = IntegerMember(r, key, at);
      hasCode = true;
    } else if (key == "not_null") {
      c.notNull = BoolMember(r, key, at);
    } else if (key == "primary_key") {
      c.primaryKey = BoolMember(r, key, at);
    } else if (key == "enum_values") {
      c.enumValues = StringMember(r, key, at);
    } else if (key == "default") {
      const auto defaultWhere = [&] { return at() + " default"; };
      ExpectObject(r, defaultWhere);
      std::optional<std::string> kind;
      std::optional<std::string> value;
      std::optional<std::string> declared;
      r.Members([&](std::string_view k) {
        if (k == "kind") {
          kind = StringMember(r, k, defaultWhere);
        } else if (k == "value") {
          value = StringMember(r, k, defaultWhere);
        } else if (k == "declared") {
          declared = StringMember(r, k, defaultWhere);
        } else {
          return false;
        }
        return true;
      });
      Require(kind.has_value(), "kind", defaultWhere);
      Require(value.has_value(), "value", defaultWhere);
      Require(declared.has_value(), "declared", defaultWhere);
      c.defaultValue.kind = KindNamed(*kind, at());
      c.defaultValue.value = std::move(*value);
      c.defaultValue.declared = std::move(*declared);
    } else if (key == "auto_increment") {
      c.autoIncrement = BoolMember(r, key, at);
    } else if (key == "generated") {
      c.generated = StringMember(r, key, at);
    } else if (key == "generated_stored") {
      c.generatedStored = BoolMember(r, key, at);
    } else if (key == "on_update_current_time") {
      c.onUpdateCurrentTime = BoolMember(r, key, at);
    } else if (key == "collation") {
      c.collation = StringMember(r, key, at);
    } else if (key == "charset") {
      c.charset = StringMember(r, key, at);
    } else {
      return false;
    }
    return true;
  });
  Require(hasName, "name", tableWhere);
  Require(hasType, "type", at);
  Require(hasCode, "code", at);
  if (code < -1 || code > 19) throw Refusal{at() + ": the type code is not one of -1 to 19"};
  c.typeCode = static_cast<int>(code);
  return c;
}

db::Index ReadIndex(Reader& r, const std::string& table) {
  const auto where = [&] { return "table \"" + table + "\" index"; };
  ExpectObject(r, where);
  db::Index index;
  bool hasName = false;
  const auto at = [&] { return where() + " \"" + index.name + "\""; };
  r.Members([&](std::string_view key) {
    if (key == "name") {
      index.name = StringMember(r, key, where);
      hasName = true;
    } else if (key == "unique") {
      index.unique = BoolMember(r, key, at);
    } else if (key == "constraint") {
      index.constraint = BoolMember(r, key, at);
    } else if (key == "engine_named") {
      index.engineNamed = BoolMember(r, key, at);
    } else if (key == "backs_foreign_key") {
      index.backsForeignKey = BoolMember(r, key, at);
    } else if (key == "parts") {
      index.parts.clear();
      ListMember(r, key, at, [&] {
        const auto partWhere = [&] { return at() + " part"; };
        db::IndexPart part;
        // Earlier writers gave a part with nothing in it as null.
        if (r.Peek() == 'n') {
          r.Skip();
          index.parts.push_back(std::move(part));
          return;
        }
        ExpectObject(r, partWhere);
        r.Members([&](std::string_view k) {
          if (k == "column") {
            part.column = StringMember(r, k, at);
          } else if (k == "expression") {
            part.expression = StringMember(r, k, at);
          } else if (k == "descending") {
            part.descending = BoolMember(r, k, at);
          } else if (k == "prefix_length") {
            const long long prefix = IntegerMember(r, k, at);
            if (prefix < 0 || prefix > 1'000'000) {
              throw Refusal{at() + ": the prefix length is not sane"};
            }
            part.prefixLength = static_cast<int>(prefix);
          } else {
            return false;
          }
          return true;
        });
        index.parts.push_back(std::move(part));
      });
    } else if (key == "predicate") {
      index.predicate = StringMember(r, key, at);
    } else if (key == "method") {
      index.method = StringMember(r, key, at);
    } else if (key == "declared") {
      index.declared = StringMember(r, key, at);
    } else {
      return false;
    }
    return true;
  });
  Require(hasName, "name", where);
  return index;
}

db::ForeignKey ReadForeignKey(Reader& r, const std::string& table) {
  const auto where = [&] { return "table \"" + table + "\" foreign key"; };
  ExpectObject(r, where);
  db::ForeignKey key;
  bool has[5] = {};  // name, referenced_table, on_delete, on_update, columns
  const auto at = [&] { return where() + " \"" + key.name + "\""; };
  r.Members([&](std::string_view k) {
    if (k == "name") {
      key.name = StringMember(r, k, where);
      has[0] = true;
    } else if (k == "engine_named") {
      key.engineNamed = BoolMember(r, k, at);
    } else if (k == "columns") {
      key.columns = StringsMember(r, k, at);
    } else if (k == "referenced_table") {
      key.referencedTable = StringMember(r, k, at);
      has[1] = true;
    } else if (k == "referenced_columns") {
      key.referencedColumns = StringsMember(r, k, at);
    } else if (k == "on_delete") {
      key.onDelete = StringMember(r, k, at);
      has[2] = true;
    } else if (k == "on_update") {
      key.onUpdate = StringMember(r, k, at);
      has[3] = true;
    } else if (k == "declared") {
      key.declared = StringMember(r, k, at);
    } else {
      return false;
    }
    return true;
  });
  Require(has[0], "name", where);
  Require(has[1], "referenced_table", at);
  Require(has[2], "on_delete", at);
  Require(has[3], "on_update", at);
  return key;
}

db::Check ReadCheck(Reader& r, const std::string& table) {
  const auto where = [&] { return "table \"" + table + "\" check"; };
  ExpectObject(r, where);
  db::Check check;
  bool hasName = false;
  bool hasExpression = false;
  r.Members([&](std::string_view k) {
    if (k == "name") {
      check.name = StringMember(r, k, where);
      hasName = true;
    } else if (k == "engine_named") {
      check.engineNamed = BoolMember(r, k, where);
    } else if (k == "expression") {
      check.expression = StringMember(r, k, where);
      hasExpression = true;
    } else {
      return false;
    }
    return true;
  });
  Require(hasName, "name", where);
  Require(hasExpression, "expression", where);
  return check;
}

db::Trigger ReadTrigger(Reader& r, const std::string& table) {
  const auto where = [&] { return "table \"" + table + "\" trigger"; };
  ExpectObject(r, where);
  db::Trigger trigger;
  bool has[4] = {};  // name, timing, event, body
  r.Members([&](std::string_view k) {
    if (k == "name") {
      trigger.name = StringMember(r, k, where);
      has[0] = true;
    } else if (k == "timing") {
      trigger.timing = StringMember(r, k, where);
      has[1] = true;
    } else if (k == "event") {
      trigger.event = StringMember(r, k, where);
      has[2] = true;
    } else if (k == "body") {
      trigger.body = StringMember(r, k, where);
      has[3] = true;
    } else if (k == "declared") {
      trigger.declared = StringMember(r, k, where);
    } else {
      return false;
    }
    return true;
  });
  Require(has[0], "name", where);
  Require(has[1], "timing", where);
  Require(has[2], "event", where);
  Require(has[3], "body", where);
  return trigger;
}

db::Table ReadTable(Reader& r) {
  if (r.Peek() != '{') throw Refusal{"a table of the snapshot is not an object"};
  db::Table t;
  bool hasName = false;
  std::optional<std::string> kind;
  std::string state;
  const auto where = [&] { return "table \"" + t.name + "\""; };
  const auto aTable = [] { return std::string("a table"); };
  r.Members([&](std::string_view key) {
    if (key == "name") {
      t.name = StringMember(r, key, aTable);
      hasName = true;
    } else if (key == "kind") {
      kind = StringMember(r, key, where);
    } else if (key == "state") {
      state = StringMember(r, key, where);
    } else if (key == "error") {
      t.error = StringMember(r, key, where);
    } else if (key == "columns") {
      t.columns.clear();
      ListMember(r, key, where, [&] { t.columns.push_back(ReadColumn(r, t.name)); });
      // Lists grow by doubling: what is kept is what was read.
      t.columns.shrink_to_fit();
    } else if (key == "view_definition") {
      t.viewDefinition = StringMember(r, key, where);
    } else if (key == "primary_key") {
      t.primaryKey = StringsMember(r, key, where);
    } else if (key == "primary_key_name") {
      t.primaryKeyName = StringMember(r, key, where);
    } else if (key == "indexes") {
      t.indexes.clear();
      ListMember(r, key, where, [&] { t.indexes.push_back(ReadIndex(r, t.name)); });
    } else if (key == "foreign_keys") {
      t.foreignKeys.clear();
      ListMember(r, key, where, [&] { t.foreignKeys.push_back(ReadForeignKey(r, t.name)); });
    } else if (key == "checks") {
      t.checks.clear();
      ListMember(r, key, where, [&] { t.checks.push_back(ReadCheck(r, t.name)); });
    } else if (key == "triggers") {
      t.triggers.clear();
      ListMember(r, key, where, [&] { t.triggers.push_back(ReadTrigger(r, t.name)); });
    } else if (key == "collation") {
      t.collation = StringMember(r, key, where);
    } else if (key == "charset") {
      t.charset = StringMember(r, key, where);
    } else {
      return false;
    }
    return true;
  });
  Require(hasName, "name", aTable);
  Require(kind.has_value(), "kind", where);
  if (*kind != "table" && *kind != "view") throw Refusal{where() + ": kind is not table or view"};
  t.view = *kind == "view";
  if (state.empty() || state == "read") {
    t.state = db::TableState::kRead;
  } else if (state == "unreadable") {
    t.state = db::TableState::kUnreadable;
  } else if (state == "unknown") {
    t.state = db::TableState::kUnknown;
  } else {
    throw Refusal{where() + ": the state \"" + state + "\" is not known"};
  }
  return t;
}

// A value's text for a message: short, on one line.
std::string Shown(std::string_view raw) {
  std::string out(raw.substr(0, 40));
  for (char& c : out) {
    if (static_cast<unsigned char>(c) < 0x20) c = ' ';
  }
  return raw.size() > 40 ? out + "..." : out;
}

}  // namespace

ReadResult ReadSnapshot(std::string_view text) {
  try {
    if (text.size() > kMaxSnapshotBytes) {
      throw Refusal{"it is larger than a snapshot can be (256 MiB)"};
    }
    Syntax syntax(text);
    const Syntax::Result checked = syntax.Check();
    if (checked == Syntax::Result::kTooDeep)
      throw Refusal{"it is nested deeper than a snapshot is"};
    if (checked == Syntax::Result::kNotJson) throw Refusal{"it is not JSON"};
    if (!syntax.topObject || !syntax.version) {
      throw Refusal{"it is no vantrix-diff snapshot (it has no \"snapshot_version\")"};
    }
    if (*syntax.version != std::to_string(kSnapshotVersion)) {
      throw Refusal{"its snapshot_version is " + Shown(*syntax.version) +
                    "; this program reads version " + std::to_string(kSnapshotVersion)};
    }
    Reader r(text);
    db::Schema schema;
    std::optional<std::string> engine;
    const auto where = [] { return std::string("the snapshot"); };
    r.Members([&](std::string_view key) {
      if (key == "engine") {
        engine = StringMember(r, key, where);
      } else if (key == "qualifier") {
        schema.qualifier = StringMember(r, key, where);
      } else if (key == "tables") {
        schema.tables.clear();
        ListMember(r, key, where, [&] { schema.tables.push_back(ReadTable(r)); });
      } else {
        return false;
      }
      return true;
    });
    Require(engine.has_value(), "engine", where);
    schema.engine = std::move(*engine);
    if (schema.engine != "SQLite" && schema.engine != "Mysql" && schema.engine != "PostgreSQL" &&
        schema.engine != "CubeSQLserver") {
      throw Refusal{"its engine \"" + schema.engine + "\" is not one this program knows"};
    }
    return {std::move(schema), {}};
  } catch (const Refusal& refusal) {
    return {std::nullopt, refusal.reason};
  } catch (const std::exception& e) {
    return {std::nullopt, std::string("it cannot be read: ") + e.what()};
  }
}

ReadResult ReadSnapshotFile(const std::string& path) {
  std::error_code ec;
  const auto status = std::filesystem::status(path, ec);
  if (!std::filesystem::exists(status)) return {std::nullopt, "no such file"};
  if (!std::filesystem::is_regular_file(status)) return {std::nullopt, "it is not a regular file"};
  const auto size = std::filesystem::file_size(path, ec);
  if (ec) return {std::nullopt, ec.message()};
  if (size > kMaxSnapshotBytes) {
    return {std::nullopt, "it is larger than a snapshot can be (256 MiB)"};
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) return {std::nullopt, "it cannot be opened"};
  // In one read of the size it has; a file that grows meanwhile is read
  // to that size, one that shrinks is taken as it is.
  std::string text(static_cast<std::size_t>(size), '\0');
  in.read(text.data(), static_cast<std::streamsize>(text.size()));
  text.resize(static_cast<std::size_t>(in.gcount()));
  return ReadSnapshot(text);
}

}  // namespace vantrix::snapshot
