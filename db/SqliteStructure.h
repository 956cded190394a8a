#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "db/RecordSet.h"
#include "db/Schema.h"

// The whole structure of a SQLite database (cubeSQL's too: it is SQLite
// inside), read in four statements whatever the number of tables: the
// objects of sqlite_master with their CREATE text, the primary key's order,
// every index with its parts, and every foreign key (the columns' defaults
// come with the columns read). What SQLite keeps only in the CREATE text
// comes from SqliteSql.h.
namespace vantrix::db {

// Runs one statement and gives its rows with their column names; nullptr
// when it fails (the engine keeps the reason).
using SqliteQuery = std::function<std::unique_ptr<RecordSet>(const std::string& sql)>;

// Adds the structure to the tables of `schema` that its columns read
// filled. `onlyTable`, when given, is a literal already quoted for SQL that
// names the one table to read; `extraPrefix` is a name prefix of the
// engine's own tables to leave out (cubeSQL's "cubesql_"). False when a
// statement fails.
bool ReadSqliteStructure(Schema& schema, const SqliteQuery& query,
                         const std::optional<std::string>& onlyTable,
                         std::string_view extraPrefix = {});

}  // namespace vantrix::db
