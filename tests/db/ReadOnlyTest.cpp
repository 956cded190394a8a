// Every session only reads: whatever a caller asks, no statement that would
// change a database reaches it, on any engine. SQLite opens its file
// read-only, MariaDB and PostgreSQL sessions are read-only on the server,
// and a cubeSQL session, which cannot be, sends nothing but one SELECT.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "FakeCubeSqlServer.h"
#include "db/CubeSQLServer.h"
#include "db/PostgreSQLServer.h"
#include "db/SQLiteDatabase.h"
#include "support/MariaDbTestServer.h"
#include "support/PostgresTestServer.h"
#include "support/TempSqlite.h"

namespace vantrix::db {
namespace {

// What each engine is asked to run; none of it may change anything.
const std::vector<std::string> kWrites = {
    "INSERT INTO t VALUES (2)",
    "CREATE TABLE made (a INT)",
    "DROP TABLE t",
    "ALTER TABLE t ADD COLUMN b INT",
    "DELETE FROM t",
    "SELECT 1; DROP TABLE t",
    "SELECT 1; INSERT INTO t VALUES (3)",
    "  /* a comment */ INSERT INTO t VALUES (4)",
    "WITH x AS (SELECT 1) DELETE FROM t",
};

// The database is as it was made: table t, its one column, its one row.
void ExpectUnchanged(Database& db, const std::string& what) {
  auto tables = db.TableSchema();
  ASSERT_NE(tables, nullptr) << what << ": " << db.ErrorMessage();
  std::vector<std::string> names;
  for (const Row& r : tables->Rows()) names.push_back(r[0].StringValue());
  EXPECT_EQ(names, std::vector<std::string>{"t"}) << what;
  auto t = db.ReadTable("t");
  ASSERT_TRUE(t.has_value()) << what << ": " << db.ErrorMessage();
  EXPECT_EQ(t->columns.size(), 1U) << what;
  auto rows = db.SelectSQL("SELECT count(*) FROM t");
  ASSERT_NE(rows, nullptr) << what << ": " << db.ErrorMessage();
  EXPECT_EQ(rows->ColumnAt(0).StringValue(), "1") << what;
}

struct Engine {
  const char* name;
  std::function<std::unique_ptr<Database>()> open;  // nullptr: skipped (no server)
};

void ExpectReadOnly(const Engine& engine) {
  for (const std::string& statement : kWrites) {
    auto db = engine.open();
    ASSERT_TRUE(db->Connect()) << engine.name << ": " << db->ErrorMessage();
    EXPECT_EQ(db->SelectSQL(statement), nullptr) << engine.name << ": " << statement;
    EXPECT_FALSE(db->ErrorMessage().empty()) << engine.name << ": " << statement;
    // Asked again on a fresh session, in case a session hid its own writes.
    auto fresh = engine.open();
    ASSERT_TRUE(fresh->Connect()) << engine.name << ": " << fresh->ErrorMessage();
    ExpectUnchanged(*fresh, std::string(engine.name) + " after " + statement);
  }
}

const char* const kSchema = "CREATE TABLE t (a INT); INSERT INTO t VALUES (1);";

TEST(ReadOnly, SQLite) {
  test::TempSqlite file(kSchema);
  const std::string before = test::ReadFile(file.path());
  ExpectReadOnly({"SQLite", [&] {
                    auto db = std::make_unique<SQLiteDatabase>();
                    db->DatabaseFile = file.path();
                    return db;
                  }});
  EXPECT_EQ(test::ReadFile(file.path()), before);
  // Nothing beside the file: no journal, no log.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(file.path().parent_path()), {}), 1);
}

TEST(ReadOnly, CubeSqlSendsNothingButOneSelect) {
  test::FakeCubeSqlServer server("admin", "pw", "shop");
  server.Execute(kSchema);
  ExpectReadOnly({"cubeSQL", [&] {
                    auto db = std::make_unique<CubeSQLServer>();
                    db->Host = "127.0.0.1";
                    db->Port = server.Port();
                    db->UserName = "admin";
                    db->Password = "pw";
                    db->DatabaseName = "shop";
                    return db;
                  }});
  for (const std::string& sent : server.Statements()) {
    for (const std::string& statement : kWrites) {
      EXPECT_EQ(sent.find(statement), std::string::npos) << sent;
    }
  }
}

TEST(ReadOnly, MariaDb) {
  VANTRIX_REQUIRE_MARIADB(server);
  test::CreateMariaDbSchema(server, "vx_readonly", kSchema);
  ExpectReadOnly({"MariaDB", [&] { return test::MariaDbHandle(server, "vx_readonly"); }});
}

TEST(ReadOnly, PostgreSQL) {
  VANTRIX_REQUIRE_POSTGRES(server);
  test::CreatePostgresDatabase(server, "vx_pg_readonly", kSchema);
  ExpectReadOnly({"PostgreSQL", [&] {
                    auto db = std::make_unique<PostgreSQLServer>();
                    db->Host = server.host;
                    db->Port = server.port;
                    db->UserName = server.user;
                    db->Password = server.password;
                    db->DatabaseName = "vx_pg_readonly";
                    return db;
                  }});
}

}  // namespace
}  // namespace vantrix::db
