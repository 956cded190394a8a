#pragma once

#include <string>
#include <string_view>

namespace vantrix::db {

// The type code of a declared column type (for example "varchar(255)",
// "int(11) unsigned", "NVARCHAR(40)"). Every engine maps its declared types
// through this one function, so that the same column declared in two engines
// gets the same code.
int TypeCodeForDeclaredType(std::string_view declaredType);

// The label of a type code as the field lists show it ("5-Text or VarChar"),
// "Unknown" for a code outside 0..19.
std::string ConvertFieldType(long long code);

}  // namespace vantrix::db
