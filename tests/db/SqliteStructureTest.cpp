// The whole structure of a SQLite database, and of a cubeSQL one (SQLite
// inside): what SQLite keeps in its catalog and in the text of its CREATE
// statements, read in a few statements whatever the number of tables.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "FakeCubeSqlServer.h"
#include "db/CubeSQLServer.h"
#include "db/SQLiteDatabase.h"
#include "db/SqliteSql.h"
#include "support/SchemaPrinting.h"
#include "support/SchemaReads.h"
#include "support/TempSqlite.h"

namespace vantrix::db {
namespace {

const std::string kEveryObject =
    test::ReadFile(VANTRIX_SOURCE_DIR "/tests/fixtures/every_object/sqlite.sql");

// The shop of the fixture, as its SQL text says it must read.
const std::map<std::string, std::string> kExpected = {
    {"customers",
     "pk id\n"
     "auto-increment id\n"
     "default name: string anon\n"
     "default active: boolean true\n"
     "default score: number 0\n"
     "default created: now timestamp\n"
     "default born: null\n"
     "unique uq_customers_email (email)\n"
     "check ck_customers_score: score >= 0\n"},
    {"employees",
     "pk id\n"
     "fk fk_employees_manager (manager_id) -> employees (id) on delete SET NULL on update NO "
     "ACTION\n"},
    {"orders",
     "pk id\n"
     "default total: number 0\n"
     "default status: string new\n"
     "generated total_with_tax stored: total * 2\n"
     "index idx_orders_placed (placed desc, status)\n"
     "fk fk_orders_customer (customer_id) -> customers (id) on delete CASCADE on update NO ACTION\n"
     "trigger trg_orders_score AFTER INSERT\n"},
    {"order_lines",
     "pk order_id, line_no\n"
     "default qty: number 1\n"
     "index idx_lines_product (product, qty)\n"
     "fk fk_lines_order (order_id) -> orders (id) on delete CASCADE on update NO ACTION\n"
     "check ck_lines_qty: qty > 0\n"},
    {"shipments",
     "pk id\n"
     "fk fk_shipments_line (order_id, line_no) -> order_lines (order_id, line_no) on delete SET "
     "NULL on update CASCADE\n"},
    {"customer_totals",
     "view: SELECT customer_id, SUM(total) AS spent FROM orders GROUP BY customer_id\n"},
};

void ExpectEveryObject(Database& db, const char* engine) {
  const int before = db.StatementsSent();
  auto whole = db.WholeSchema(Detail::kStructure);
  ASSERT_TRUE(whole.has_value()) << engine << ": " << db.ErrorMessage();
  EXPECT_LE(db.StatementsSent() - before, 6) << engine;
  ASSERT_EQ(whole->tables.size(), kExpected.size()) << engine;
  for (const Table& t : whole->tables) {
    ASSERT_TRUE(kExpected.contains(t.name)) << engine << ": " << t.name;
    EXPECT_EQ(test::Structure(t), kExpected.at(t.name)) << engine << ": " << t.name;
  }
  // Read alone, each table has all of it too.
  EXPECT_EQ(whole->tables, test::TableByTable(db, Detail::kStructure).tables) << engine;
  // The trigger's parts.
  const Table& orders = whole->tables[2];
  ASSERT_EQ(orders.triggers.size(), 1U);
  EXPECT_EQ(orders.triggers[0].body,
            "UPDATE customers SET score = score + 1 WHERE id = NEW.customer_id;");
}

TEST(SqliteStructure, TheFixtureReadsAsItsTextSays) {
  test::TempSqlite file(kEveryObject);
  SQLiteDatabase db;
  db.DatabaseFile = file.path();
  ASSERT_TRUE(db.Connect()) << db.ErrorMessage();
  ExpectEveryObject(db, "SQLite");
}

TEST(SqliteStructure, CubeSqlReadsTheSameOverTheWire) {
  test::FakeCubeSqlServer server("admin", "pw", "shop");
  server.Execute(kEveryObject);
  CubeSQLServer db;
  db.Host = "127.0.0.1";
  db.Port = server.Port();
  db.UserName = "admin";
  db.Password = "pw";
  db.DatabaseName = "shop";
  ASSERT_TRUE(db.Connect()) << db.ErrorMessage();
  ExpectEveryObject(db, "cubeSQL");
}

// Three tables or three hundred: the same statements.
TEST(SqliteStructure, TheCostDoesNotGrowWithTheTables) {
  std::vector<int> costs;
  for (const int tables : {3, 300}) {
    std::string sql;
    for (int i = 0; i < tables; ++i) {
      const std::string n = std::to_string(i);
      sql += "CREATE TABLE t" + n + " (id INTEGER PRIMARY KEY, v TEXT DEFAULT 'x' CHECK (v <> ''),"
             " p INTEGER REFERENCES t0 (id)); CREATE INDEX i" + n + " ON t" + n + " (v);";
    }
    test::TempSqlite file(sql);
    SQLiteDatabase db;
    db.DatabaseFile = file.path();
    ASSERT_TRUE(db.Connect()) << db.ErrorMessage();
    auto whole = db.WholeSchema(Detail::kStructure);
    ASSERT_TRUE(whole.has_value()) << db.ErrorMessage();
    ASSERT_EQ(whole->tables.size(), static_cast<std::size_t>(tables));
    EXPECT_EQ(whole->tables.back().indexes.size(), 1U);
    costs.push_back(db.StatementsSent());
  }
  EXPECT_EQ(costs[0], costs[1]);
  EXPECT_LE(costs[1], 10);
  // The fields alone cost what they did: connecting and one statement.
  test::TempSqlite file("CREATE TABLE t (a INTEGER);");
  SQLiteDatabase db;
  db.DatabaseFile = file.path();
  ASSERT_TRUE(db.Connect());
  ASSERT_TRUE(db.WholeSchema().has_value());
  EXPECT_EQ(db.StatementsSent(), 2);
}

// What SQLite keeps only in its text, written every way SQLite takes it.
TEST(SqliteStructure, CreateTextIsReadAsSqliteReadsIt) {
  const sqlite::CreateTable table = sqlite::ParseCreateTable(
      "CREATE TABLE IF NOT EXISTS \"odd \"\"t\"\"\" (\n"
      "  [id] integer CONSTRAINT pk_odd PRIMARY KEY DESC AUTOINCREMENT, -- a comment, (\n"
      "  `name` varchar(20) COLLATE NOCASE NOT NULL CHECK (length(name) > 0) UNIQUE,\n"
      "  total AS (id * 2) VIRTUAL, /* ) */\n"
      "  b DEFAULT (1 + 2) REFERENCES other ON DELETE CASCADE,\n"
      "  CONSTRAINT 'ck b' CHECK (b IN (1, 2, ')')),\n"
      "  FOREIGN KEY (b, id) REFERENCES main.other2 (x, y)\n"
      ") WITHOUT ROWID");
  ASSERT_EQ(table.columns.size(), 4U);
  EXPECT_EQ(table.columns[0].name, "id");
  EXPECT_TRUE(table.columns[0].autoIncrement);
  EXPECT_EQ(table.primaryKey.name, "pk_odd");
  EXPECT_EQ(table.columns[1].name, "name");
  EXPECT_EQ(table.columns[1].collation, "NOCASE");
  EXPECT_EQ(table.columns[2].generated, "id * 2");
  EXPECT_FALSE(table.columns[2].generatedStored);
  ASSERT_EQ(table.checks.size(), 2U);
  EXPECT_EQ(table.checks[0].expression, "length(name) > 0");
  EXPECT_EQ(table.checks[1].name, "'ck b'");
  EXPECT_EQ(table.checks[1].expression, "b IN (1, 2, ')')");
  ASSERT_EQ(table.uniques.size(), 1U);
  EXPECT_EQ(table.uniques[0].columns, std::vector<std::string>{"name"});
  ASSERT_EQ(table.foreignKeys.size(), 2U);
  EXPECT_EQ(table.foreignKeys[0].referencedTable, "other");
  EXPECT_EQ(table.foreignKeys[1].referencedTable, "other2");
  EXPECT_EQ(table.foreignKeys[1].columns, (std::vector<std::string>{"b", "id"}));

  const sqlite::CreateIndex index = sqlite::ParseCreateIndex(
      "CREATE UNIQUE INDEX x ON t (lower(name) COLLATE NOCASE DESC, b) WHERE b > 0 AND a <> ','");
  EXPECT_EQ(index.parts, (std::vector<std::string>{"lower(name)", "b"}));
  EXPECT_EQ(index.predicate, "b > 0 AND a <> ','");

  const sqlite::CreateTrigger trigger = sqlite::ParseCreateTrigger(
      "CREATE TRIGGER IF NOT EXISTS tr INSTEAD OF UPDATE OF a, b ON v FOR EACH ROW "
      "WHEN NEW.a > 0 BEGIN SELECT CASE WHEN 1 THEN 2 END; UPDATE t SET a = 1; END");
  EXPECT_EQ(trigger.timing, "INSTEAD OF");
  EXPECT_EQ(trigger.event, "UPDATE OF a, b");
  EXPECT_EQ(trigger.body, "SELECT CASE WHEN 1 THEN 2 END; UPDATE t SET a = 1;");

  EXPECT_EQ(sqlite::ViewQuery("CREATE VIEW IF NOT EXISTS v (a, b) AS SELECT 1, 2;"),
            "SELECT 1, 2");
}

}  // namespace
}  // namespace vantrix::db
