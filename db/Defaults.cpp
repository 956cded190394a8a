#include "db/Defaults.h"

#include <array>
#include <cctype>

#include "db/Ascii.h"

namespace vantrix::db {
namespace {

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsAsciiSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsAsciiSpace(text.back())) text.remove_suffix(1);
  return text;
}

// Drops parentheses around the whole text: "((0))" is "0".
std::string_view Unwrap(std::string_view text) {
  text = Trim(text);
  while (text.size() >= 2 && text.front() == '(' && text.back() == ')') {
    // Only when the first "(" closes at the very end.
    int depth = 0;
    char quote = 0;
    std::size_t close = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
      const char c = text[i];
      if (quote) {
        if (c == quote) quote = 0;
      } else if (c == '\'' || c == '"') {
        quote = c;
      } else if (c == '(') {
        ++depth;
      } else if (c == ')' && --depth == 0) {
        close = i;
        break;
      }
    }
    if (close != text.size() - 1) break;
    text = Trim(text.substr(1, text.size() - 2));
  }
  return text;
}

// A quoted string at the start of `text` ('...' with '' inside), with an
// optional N or E prefix; its value, and where it ends. None when `text`
// does not start with one.
bool QuotedString(std::string_view text, std::string& value, std::size_t& end) {
  std::size_t i = 0;
  if (!text.empty() && (text[0] == 'N' || text[0] == 'n' || text[0] == 'E' || text[0] == 'e') &&
      text.size() > 1 && text[1] == '\'') {
    i = 1;
  }
  if (i >= text.size() || text[i] != '\'') return false;
  value.clear();
  for (++i; i < text.size(); ++i) {
    if (text[i] == '\'') {
      if (i + 1 < text.size() && text[i + 1] == '\'') {
        value += '\'';
        ++i;
        continue;
      }
      end = i + 1;
      return true;
    }
    value += text[i];
  }
  return false;
}

// A number written plainly: "-1.50" gives "-1.5", "007" gives "7", "1." "1".
bool PlainNumber(std::string_view text, std::string& number) {
  text = Trim(text);
  if (text.empty()) return false;
  std::size_t i = 0;
  bool negative = false;
  if (text[0] == '+' || text[0] == '-') {
    negative = text[0] == '-';
    i = 1;
  }
  std::string whole;
  std::string fraction;
  bool dot = false;
  bool digits = false;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (c >= '0' && c <= '9') {
      (dot ? fraction : whole) += c;
      digits = true;
    } else if (c == '.' && !dot) {
      dot = true;
    } else {
      return false;
    }
  }
  if (!digits) return false;
  while (whole.size() > 1 && whole.front() == '0') whole.erase(0, 1);
  if (whole.empty()) whole = "0";
  while (!fraction.empty() && fraction.back() == '0') fraction.pop_back();
  number = whole + (fraction.empty() ? "" : "." + fraction);
  if (negative && number != "0") number = "-" + number;
  return true;
}

bool IsNumericCode(int code) {
  return code == 1 || code == 2 || code == 3 || code == 6 || code == 7 || code == 11 ||
         code == 13 || code == 19;
}

// The current-time family, by what it gives.
const char* CurrentTime(std::string_view text) {
  const std::string lower = AsciiLower(Trim(text));
  std::string name = lower;
  // Arguments (a precision) do not change what is meant.
  if (const std::size_t paren = name.find('('); paren != std::string::npos) {
    if (name.back() != ')') return nullptr;
    for (std::size_t i = paren + 1; i + 1 < name.size(); ++i) {
      if (!std::isdigit(static_cast<unsigned char>(name[i])) && !IsAsciiSpace(name[i])) {
        return nullptr;
      }
    }
    name = std::string(Trim(name.substr(0, paren)));
  }
  static constexpr std::array<std::pair<std::string_view, const char*>, 11> kNames = {{
      {"current_timestamp", "timestamp"},
      {"now", "timestamp"},
      {"localtimestamp", "timestamp"},
      {"localtime", "time"},
      {"sysdate", "timestamp"},
      {"datetime('now')", "timestamp"},
      {"current_date", "date"},
      {"curdate", "date"},
      {"current_time", "time"},
      {"curtime", "time"},
      {"statement_timestamp", "timestamp"},
  }};
  for (const auto& [known, kind] : kNames) {
    if (name == known) return kind;
  }
  if (lower == "datetime('now')" || lower == "datetime('now','localtime')") return "timestamp";
  return nullptr;
}

}  // namespace

Default ParseDefault(std::string_view declared, int typeCode) {
  Default result;
  result.declared = std::string(Trim(declared));
  const std::string_view text = Unwrap(declared);
  if (text.empty()) {
    result.declared.clear();
    return result;
  }
  const std::string lower = AsciiLower(text);
  if (lower == "null" || lower.starts_with("null::")) {
    result.kind = Default::Kind::kNull;
    return result;
  }
  if (const char* kind = CurrentTime(text)) {
    result.kind = Default::Kind::kCurrentTime;
    result.value = kind;
    return result;
  }
  const bool boolean = typeCode == 12;
  // A bit literal: b'1', B'0'.
  if (lower.size() >= 3 && lower[0] == 'b' && lower[1] == '\'' && lower.back() == '\'') {
    const std::string bits = lower.substr(2, lower.size() - 3);
    if (bits.find_first_not_of("01") == std::string::npos && !bits.empty()) {
      if (boolean || bits.size() == 1) {
        result.kind = Default::Kind::kBoolean;
        result.value = bits.find('1') == std::string::npos ? "false" : "true";
        return result;
      }
    }
  }
  std::string literal;
  bool quoted = false;
  std::size_t end = 0;
  if (QuotedString(text, literal, end)) {
    // What may follow: casts ("::character varying", "::text[]").
    const std::string_view rest = Trim(text.substr(end));
    if (rest.empty() || rest.starts_with("::")) quoted = true;
  } else {
    literal = std::string(text);
  }
  const std::string lowerLiteral = AsciiLower(literal);
  if (boolean) {
    if (lowerLiteral == "true" || lowerLiteral == "t" || lowerLiteral == "1" ||
        lowerLiteral == "yes" || lowerLiteral == "on") {
      result.kind = Default::Kind::kBoolean;
      result.value = "true";
      return result;
    }
    if (lowerLiteral == "false" || lowerLiteral == "f" || lowerLiteral == "0" ||
        lowerLiteral == "no" || lowerLiteral == "off") {
      result.kind = Default::Kind::kBoolean;
      result.value = "false";
      return result;
    }
  } else if (!quoted && (lowerLiteral == "true" || lowerLiteral == "false")) {
    result.kind = Default::Kind::kBoolean;
    result.value = lowerLiteral;
    return result;
  }
  std::string number;
  if ((!quoted || IsNumericCode(typeCode)) && PlainNumber(literal, number)) {
    result.kind = Default::Kind::kNumber;
    result.value = number;
    return result;
  }
  if (quoted) {
    result.kind = Default::Kind::kString;
    result.value = literal;
    return result;
  }
  result.kind = Default::Kind::kExpression;
  result.value = std::string(text);
  return result;
}

bool SameDefault(const Default& a, const Default& b) {
  const auto absent = [](const Default& d) {
    return d.kind == Default::Kind::kNone || d.kind == Default::Kind::kNull;
  };
  if (absent(a) || absent(b)) return absent(a) && absent(b);
  if (a.kind != b.kind) return false;
  if (a.kind == Default::Kind::kExpression) {
    return NormalizedExpression(a.value) == NormalizedExpression(b.value);
  }
  return a.value == b.value;
}

std::string NormalizedExpression(std::string_view text, std::string_view qualifier) {
  text = Unwrap(text);
  std::string out;
  out.reserve(text.size());
  bool space = false;
  // A space between two words stays; around punctuation it goes.
  const auto separate = [&](char next) {
    if (space && !out.empty() &&
        std::string_view("(,=<>+-*/%|.:").find(out.back()) == std::string_view::npos &&
        std::string_view("(),=<>+-*/%|.:;").find(next) == std::string_view::npos) {
      out += ' ';
    }
    space = false;
  };
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\'') {
      // A literal is kept as it is.
      std::size_t j = i + 1;
      while (j < text.size()) {
        if (text[j] == '\'') {
          if (j + 1 < text.size() && text[j + 1] == '\'') {
            j += 2;
            continue;
          }
          break;
        }
        ++j;
      }
      separate(c);
      out += text.substr(i, j - i + 1);
      i = j;
      continue;
    }
    if (IsAsciiSpace(c)) {
      space = true;
      continue;
    }
    // Quoted names lose their quotes: "a" and `a` and a are one name.
    if (c == '"' || c == '`') {
      const std::size_t close = text.find(c, i + 1);
      if (close != std::string_view::npos) {
        separate(text[i + 1]);
        out += AsciiLower(text.substr(i + 1, close - i - 1));
        i = close;
        continue;
      }
    }
    separate(c);
    out += AsciiLower(c);
  }
  if (!qualifier.empty()) {
    const std::string prefix = AsciiLower(qualifier) + ".";
    for (std::size_t at = out.find(prefix); at != std::string::npos; at = out.find(prefix, at)) {
      const bool startOfName =
          at == 0 || !(std::isalnum(static_cast<unsigned char>(out[at - 1])) || out[at - 1] == '_');
      if (startOfName) {
        out.erase(at, prefix.size());
      } else {
        at += prefix.size();
      }
    }
  }
  return out;
}

std::string NormalizedAction(std::string_view text) {
  std::string out;
  bool space = false;
  for (const char c : Trim(text)) {
    if (IsAsciiSpace(c)) {
      space = true;
      continue;
    }
    if (space && !out.empty()) out += ' ';
    space = false;
    out += AsciiUpper(c);
  }
  for (const char* known : {"NO ACTION", "RESTRICT", "CASCADE", "SET NULL", "SET DEFAULT"}) {
    if (out == known) return out;
  }
  return "NO ACTION";
}

}  // namespace vantrix::db
