#include "db/TypeCodes.h"

#include <array>
#include <utility>

#include "db/Ascii.h"

namespace vantrix::db {
namespace {

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsAsciiSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsAsciiSpace(text.back())) text.remove_suffix(1);
  return text;
}

// A declared type split into its name words (modifiers such as unsigned
// dropped) and the first argument in parentheses, if any.
struct DeclaredType {
  std::string name;      // e.g. "double precision", "tinyint"
  std::string firstArg;  // e.g. "1" for tinyint(1); empty when absent
};

DeclaredType Parse(std::string_view declared) {
  const std::string text = AsciiLower(declared);
  const std::size_t paren = text.find('(');
  DeclaredType result;
  if (paren != std::string::npos) {
    std::size_t end = text.find_first_of(",)", paren + 1);
    if (end == std::string::npos) end = text.size();
    result.firstArg = std::string(Trim(std::string_view(text).substr(paren + 1, end - paren - 1)));
  }
  std::string_view words = std::string_view(text).substr(0, paren);
  while (!words.empty()) {
    while (!words.empty() && IsAsciiSpace(words.front())) words.remove_prefix(1);
    std::size_t length = 0;
    while (length < words.size() && !IsAsciiSpace(words[length])) ++length;
    const std::string_view word = words.substr(0, length);
    words.remove_prefix(length);
    if (word.empty() || word == "unsigned" || word == "signed" || word == "zerofill") continue;
    if (!result.name.empty()) result.name += ' ';
    result.name += word;
  }
  return result;
}

// SQLite's column affinity rules, for its declared types not in the table.
int AffinityCode(std::string_view declared) {
  const std::string upper = AsciiUpper(declared);
  if (upper.find("INT") != std::string::npos) return 3;
  if (upper.find("CHAR") != std::string::npos || upper.find("CLOB") != std::string::npos ||
      upper.find("TEXT") != std::string::npos) {
    return 5;
  }
  if (upper.find("BLOB") != std::string::npos) return 16;
  if (upper.find("REAL") != std::string::npos || upper.find("FLOA") != std::string::npos ||
      upper.find("DOUB") != std::string::npos) {
    return 7;
  }
  return 13;
}

}  // namespace

int TypeCodeForDeclaredType(std::string_view declaredType, TypeRules rules) {
  const DeclaredType type = Parse(declaredType);
  if (type.name.empty() && type.firstArg.empty()) return 0;

  if (type.name == "tinyint") return type.firstArg == "1" ? 12 : 1;
  if (type.name == "bit") return type.firstArg.empty() || type.firstArg == "1" ? 12 : 14;

  static constexpr std::array<std::pair<std::string_view, int>, 42> kNames = {{
      {"bool", 12},
      {"boolean", 12},
      {"smallint", 2},
      {"mediumint", 3},
      {"int", 3},
      {"integer", 3},
      {"year", 3},
      {"bigint", 19},
      {"char", 4},
      {"nchar", 4},
      {"character", 4},
      {"varchar", 5},
      {"nvarchar", 5},
      {"character varying", 5},
      {"text", 5},
      {"tinytext", 5},
      {"enum", 5},
      {"set", 5},
      {"clob", 5},
      {"mediumtext", 15},
      {"longtext", 15},
      {"json", 15},
      {"float", 6},
      {"double", 7},
      {"double precision", 7},
      {"real", 7},
      {"decimal", 13},
      {"numeric", 13},
      {"dec", 13},
      {"fixed", 13},
      {"money", 11},
      {"currency", 11},
      {"date", 8},
      {"time", 9},
      {"datetime", 10},
      {"timestamp", 10},
      {"binary", 14},
      {"varbinary", 14},
      {"blob", 16},
      {"tinyblob", 16},
      {"mediumblob", 16},
      {"longblob", 16},
  }};
  for (const auto& [name, code] : kNames) {
    if (type.name == name) return code;
  }
  return rules == TypeRules::kSqlite ? AffinityCode(declaredType) : kUnknownTypeCode;
}

std::string NormalizedDeclaredType(std::string_view declaredType) {
  std::string out;
  out.reserve(declaredType.size());
  for (const char c : declaredType) {
    if (!IsAsciiSpace(c)) out += AsciiLower(c);
  }
  return out;
}

bool SameType(long long codeA, std::string_view declaredA, long long codeB,
              std::string_view declaredB) {
  if (codeA == kUnknownTypeCode || codeB == kUnknownTypeCode) {
    return NormalizedDeclaredType(declaredA) == NormalizedDeclaredType(declaredB);
  }
  return codeA == codeB;
}

std::string ConvertFieldType(long long code) {
  static constexpr std::array<const char*, 20> kLabels = {
      "0-Null",
      "1-Byte",
      "2-SmallInt",
      "3-Integer",
      "4-Char",
      "5-Text or VarChar",
      "6-Float",
      "7-Double",
      "8-Date",
      "9-Time",
      "10-TimeStamp",
      "11-Currency",
      "12-Boolean",
      "13-Decimal",
      "14-Binary",
      "15-Long Text (Blob)",
      "16-Long VarBinary (Blob)",
      "17-MacPict",
      "18-String",
      "19-Int64",
  };
  if (code < 0 || code >= static_cast<long long>(kLabels.size())) return "Unknown";
  return kLabels[static_cast<std::size_t>(code)];
}

}  // namespace vantrix::db
