#include "db/TypeCodes.h"

#include <array>
#include <cctype>
#include <sstream>
#include <utility>
#include <vector>

namespace vantrix::db {
namespace {

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

std::string Upper(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

// A declared type split into its name words (modifiers such as unsigned
// dropped) and the first argument in parentheses, if any.
struct DeclaredType {
  std::string name;      // e.g. "double precision", "tinyint"
  std::string firstArg;  // e.g. "1" for tinyint(1); empty when absent
};

DeclaredType Parse(std::string_view declared) {
  const std::string text = Lower(declared);
  const std::size_t paren = text.find('(');
  DeclaredType result;
  if (paren != std::string::npos) {
    std::size_t end = text.find_first_of(",)", paren + 1);
    if (end == std::string::npos) end = text.size();
    std::string arg = text.substr(paren + 1, end - paren - 1);
    const std::size_t a = arg.find_first_not_of(" \t");
    const std::size_t b = arg.find_last_not_of(" \t");
    result.firstArg = a == std::string::npos ? std::string() : arg.substr(a, b - a + 1);
  }
  std::istringstream words(text.substr(0, paren));
  std::string word;
  while (words >> word) {
    if (word == "unsigned" || word == "signed" || word == "zerofill") continue;
    if (!result.name.empty()) result.name += ' ';
    result.name += word;
  }
  return result;
}

// SQLite's column affinity rules, for declared types not in the table.
int AffinityCode(std::string_view declared) {
  const std::string upper = Upper(declared);
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

int TypeCodeForDeclaredType(std::string_view declaredType) {
  const DeclaredType type = Parse(declaredType);
  if (type.name.empty() && type.firstArg.empty()) return 0;

  if (type.name == "tinyint") return type.firstArg == "1" ? 12 : 1;
  if (type.name == "bit") return type.firstArg.empty() || type.firstArg == "1" ? 12 : 14;

  static const std::vector<std::pair<std::string_view, int>> kNames = {
      {"bool", 12},       {"boolean", 12},
      {"smallint", 2},    {"mediumint", 3},       {"int", 3},         {"integer", 3},
      {"year", 3},        {"bigint", 19},         {"char", 4},        {"nchar", 4},
      {"character", 4},   {"varchar", 5},         {"nvarchar", 5},    {"character varying", 5},
      {"text", 5},        {"tinytext", 5},        {"enum", 5},        {"set", 5},
      {"clob", 5},        {"mediumtext", 15},     {"longtext", 15},   {"json", 15},
      {"float", 6},       {"double", 7},          {"double precision", 7},
      {"real", 7},        {"decimal", 13},        {"numeric", 13},    {"dec", 13},
      {"fixed", 13},      {"money", 11},          {"currency", 11},   {"date", 8},
      {"time", 9},        {"datetime", 10},       {"timestamp", 10},  {"binary", 14},
      {"varbinary", 14},  {"blob", 16},           {"tinyblob", 16},   {"mediumblob", 16},
      {"longblob", 16},
  };
  for (const auto& [name, code] : kNames) {
    if (type.name == name) return code;
  }
  return AffinityCode(declaredType);
}

std::string ConvertFieldType(long long code) {
  static constexpr std::array<const char*, 20> kLabels = {
      "0-Null",      "1-Byte",          "2-SmallInt",   "3-Integer",
      "4-Char",      "5-Text or VarChar", "6-Float",    "7-Double",
      "8-Date",      "9-Time",          "10-TimeStamp", "11-Currency",
      "12-Boolean",  "13-Decimal",      "14-Binary",    "15-Long Text (Blob)",
      "16-Long VarBinary (Blob)", "17-MacPict", "18-String", "19-Int64",
  };
  if (code < 0 || code >= static_cast<long long>(kLabels.size())) return "Unknown";
  return kLabels[static_cast<std::size_t>(code)];
}

}  // namespace vantrix::db
