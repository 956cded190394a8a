// The fields read for the window (Detail::kColumns) come with their
// defaults on every engine, as the engine declares them, in the statements
// the read took before: the whole schema and each table read alone agree,
// and so does the whole structure.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "FakeCubeSqlServer.h"
#include "db/CubeSQLServer.h"
#include "db/MySQLCommunityServer.h"
#include "db/PostgreSQLServer.h"
#include "db/SQLiteDatabase.h"
#include "support/MariaDbTestServer.h"
#include "support/PostgresTestServer.h"
#include "support/SchemaReads.h"
#include "support/TempSqlite.h"

namespace vantrix::db {
namespace {

// Every field with a default, one a line: "table.field: default as declared".
std::string DefaultsOf(const Schema& schema) {
  std::string text;
  for (const Table& t : schema.tables) {
    for (const Column& c : t.columns) {
      if (c.defaultValue.kind == Default::Kind::kNone) continue;
      text += t.name + "." + c.name + ": " + c.defaultValue.declared + "\n";
    }
  }
  return text;
}

// Every field's default, whatever its kind, for comparing two reads.
std::vector<Default> AllDefaults(const Schema& schema) {
  std::vector<Default> all;
  for (const Table& t : schema.tables) {
    for (const Column& c : t.columns) all.push_back(c.defaultValue);
  }
  return all;
}

// Reads the fields of a connected database whole, checks their defaults
// against `expected` and the statements the read took, then that each
// table read alone and the whole structure give the same defaults.
void ExpectDefaults(Database& db, const char* engine, const std::string& expected, int statements) {
  const int before = db.StatementsSent();
  auto whole = db.WholeSchema();
  ASSERT_TRUE(whole.has_value()) << engine << ": " << db.ErrorMessage();
  EXPECT_EQ(db.StatementsSent() - before, statements) << engine;
  EXPECT_EQ(DefaultsOf(*whole), expected) << engine;
  EXPECT_EQ(whole->tables, test::TableByTable(db).tables) << engine;
  auto structure = db.WholeSchema(Detail::kStructure);
  ASSERT_TRUE(structure.has_value()) << engine << ": " << db.ErrorMessage();
  EXPECT_EQ(AllDefaults(*whole), AllDefaults(*structure)) << engine;
}

// A text, a number and a current time as defaults; a field without one, a
// generated field and a counting key, which have none; DEFAULT NULL, which
// SQLite keeps as declared; and a view over them.
const char* const kSqliteFields =
    "CREATE TABLE d (id INTEGER PRIMARY KEY AUTOINCREMENT, s VARCHAR(30) DEFAULT 'x',"
    " n INTEGER DEFAULT 0, t TIMESTAMP DEFAULT CURRENT_TIMESTAMP, plain TEXT,"
    " g INTEGER GENERATED ALWAYS AS (n + 1), nul INTEGER DEFAULT NULL);"
    "CREATE VIEW v AS SELECT s, plain FROM d;";
const char* const kSqliteDefaults =
    "d.s: 'x'\n"
    "d.n: 0\n"
    "d.t: CURRENT_TIMESTAMP\n"
    "d.nul: NULL\n";

TEST(FieldDefaults, SQLiteReadsThemWithTheFields) {
  test::TempSqlite file(kSqliteFields);
  SQLiteDatabase db;
  db.DatabaseFile = file.path();
  ASSERT_TRUE(db.Connect()) << db.ErrorMessage();
  ExpectDefaults(db, "SQLite", kSqliteDefaults, 1);
}

TEST(FieldDefaults, CubeSqlReadsThemWithTheFields) {
  test::FakeCubeSqlServer server("admin", "pw", "shop");
  server.Execute(kSqliteFields);
  CubeSQLServer db;
  db.Host = "127.0.0.1";
  db.Port = server.Port();
  db.UserName = "admin";
  db.Password = "pw";
  db.DatabaseName = "shop";
  ASSERT_TRUE(db.Connect()) << db.ErrorMessage();
  ExpectDefaults(db, "cubeSQL", kSqliteDefaults, 1);
}

// MariaDB writes NULL for DEFAULT NULL as for no default; a view's field
// shows its table's default.
TEST(FieldDefaults, MariaDbReadsThemWithTheFields) {
  VANTRIX_REQUIRE_MARIADB(server);
  test::CreateMariaDbSchema(
      server, "vx_field_defaults",
      "CREATE TABLE d (id INT PRIMARY KEY AUTO_INCREMENT, s VARCHAR(30) DEFAULT 'x',"
      " n INT DEFAULT 0, t TIMESTAMP NULL DEFAULT CURRENT_TIMESTAMP, plain TEXT,"
      " g INT AS (n + 1) VIRTUAL, nul INT DEFAULT NULL);"
      "CREATE VIEW v AS SELECT s, plain FROM d;");
  auto db = test::MariaDbHandle(server, "vx_field_defaults");
  ASSERT_TRUE(db->Connect()) << db->ErrorMessage();
  ExpectDefaults(*db, "MariaDB",
                 "d.s: 'x'\n"
                 "d.n: 0\n"
                 "d.t: current_timestamp()\n"
                 "v.s: 'x'\n",
                 3);
}

// A serial key's default takes its sequence's next value: no default.
TEST(FieldDefaults, PostgreSQLReadsThemWithTheFields) {
  VANTRIX_REQUIRE_POSTGRES(server);
  test::CreatePostgresDatabase(
      server, "vx_field_defaults",
      "CREATE TABLE d (id serial PRIMARY KEY, s varchar(30) DEFAULT 'x', n integer DEFAULT 0,"
      " t timestamp DEFAULT CURRENT_TIMESTAMP, plain text,"
      " g integer GENERATED ALWAYS AS (n + 1) STORED, nul integer DEFAULT NULL);"
      "CREATE VIEW v AS SELECT s, plain FROM d;");
  PostgreSQLServer db;
  db.Host = server.host;
  db.Port = server.port;
  db.UserName = server.user;
  db.Password = server.password;
  db.DatabaseName = "vx_field_defaults";
  ASSERT_TRUE(db.Connect()) << db.ErrorMessage();
  ExpectDefaults(db, "PostgreSQL",
                 "d.s: 'x'::character varying\n"
                 "d.n: 0\n"
                 "d.t: CURRENT_TIMESTAMP\n",
                 1);
}

}  // namespace
}  // namespace vantrix::db
