#pragma once

namespace vantrix::test {

// A pair with every kind of finding: a table only in each database, one
// whose fields differ in every way, one the same but for notes, one the
// same, a view DB 1 cannot read, names that need escaping.
inline constexpr const char* kDb1Sql =
    "CREATE TABLE Users (Id INTEGER PRIMARY KEY, Name TEXT NOT NULL, Email VARCHAR(80));"
    "CREATE TABLE Orders (id INTEGER, total NUMERIC(10,2));"
    "CREATE TABLE Items (id INTEGER, sku CHAR(8), qty INTEGER);"
    "CREATE TABLE Notes (body TEXT);"
    "CREATE TABLE gone (x);"
    "CREATE VIEW Broken AS SELECT x FROM gone;"
    "DROP TABLE gone;";
inline constexpr const char* kDb2Sql =
    "CREATE TABLE users (Id INTEGER NOT NULL, Name TEXT, Email VARCHAR(80));"
    "CREATE TABLE Items (ID INTEGER, sku INTEGER, qty INTEGER NOT NULL, \"*more*\" TEXT);"
    "CREATE TABLE Notes (body TEXT);"
    "CREATE TABLE broken (x);"
    "CREATE TABLE \"Audit|Log<&>\" (\"when\" DATETIME);";

}  // namespace vantrix::test
