#pragma once

#include <string>
#include <string_view>

namespace vantrix::db {

// Whose declared types a code is worked out for. SQLite (and cubeSQL, which
// is SQLite inside) accepts any text as a type and gives it an affinity, so a
// type outside the table follows SQLite's affinity rules. A server's types
// outside the table have no code of their own.
enum class TypeRules { kSqlite, kServer };

// The code of a server type outside the table. Its label is "Unknown", and it
// agrees only with a field of the same declared type (see SameType).
inline constexpr int kUnknownTypeCode = -1;

// The type code of a declared column type (for example "varchar(255)",
// "int(11) unsigned", "NVARCHAR(40)"). Every engine maps its declared types
// through this one function, so that the same column declared in two engines
// gets the same code. Letter case is ASCII only, whatever the locale.
int TypeCodeForDeclaredType(std::string_view declaredType, TypeRules rules);

// A declared type with letter case and white space set aside, for comparing
// declarations: "ENUM('a', 'b')" and "enum('a','b')" are the same.
std::string NormalizedDeclaredType(std::string_view declaredType);

// Whether two fields have the same type: equal codes, or, when either code
// is kUnknownTypeCode, the same declared type.
bool SameType(long long codeA, std::string_view declaredA, long long codeB,
              std::string_view declaredB);

// The label of a type code as the field lists show it ("5-Text or VarChar"),
// "Unknown" for a code outside 0..19.
std::string ConvertFieldType(long long code);

}  // namespace vantrix::db
