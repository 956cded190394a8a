#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>

#include <fstream>
#include <string>
#include <vector>

#include "CrossEngineTypes.h"
#include "db/SQLiteDatabase.h"
#include "support/RecordSets.h"
#include "support/TempSqlite.h"

namespace vantrix::db {
namespace {

using test::TempDir;
using test::TempSqlite;

using test::Column;

std::unique_ptr<SQLiteDatabase> Open(const std::filesystem::path& path) {
  auto db = std::make_unique<SQLiteDatabase>();
  db->DatabaseFile = path;
  return db;
}

TEST(SQLiteDatabase, ConnectFailuresGiveSQLitesOwnMessage) {
  TempDir dir;
  const auto notADatabase = dir.path() / "notes.txt";
  std::ofstream(notADatabase) << "these are not the pages of a database, just some text";
  const auto missing = dir.path() / "missing.sqlite";

  struct Case {
    std::optional<std::filesystem::path> file;
    std::string message;
  };
  const std::vector<Case> cases = {
      {std::nullopt, "No database file was chosen"},
      {missing, "unable to open database file"},
      {notADatabase, "file is not a database"},
  };
  for (const Case& c : cases) {
    SQLiteDatabase db;
    db.DatabaseFile = c.file;
    EXPECT_FALSE(db.Connect());
    EXPECT_EQ(db.ErrorMessage(), c.message);
    EXPECT_FALSE(db.IsConnected());
    EXPECT_EQ(db.TableSchema(), nullptr);
  }
  // A failed connect never leaves a file behind.
  EXPECT_FALSE(std::filesystem::exists(missing));
}

TEST(SQLiteDatabase, ListsTablesAndViewsInSchemaOrderWithoutInternalTables) {
  TempSqlite file(
      "CREATE TABLE zeta (id INTEGER PRIMARY KEY AUTOINCREMENT);"
      "CREATE TABLE alpha (a TEXT);"
      "CREATE INDEX alpha_a ON alpha(a);"
      "CREATE VIEW middle AS SELECT a FROM alpha;"
      "INSERT INTO zeta DEFAULT VALUES;"
      "CREATE TABLE sqlitex (b);");
  auto db = Open(file.path());
  ASSERT_TRUE(db->Connect()) << db->ErrorMessage();
  auto tables = db->TableSchema();
  ASSERT_NE(tables, nullptr);
  // sqlite_sequence (made by AUTOINCREMENT) is internal; sqlitex is not.
  EXPECT_EQ(Column(*tables, 1), (std::vector<std::string>{"zeta", "alpha", "middle", "sqlitex"}));
}

TEST(SQLiteDatabase, FieldSchemaGivesNameCodeDeclarationNotNullAndKey) {
  TempSqlite file(
      "CREATE TABLE t (id INTEGER NOT NULL, name NVARCHAR(40), price NUMERIC(10,2) NOT NULL,"
      " raw, PRIMARY KEY (id, name));");
  auto db = Open(file.path());
  ASSERT_TRUE(db->Connect());
  auto fields = db->FieldSchema("t");
  ASSERT_NE(fields, nullptr);
  EXPECT_EQ(Column(*fields, kFieldName), (std::vector<std::string>{"id", "name", "price", "raw"}));
  EXPECT_EQ(Column(*fields, kFieldTypeCode), (std::vector<std::string>{"3", "5", "13", "0"}));
  EXPECT_EQ(Column(*fields, kFieldDeclaredType),
            (std::vector<std::string>{"INTEGER", "NVARCHAR(40)", "NUMERIC(10,2)", ""}));
  EXPECT_EQ(Column(*fields, kFieldNotNull), (std::vector<std::string>{"1", "0", "1", "0"}));
  EXPECT_EQ(Column(*fields, kFieldPrimaryKey), (std::vector<std::string>{"1", "1", "0", "0"}));
}

TEST(SQLiteDatabase, FieldSchemaStaysReadableAfterCloseAndRewinds) {
  TempSqlite file("CREATE TABLE t (a INTEGER, b TEXT);");
  auto db = Open(file.path());
  ASSERT_TRUE(db->Connect());
  auto fields = db->FieldSchema("t");
  db->Close();
  EXPECT_FALSE(db->IsConnected());
  ASSERT_NE(fields, nullptr);
  for (int pass = 0; pass < 3; ++pass) {
    fields->MoveFirst();
    EXPECT_EQ(fields->IdxField(2).IntegerValue(), 3);
    EXPECT_EQ(Column(*fields, 1), (std::vector<std::string>{"a", "b"}));
  }
  // The handle may connect again after Close.
  ASSERT_TRUE(db->Connect());
  EXPECT_NE(db->TableSchema(), nullptr);
}

TEST(SQLiteDatabase, OddTableNamesAreData) {
  const std::vector<std::string> names = {
      "it's", "say \"hi\"", "back`tick", "with space", "dotted.name", "select", "Übersicht",
      "1st", "semi;colon", "x'); DROP TABLE victim; --"};
  std::string sql = "CREATE TABLE victim (v);";
  for (std::size_t i = 0; i < names.size(); ++i) {
    std::string quoted;
    for (char c : names[i]) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    sql += "CREATE TABLE \"" + quoted + "\" (f" + std::to_string(i) + " INTEGER);";
  }
  TempSqlite file(sql);
  auto db = Open(file.path());
  ASSERT_TRUE(db->Connect());
  auto tables = db->TableSchema();
  ASSERT_NE(tables, nullptr);
  auto listed = Column(*tables, 1);
  ASSERT_EQ(listed.size(), names.size() + 1);
  for (std::size_t i = 0; i < names.size(); ++i) {
    EXPECT_EQ(listed[i + 1], names[i]);
    auto fields = db->FieldSchema(names[i]);
    ASSERT_NE(fields, nullptr) << names[i];
    EXPECT_EQ(Column(*fields, 1), std::vector<std::string>{"f" + std::to_string(i)}) << names[i];
  }
  auto victim = db->FieldSchema("victim");
  ASSERT_NE(victim, nullptr);
  EXPECT_EQ(victim->RecordCount(), 1U);
}

TEST(SQLiteDatabase, UnknownTableAndTableWithoutColumnsGiveEmptySchemas) {
  TempSqlite file("CREATE TABLE t (a);");
  auto db = Open(file.path());
  ASSERT_TRUE(db->Connect());
  for (const char* table : {"nothing", "", "T x"}) {
    auto fields = db->FieldSchema(table);
    ASSERT_NE(fields, nullptr) << table;
    EXPECT_TRUE(fields->IsEOF()) << table;
  }
}

TEST(SQLiteDatabase, LeavesNothingBesideAWalFileAndReadsOddPaths) {
  TempDir dir;
  for (const char* name : {"wal.sqlite", "odd ?#%20 name.db"}) {
    const auto path = dir.path() / name;
    {
      sqlite3* db = nullptr;
      ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
      sqlite3_exec(db, "PRAGMA journal_mode=WAL; CREATE TABLE t (a INTEGER);", nullptr, nullptr,
                   nullptr);
      sqlite3_close(db);
    }
    const std::string before = test::ReadFile(path);
    auto db = Open(path);
    ASSERT_TRUE(db->Connect()) << name << ": " << db->ErrorMessage();
    auto tables = db->TableSchema();
    ASSERT_NE(tables, nullptr);
    EXPECT_EQ(Column(*tables, 1), std::vector<std::string>{"t"});
    db->Close();
    EXPECT_EQ(test::ReadFile(path), before);
  }
  std::vector<std::string> files;
  for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
    files.push_back(entry.path().filename().string());
  }
  std::sort(files.begin(), files.end());
  EXPECT_EQ(files, (std::vector<std::string>{"odd ?#%20 name.db", "wal.sqlite"}));
}

TEST(SQLiteDatabase, CrossEngineDeclarationsGetTheirCodes) {
  TempSqlite file(test::CrossEngineTableSql("types"));
  auto db = Open(file.path());
  ASSERT_TRUE(db->Connect());
  auto fields = db->FieldSchema("types");
  ASSERT_NE(fields, nullptr);
  const auto& expected = test::CrossEngineColumns();
  ASSERT_EQ(fields->RecordCount(), expected.size());
  for (const auto& column : expected) {
    EXPECT_EQ(fields->IdxField(1).StringValue(), column.name);
    EXPECT_EQ(fields->IdxField(2).IntegerValue(), column.code) << column.declaration;
    fields->MoveNext();
  }
}

}  // namespace
}  // namespace vantrix::db
