#pragma once

#include <optional>
#include <string>
#include <string_view>

// A declared type taken apart: its base spelling and the details that
// narrow it (length, precision, scale, unsigned, time zone, array, values),
// so that two declarations of the same type code can be compared by what
// each declares.
namespace vantrix::db {

// The engines whose declared types read alike: SQLite and cubeSQL (SQLite
// inside) are one.
enum class Dialect { kUnknown, kSqlite, kMysql, kPostgres };

// The dialect of an engine name as CreateDatabase takes it ("SQLite",
// "CubeSQLserver", "RealServer", "Mysql", "PostgreSQL"; letter case
// ignored).
Dialect DialectOf(std::string_view engineName);

struct TypeDetails {
  // Lower-case words without arguments and modifiers: "varchar",
  // "character varying", "decimal", "timestamp".
  std::string base;
  std::optional<long long> length;  // a character, binary or bit type's
  std::optional<long long> precision;  // digits of a number, or fractional seconds
  std::optional<long long> scale;
  bool isUnsigned = false;
  bool withTimeZone = false;
  bool array = false;
  // An enumerated type's values as written ("'a','b'"); empty when none.
  std::string values;
  // The whole declaration as one engine writes it, letter case and spacing
  // set aside and integer display widths ("int(11)") left out: two equal
  // declarations of one engine give the same text.
  std::string normalized;
  bool operator==(const TypeDetails&) const = default;
};

// Takes a declared type apart. `enumValues` are the values of a
// PostgreSQL enum, whose declaration is only its name.
TypeDetails ParseTypeDetails(std::string_view declared, std::string_view enumValues = {});

}  // namespace vantrix::db
