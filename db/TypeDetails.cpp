#include "db/TypeDetails.h"

#include <array>
#include <charconv>
#include <vector>

#include "db/Ascii.h"
#include "db/Database.h"

namespace vantrix::db {
namespace {

bool OneOf(std::string_view word, std::initializer_list<std::string_view> words) {
  for (const std::string_view w : words) {
    if (word == w) return true;
  }
  return false;
}

std::optional<long long> Number(std::string_view text) {
  while (!text.empty() && IsAsciiSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsAsciiSpace(text.back())) text.remove_suffix(1);
  long long value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

// The arguments in parentheses, split at the commas outside quotes.
std::vector<std::string> Arguments(std::string_view text) {
  std::vector<std::string> arguments(1);
  char quote = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (quote) {
      arguments.back() += c;
      if (c == quote) {
        if (i + 1 < text.size() && text[i + 1] == quote) {
          arguments.back() += text[++i];
        } else {
          quote = 0;
        }
      }
    } else if (c == '\'' || c == '"') {
      quote = c;
      arguments.back() += c;
    } else if (c == ',') {
      arguments.emplace_back();
    } else if (!IsAsciiSpace(c)) {
      arguments.back() += c;
    }
  }
  return arguments;
}

}  // namespace

Dialect DialectOf(std::string_view engineName) {
  if (EqualsIgnoringAsciiCase(engineName, "SQLite") ||
      EqualsIgnoringAsciiCase(engineName, "CubeSQLserver") ||
      EqualsIgnoringAsciiCase(engineName, "RealServer")) {
    return Dialect::kSqlite;
  }
  if (EqualsIgnoringAsciiCase(engineName, "Mysql")) return Dialect::kMysql;
  if (EqualsIgnoringAsciiCase(engineName, "PostgreSQL")) return Dialect::kPostgres;
  return Dialect::kUnknown;
}

TypeDetails ParseTypeDetails(std::string_view declared, std::string_view enumValues) {
  TypeDetails details;
  std::string text = AsciiLower(declared);
  // PostgreSQL's arrays: "integer[]", "text[][]".
  while (true) {
    std::size_t end = text.size();
    while (end > 0 && IsAsciiSpace(text[end - 1])) --end;
    if (end < 2 || text.compare(end - 2, 2, "[]") != 0) break;
    details.array = true;
    text.erase(end - 2);
  }
  // The arguments: the first parentheses, wherever they stand
  // ("timestamp(3) with time zone").
  std::string argumentText;
  bool hasArguments = false;
  if (const std::size_t open = text.find('('); open != std::string::npos) {
    int depth = 0;
    char quote = 0;
    std::size_t close = text.size();
    for (std::size_t i = open; i < text.size(); ++i) {
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
    hasArguments = true;
    // Values keep their letter case.
    argumentText = std::string(declared.substr(open + 1, close - open - 1));
    text.erase(open, close == text.size() ? std::string::npos : close - open + 1);
  }
  // The words, without the modifiers that are details of their own.
  std::vector<std::string> words;
  for (std::size_t i = 0; i < text.size();) {
    while (i < text.size() && IsAsciiSpace(text[i])) ++i;
    std::size_t j = i;
    while (j < text.size() && !IsAsciiSpace(text[j])) ++j;
    if (j > i) words.push_back(text.substr(i, j - i));
    i = j;
  }
  std::vector<std::string> kept;
  for (std::size_t i = 0; i < words.size(); ++i) {
    const std::string& w = words[i];
    if (w == "unsigned") {
      details.isUnsigned = true;
    } else if (w == "signed" || w == "zerofill") {
      // zerofill only pads what is shown
    } else if ((w == "with" || w == "without") && i + 2 < words.size() &&
               words[i + 1] == "time" && words[i + 2] == "zone") {
      details.withTimeZone = w == "with";
      i += 2;
    } else {
      kept.push_back(w);
    }
  }
  for (const std::string& w : kept) {
    if (!details.base.empty()) details.base += ' ';
    details.base += w;
  }
  if (details.base == "timestamptz") {
    details.base = "timestamp";
    details.withTimeZone = true;
  } else if (details.base == "timetz") {
    details.base = "time";
    details.withTimeZone = true;
  }

  const std::vector<std::string> arguments =
      hasArguments ? Arguments(argumentText) : std::vector<std::string>();
  const std::string& base = details.base;
  const bool integer =
      OneOf(base, {"tinyint", "smallint", "mediumint", "int", "integer", "bigint", "year",
                   "int2", "int4", "int8", "serial", "bigserial"});
  if (OneOf(base, {"enum", "set"})) {
    // The values as MySQL writes them, without spaces between them.
    std::string joined;
    for (const std::string& a : arguments) joined += (joined.empty() ? "" : ",") + a;
    details.values = joined;
  } else if (!integer && !arguments.empty()) {
    const bool numeric = OneOf(base, {"decimal", "numeric", "dec", "fixed", "float", "double",
                                      "double precision", "real", "number"});
    const bool time = OneOf(base, {"time", "timestamp", "datetime", "interval"});
    if (numeric || time) {
      details.precision = Number(arguments[0]);
      if (numeric && arguments.size() > 1) details.scale = Number(arguments[1]);
    } else {
      details.length = Number(arguments[0]);
    }
  }
  if (details.values.empty() && !enumValues.empty()) details.values = std::string(enumValues);

  // The declaration without display widths, for comparing one engine's.
  std::string normalized = base;
  if (!integer && hasArguments) {
    normalized += '(';
    for (std::size_t i = 0; i < arguments.size(); ++i) {
      normalized += (i ? "," : "") + arguments[i];
    }
    normalized += ')';
  }
  if (details.isUnsigned) normalized += " unsigned";
  if (details.withTimeZone) normalized += " with time zone";
  if (details.array) normalized += "[]";
  details.normalized = normalized;
  return details;
}

}  // namespace vantrix::db
