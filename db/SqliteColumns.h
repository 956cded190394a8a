#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "db/Schema.h"

// What SQLite (and cubeSQL, which is SQLite inside) means by a table's
// columns beyond what its column list says.
namespace vantrix::db {

// The columns a table's extended column list (table_xinfo) shows with
// this `hidden` value are its own: ordinary ones (0) and generated ones
// (2 virtual, 3 stored). 1 marks the hidden columns of a virtual table.
constexpr bool IsOwnColumn(long long hidden) { return hidden == 0 || hidden == 2 || hidden == 3; }

// A table's only primary-key column declared exactly "INTEGER" is the
// rowid under another name, which can never hold NULL: it is NOT NULL
// whatever its declaration says.
void MarkRowidAlias(std::vector<Column>& columns);

// Sets a column's default from the dflt_value of its table's column list
// (table_info, table_xinfo): the default as declared, none when NULL.
void SetDeclaredDefault(Column& column, const std::optional<std::string>& dfltValue);

}  // namespace vantrix::db
