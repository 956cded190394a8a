// The whole-schema read of every engine gives what reading the table list
// and then each table on its own gives, on the fixtures that matter: a real
// schema (Chinook), odd names, case twins, views, a view over a dropped
// table, an empty database.

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "FakeCubeSqlServer.h"
#include "db/CubeSQLServer.h"
#include "db/MySQLCommunityServer.h"
#include "db/SQLiteDatabase.h"
#include "support/MariaDbTestServer.h"
#include "support/SchemaPrinting.h"
#include "support/SchemaReads.h"
#include "support/TempSqlite.h"

namespace vantrix::db {

namespace {

const std::filesystem::path kChinook = VANTRIX_FIXTURES_DIR "/chinook";

using test::NamesOf;
using test::TableByTable;

// A quoted identifier: `quote` doubled inside.
std::string Quoted(const std::string& name, char quote) {
  std::string out(1, quote);
  for (const char c : name) {
    out += c;
    if (c == quote) out += quote;
  }
  return out + quote;
}

const std::vector<std::string> kOddNames = {
    "it's",   "say \"hi\"",   "back`tick", "with space", "dotted.name",
    "select", "Übersicht 表", "1st",       "semi;colon", "x'); DROP TABLE victim; --",
    "%_like"};

std::string OddNamesSql(char quote) {
  std::string sql = "CREATE TABLE victim (v INT);";
  for (std::size_t i = 0; i < kOddNames.size(); ++i) {
    sql += "CREATE TABLE " + Quoted(kOddNames[i], quote) + " (" +
           Quoted(kOddNames[i] + " f", quote) + " INT, n" + std::to_string(i) + " TEXT);";
  }
  return sql;
}

struct Fixture {
  const char* what;
  std::string sql;
  std::size_t tables;                   // how many tables and views it lists
  std::vector<std::string> unreadable;  // views the engine cannot read
};

// Fixtures in SQL that SQLite (and so cubeSQL) takes.
std::vector<Fixture> SqliteFixtures() {
  return {
      {"Chinook", test::ReadFile(kChinook / "Chinook_Sqlite.schema.sql"), 11, {}},
      {"odd names", OddNamesSql('"'), kOddNames.size() + 1, {}},
      {"views",
       "CREATE TABLE a (x INTEGER NOT NULL PRIMARY KEY, y TEXT);"
       "CREATE VIEW v AS SELECT y, x FROM a; CREATE VIEW w AS SELECT 1 AS one;",
       3,
       {}},
      {"a view over a dropped table",
       "CREATE TABLE a (x INT); CREATE TABLE gone (g INT);"
       "CREATE VIEW broken AS SELECT g FROM gone; DROP TABLE gone; CREATE TABLE z (q TEXT);",
       3,
       {"broken"}},
      {"empty", "PRAGMA user_version = 7;", 0, {}},
  };
}

void ExpectWholeEqualsTableByTable(Database& db, const Fixture& f) {
  auto whole = db.WholeSchema();
  ASSERT_TRUE(whole.has_value()) << f.what << ": " << db.ErrorMessage();
  const Schema expected = TableByTable(db);
  EXPECT_EQ(whole->tables, expected.tables) << f.what;
  EXPECT_EQ(whole->tables.size(), f.tables) << f.what;
  std::vector<std::string> unreadable;
  for (const Table& t : whole->tables) {
    if (t.state == TableState::kUnreadable) unreadable.push_back(t.name);
    if (t.state == TableState::kRead) {
      EXPECT_FALSE(t.columns.empty()) << f.what << ": " << t.name;
    }
  }
  EXPECT_EQ(unreadable, f.unreadable) << f.what;
}

TEST(WholeSchema, SQLiteEqualsTableByTable) {
  for (const Fixture& f : SqliteFixtures()) {
    test::TempSqlite file(f.sql);
    SQLiteDatabase db;
    db.DatabaseFile = file.path();
    ASSERT_TRUE(db.Connect()) << db.ErrorMessage();
    ExpectWholeEqualsTableByTable(db, f);
  }
}

TEST(WholeSchema, SQLiteKeepsFieldOrderAndDetails) {
  test::TempSqlite file(
      "CREATE TABLE t (b TEXT NOT NULL, a INTEGER, c BIGINT, PRIMARY KEY (a, c));"
      "CREATE VIEW v AS SELECT c, b FROM t;");
  SQLiteDatabase db;
  db.DatabaseFile = file.path();
  ASSERT_TRUE(db.Connect()) << db.ErrorMessage();
  auto whole = db.WholeSchema();
  ASSERT_TRUE(whole.has_value());
  const Schema expected{{
      {"t",
       TableState::kRead,
       {{"b", 5, "TEXT", true, false},
        {"a", 3, "INTEGER", false, true},
        {"c", 19, "BIGINT", false, true}},
       ""},
      {"v",
       TableState::kRead,
       {{"c", 19, "BIGINT", false, false}, {"b", 5, "TEXT", false, false}},
       ""},
  }};
  EXPECT_EQ(*whole, expected);
}

TEST(WholeSchema, CubeSqlEqualsTableByTableInOneStatementUnlessRefused) {
  for (const Fixture& f : SqliteFixtures()) {
    test::FakeCubeSqlServer server("admin", "pw", "shop");
    server.Execute(f.sql);
    CubeSQLServer db;
    db.Host = "127.0.0.1";
    db.Port = server.Port();
    db.UserName = "admin";
    db.Password = "pw";
    db.DatabaseName = "shop";
    ASSERT_TRUE(db.Connect()) << db.ErrorMessage();
    const std::size_t before = server.Statements().size();
    auto whole = db.WholeSchema();
    const std::size_t statements = server.Statements().size() - before;
    ASSERT_TRUE(whole.has_value()) << f.what << ": " << db.ErrorMessage();
    // One statement, or, when the server refuses it (a view it cannot
    // read), that one and then the table list and each table.
    if (f.unreadable.empty()) {
      EXPECT_EQ(statements, 1u) << f.what;
    } else {
      EXPECT_GT(statements, 1u + f.tables) << f.what;
    }
    ExpectWholeEqualsTableByTable(db, f);
    EXPECT_TRUE(db.IsConnected()) << f.what;
  }
}

TEST(WholeSchema, MariaDbEqualsTableByTable) {
  VANTRIX_REQUIRE_MARIADB(server);
  const std::vector<Fixture> fixtures = {
      {"Chinook", test::ChinookMySqlScript(), 11, {}},
      {"odd names", OddNamesSql('`'), kOddNames.size() + 1, {}},
      {"case twins",
       "CREATE TABLE `users` (id INT, name TEXT); CREATE TABLE `USERS` (other INT);"
       "CREATE TABLE `Users` (x DATE, y INT, z INT);",
       3,
       {}},
      {"views",
       "CREATE TABLE a (x INT NOT NULL PRIMARY KEY, y TEXT);"
       "CREATE VIEW v AS SELECT y, x FROM a; CREATE VIEW w AS SELECT 1 AS one;",
       3,
       {}},
      {"a view over a dropped table",
       "CREATE TABLE a (x INT); CREATE TABLE gone (g INT);"
       "CREATE VIEW broken AS SELECT g FROM gone; DROP TABLE gone; CREATE TABLE z (q TEXT);",
       3,
       {"broken"}},
      {"empty", "", 0, {}},
  };
  int n = 0;
  for (const Fixture& f : fixtures) {
    const std::string database = "vx_whole_" + std::to_string(n++);
    test::CreateMariaDbSchema(server, database, f.sql);
    auto db = test::MariaDbHandle(server, database);
    ASSERT_TRUE(db->Connect()) << db->ErrorMessage();
    ExpectWholeEqualsTableByTable(*db, f);
  }
  // Twins keep their own fields, under their own names.
  auto db = test::MariaDbHandle(server, "vx_whole_2");
  ASSERT_TRUE(db->Connect());
  auto whole = db->WholeSchema();
  ASSERT_TRUE(whole.has_value());
  ASSERT_EQ(NamesOf(*whole), (std::vector<std::string>{"USERS", "Users", "users"}));
  EXPECT_EQ(whole->tables[0].columns.size(), 1u);
  EXPECT_EQ(whole->tables[1].columns.size(), 3u);
  EXPECT_EQ(whole->tables[2].columns.size(), 2u);
  EXPECT_EQ(whole->tables[2].columns[1], (Column{"name", 5, "text", false, false}));
}

// One table read afresh: known, unknown (also under another letter case on
// a server that tells case apart), unreadable.
TEST(WholeSchema, ReadTableTellsUnknownAndUnreadableTables) {
  VANTRIX_REQUIRE_MARIADB(server);
  test::CreateMariaDbSchema(server, "vx_read_one",
                            "CREATE TABLE a (x INT NOT NULL, y VARCHAR(9), PRIMARY KEY (x));"
                            "CREATE TABLE gone (g INT); CREATE VIEW broken AS SELECT g FROM gone;"
                            "DROP TABLE gone;");
  test::TempSqlite file(
      "CREATE TABLE a (x INT NOT NULL PRIMARY KEY, y VARCHAR(9));"
      "CREATE TABLE gone (g INT); CREATE VIEW broken AS SELECT g FROM gone; DROP TABLE gone;");
  auto maria = test::MariaDbHandle(server, "vx_read_one");
  SQLiteDatabase sqlite;
  sqlite.DatabaseFile = file.path();
  ASSERT_TRUE(maria->Connect()) << maria->ErrorMessage();
  ASSERT_TRUE(sqlite.Connect()) << sqlite.ErrorMessage();

  struct Case {
    Database* db;
    const char* name;
    TableState state;
    std::size_t fields;
  };
  const std::vector<Case> cases = {
      {maria.get(), "a", TableState::kRead, 2},
      {maria.get(), "A", TableState::kUnknown, 0},
      {maria.get(), "nope", TableState::kUnknown, 0},
      {maria.get(), "broken", TableState::kUnreadable, 0},
      {&sqlite, "a", TableState::kRead, 2},
      {&sqlite, "nope", TableState::kUnknown, 0},
      {&sqlite, "broken", TableState::kUnreadable, 0},
  };
  for (const Case& c : cases) {
    auto table = c.db->ReadTable(c.name);
    ASSERT_TRUE(table.has_value()) << c.name << ": " << c.db->ErrorMessage();
    EXPECT_EQ(table->state, c.state) << c.name;
    EXPECT_EQ(table->columns.size(), c.fields) << c.name;
    if (c.state == TableState::kUnreadable) {
      EXPECT_FALSE(table->error.empty()) << c.name;
      EXPECT_EQ(c.db->FieldSchema(c.name), nullptr) << c.name;
    }
  }
  auto a = maria->ReadTable("a");
  ASSERT_TRUE(a.has_value());
  EXPECT_EQ(a->columns, (std::vector<Column>{{"x", 3, "int(11)", true, true},
                                             {"y", 5, "varchar(9)", false, false}}));
}

}  // namespace
}  // namespace vantrix::db

namespace vantrix::db {
namespace {

// A column's name, NOT NULL and primary-key membership, as a case expects.
struct KeyFacts {
  std::string name;
  bool notNull;
  bool primaryKey;
  bool operator==(const KeyFacts&) const = default;
};

std::vector<KeyFacts> KeyFactsOf(const Table& table) {
  std::vector<KeyFacts> facts;
  for (const Column& c : table.columns) facts.push_back({c.name, c.notNull, c.primaryKey});
  return facts;
}

// Each table of a case, read whole and alone, has exactly these columns.
void ExpectKeyFacts(Database& db, const char* what,
                    const std::vector<std::pair<std::string, std::vector<KeyFacts>>>& tables) {
  auto whole = db.WholeSchema();
  ASSERT_TRUE(whole.has_value()) << what << ": " << db.ErrorMessage();
  for (const auto& [name, expected] : tables) {
    const Table* found = nullptr;
    for (const Table& t : whole->tables) {
      if (t.name == name) found = &t;
    }
    ASSERT_NE(found, nullptr) << what << ": " << name;
    EXPECT_EQ(KeyFactsOf(*found), expected) << what << ", whole schema: " << name;
    auto alone = db.ReadTable(name);
    ASSERT_TRUE(alone.has_value()) << what << ": " << db.ErrorMessage();
    EXPECT_EQ(KeyFactsOf(*alone), expected) << what << ", one table: " << name;
  }
}

// SQLite's own meaning: generated columns are columns, INTEGER PRIMARY KEY
// is the rowid and never NULL, any other key column may hold NULL.
const char* const kSqliteKeys =
    "CREATE TABLE t (id INTEGER PRIMARY KEY, a INT, total INT GENERATED ALWAYS AS (a * 2) STORED,"
    " v AS (a + 1));"
    "CREATE TABLE k (id INT PRIMARY KEY, code TEXT NOT NULL UNIQUE);"
    "CREATE TABLE c (a INTEGER, b INTEGER, PRIMARY KEY (a, b));";
const std::vector<std::pair<std::string, std::vector<KeyFacts>>> kSqliteKeyFacts = {
    {"t", {{"id", true, true}, {"a", false, false}, {"total", false, false}, {"v", false, false}}},
    {"k", {{"id", false, true}, {"code", true, false}}},
    {"c", {{"a", false, true}, {"b", false, true}}},
};

TEST(KeysAndNulls, SQLiteReadsGeneratedColumnsAndTheRowid) {
  test::TempSqlite file(kSqliteKeys);
  SQLiteDatabase db;
  db.DatabaseFile = file.path();
  ASSERT_TRUE(db.Connect()) << db.ErrorMessage();
  ExpectKeyFacts(db, "SQLite", kSqliteKeyFacts);
}

TEST(KeysAndNulls, CubeSqlReadsGeneratedColumnsAndTheRowid) {
  test::FakeCubeSqlServer server("admin", "pw", "shop");
  server.Execute(kSqliteKeys);
  CubeSQLServer db;
  db.Host = "127.0.0.1";
  db.Port = server.Port();
  db.UserName = "admin";
  db.Password = "pw";
  db.DatabaseName = "shop";
  ASSERT_TRUE(db.Connect()) << db.ErrorMessage();
  ExpectKeyFacts(db, "cubeSQL", kSqliteKeyFacts);
}

// MariaDB calls the first UNIQUE NOT NULL column of a table without a
// primary key "PRI" in its column list; only the PRIMARY index counts.
TEST(KeysAndNulls, MariaDbTakesThePrimaryKeyFromThePrimaryIndex) {
  VANTRIX_REQUIRE_MARIADB(server);
  test::CreateMariaDbSchema(server, "vx_keys",
                            "CREATE TABLE u (code INT NOT NULL UNIQUE, name VARCHAR(10));"
                            "CREATE TABLE p (a INT NOT NULL, b INT NOT NULL, c INT,"
                            " PRIMARY KEY (b, a));"
                            "CREATE TABLE g (a INT, total INT AS (a * 2) STORED);");
  auto db = test::MariaDbHandle(server, "vx_keys");
  ASSERT_TRUE(db->Connect()) << db->ErrorMessage();
  ExpectKeyFacts(*db, "MariaDB",
                 {
                     {"u", {{"code", true, false}, {"name", false, false}}},
                     {"p", {{"a", true, true}, {"b", true, true}, {"c", false, false}}},
                     {"g", {{"a", false, false}, {"total", false, false}}},
                 });
}

}  // namespace
}  // namespace vantrix::db
