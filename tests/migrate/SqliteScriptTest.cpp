// The script that makes a SQLite DB 2 like DB 1, proved by applying it to a
// real copy of DB 2 with rows in it: afterwards DB 2 is DB 1 by every
// attribute the comparison knows, and by SQLite's own description of its
// tables, and the rows of the columns both have are still there.
#include <gtest/gtest.h>

#include <sqlite3.h>

#include <algorithm>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "compare/Findings.h"
#include "db/SQLiteDatabase.h"
#include "migrate/Script.h"
#include "migrate/Verify.h"
#include "ScriptEngines.h"
#include "support/TempSqlite.h"

namespace vantrix::migrate {
namespace {

const std::string kShop =
    test::ReadFile(VANTRIX_SOURCE_DIR "/tests/fixtures/every_object/sqlite.sql");

// One change a DB 2 may have: `from` in the shop's SQL replaced by `to`.
struct Mutation {
  const char* what;
  const char* from;
  const char* to;
};

// Every kind of difference, each on its own part of the shop.
const std::vector<Mutation> kMutations = {
    {"an index dropped", "CREATE INDEX idx_lines_product ON order_lines (product, qty);", ""},
    {"an index's direction", "(placed DESC, status)", "(placed, status)"},
    {"a foreign key's action", "ON DELETE SET NULL\n);", "ON DELETE CASCADE\n);"},
    {"a default changed", "DEFAULT 'new'", "DEFAULT 'open'"},
    {"a default dropped", "qty INTEGER NOT NULL DEFAULT 1", "qty INTEGER NOT NULL"},
    {"a check dropped", ",\n  CONSTRAINT ck_lines_qty CHECK (qty > 0)", ""},
    {"a check changed", "CHECK (score >= 0)", "CHECK (score >= -10)"},
    {"a view rewritten", "SUM(total) AS spent", "MAX(total) AS spent"},
    {"a trigger's timing", "trg_orders_score AFTER INSERT", "trg_orders_score BEFORE INSERT"},
    {"a column missing", "  born DATE DEFAULT NULL,\n", ""},
    {"a column extra", "  sent DATE,", "  sent DATE,\n  legacy TEXT,"},
    {"a type narrower", "name VARCHAR(60) NOT NULL,\n  CONSTRAINT fk_employees_manager",
     "name VARCHAR(30) NOT NULL,\n  CONSTRAINT fk_employees_manager"},
    {"NOT NULL missing", "email VARCHAR(120) NOT NULL", "email VARCHAR(120)"},
    {"a longer primary key", "PRIMARY KEY (order_id, line_no)",
     "PRIMARY KEY (order_id, line_no, product)"},
    {"auto-increment missing", "PRIMARY KEY AUTOINCREMENT", "PRIMARY KEY"},
    {"a generated expression", "(total * 2) STORED", "(total * 3) STORED"},
    {"a unique constraint missing", "  CONSTRAINT uq_customers_email UNIQUE (email),\n", ""},
    {"a column in other letter case", "  placed DATE,", "  Placed DATE,"},
    {"a table in other letter case", "CREATE TABLE shipments", "CREATE TABLE Shipments"},
    {"a table extra", "CREATE VIEW customer_totals",
     "CREATE TABLE scratch (x INTEGER);\nCREATE VIEW customer_totals"},
};

const char* const kRows = scripttest::kShopRows;

std::string Apply(const std::string& sql, const std::vector<const Mutation*>& mutations) {
  std::string out = sql;
  for (const Mutation* m : mutations) {
    const std::size_t at = out.find(m->from);
    if (at != std::string::npos) out.replace(at, std::string(m->from).size(), m->to);
  }
  return out;
}

using scripttest::Left;

db::Schema Read(const std::filesystem::path& file) { return scripttest::SqliteRead(file); }
std::vector<std::string> Described(const std::filesystem::path& file) {
  return scripttest::SqliteDescribed(file);
}
std::vector<std::string> Rows(const std::filesystem::path& file, const char* sql) {
  return scripttest::SqliteRows(file, sql);
}
std::string RunOn(const std::filesystem::path& file, const std::vector<std::string>& statements) {
  return scripttest::SqliteRun(file, statements);
}

// DB 1 the shop; DB 2 the shop with a seeded set of mutations, and rows.
// The script with every step applied makes DB 2 DB 1, by this program's
// comparison and by SQLite's own description; without the unsafe steps it
// runs too, and holds back exactly the steps that can lose data.
TEST(SqliteScript, AnyMutatedShopIsMadeTheShopAgain) {
  const unsigned first = std::random_device{}();
  test::TempSqlite db1File(kShop);
  const db::Schema db1 = Read(db1File.path());
  const std::vector<std::string> wanted = Described(db1File.path());
  const unsigned rounds = static_cast<unsigned>(scripttest::Rounds(40));
  for (unsigned round = 0; round < rounds; ++round) {
    const unsigned seed = first + round;
    std::mt19937 random(seed);
    std::vector<const Mutation*> chosen;
    for (const Mutation& m : kMutations) {
      if (std::bernoulli_distribution(0.3)(random)) chosen.push_back(&m);
    }
    std::string what;
    for (const Mutation* m : chosen) what += std::string(m->what) + "; ";
    const std::string context = "seed " + std::to_string(seed) + ": " + what;

    const std::string db2Sql = Apply(kShop, chosen);
    test::TempSqlite db2File(db2Sql);
    ASSERT_EQ(RunOn(db2File.path(), {"PRAGMA foreign_keys = OFF", kRows}), "") << context;
    const db::Schema db2 = Read(db2File.path());

    ScriptOptions options;
    options.allowUnsafe = true;
    const Script script = PlanScript(db1, db2, options);
    ASSERT_EQ(RunOn(db2File.path(), Statements(script, true)), "") << context;
    EXPECT_EQ(Left(db1, Read(db2File.path())), std::vector<std::string>{}) << context;
    EXPECT_EQ(Described(db2File.path()), wanted) << context;
    // The rows of the columns both have are still there.
    EXPECT_EQ(Rows(db2File.path(), "SELECT id, name FROM employees ORDER BY id"),
              (std::vector<std::string>{"1|Boss", "2|Sue"}))
        << context;
    EXPECT_EQ(Rows(db2File.path(), "SELECT id, total FROM orders ORDER BY id"),
              (std::vector<std::string>{"10|5.5", "11|7"}))
        << context;
    EXPECT_EQ(Rows(db2File.path(), "SELECT count(*) FROM shipments"),
              std::vector<std::string>{"1"})
        << context;
    // The scratch proof agrees.
    EXPECT_TRUE(VerifyOnSqlite(db1, db2, script, true).Clean()) << context;

    // Without --allow-unsafe the rest still runs.
    test::TempSqlite again(db2Sql);
    ASSERT_EQ(RunOn(again.path(), {"PRAGMA foreign_keys = OFF", kRows}), "") << context;
    EXPECT_EQ(RunOn(again.path(), Statements(PlanScript(db1, db2, {}), false)), "") << context;
  }
}

// A step is held back exactly when it can lose data.
TEST(SqliteScript, OnlyStepsThatCanLoseDataAreHeldBack) {
  struct Case {
    const char* what;
    std::string db2;
    int unsafe;
  };
  const std::vector<Case> cases = {
      {"the same", kShop, 0},
      {"an index dropped, a default changed, a view rewritten",
       Apply(kShop, {&kMutations[0], &kMutations[3], &kMutations[7]}), 0},
      {"a column missing in DB 2: added", Apply(kShop, {&kMutations[9]}), 0},
      {"a column only in DB 2: dropped", Apply(kShop, {&kMutations[10]}), 1},
      {"a type wider in DB 2: narrowed", Apply(kShop, {&kMutations[11]}), 0},
      {"NOT NULL added", Apply(kShop, {&kMutations[12]}), 1},
      {"a table only in DB 2: dropped", Apply(kShop, {&kMutations[19]}), 1},
  };
  test::TempSqlite db1File(kShop);
  const db::Schema db1 = Read(db1File.path());
  for (const Case& c : cases) {
    test::TempSqlite db2File(c.db2);
    const Script script = PlanScript(db1, Read(db2File.path()), {});
    EXPECT_EQ(script.Unsafe(), c.unsafe) << c.what;
    std::ostringstream text;
    WriteScript(text, script, {"one", "two", "2024-07-03T09:46:40Z", "2024.7.1"}, false);
    const std::string written = text.str();
    std::size_t held = 0;
    for (std::size_t at = written.find("\n-- unsafe: "); at != std::string::npos;
         at = written.find("\n-- unsafe: ", at + 1)) {
      ++held;
    }
    EXPECT_EQ(held, static_cast<std::size_t>(c.unsafe)) << c.what << "\n" << written;
    if (c.unsafe > 0) {
      EXPECT_NE(written.find(std::to_string(c.unsafe) + " step"), std::string::npos) << written;
    }
  }
  // DB 2's varchar(30) made DB 1's varchar(60) widens; the other way narrows.
  test::TempSqlite wide(Apply(kShop, {&kMutations[11]}));
  const Script narrowing = PlanScript(Read(wide.path()), db1, {});
  ASSERT_EQ(narrowing.Unsafe(), 1);
  for (const Step& step : narrowing.steps) {
    if (step.unsafe) {
      EXPECT_NE(step.reason.find("shorter"), std::string::npos) << step.reason;
    }
  }
}

// Names are data: quoted the target's way, whatever they hold.
TEST(SqliteScript, HostileNamesSurviveQuoting) {
  const std::string names =
      "CREATE TABLE \"it's \"\"odd\"\"\" (\"a`b\" INTEGER PRIMARY KEY, \"select\" TEXT,"
      " \"sp ace\" TEXT, \"Übersicht\" TEXT, \"" + std::string(63, 'x') + "\" INTEGER);"
      "CREATE INDEX \"in dex\" ON \"it's \"\"odd\"\"\" (\"select\");";
  test::TempSqlite db1File(names);
  test::TempSqlite db2File("CREATE TABLE other (x INTEGER);");
  const db::Schema db1 = Read(db1File.path());
  const Script script = PlanScript(db1, Read(db2File.path()), {.allowUnsafe = true});
  ASSERT_EQ(RunOn(db2File.path(), Statements(script, true)), "");
  EXPECT_EQ(Left(db1, Read(db2File.path())), std::vector<std::string>{});
}

// The same input gives the same bytes.
TEST(SqliteScript, TheSameInputGivesTheSameScript) {
  test::TempSqlite db1File(kShop);
  test::TempSqlite db2File(Apply(kShop, {&kMutations[1], &kMutations[10], &kMutations[17]}));
  const auto written = [&] {
    std::ostringstream out;
    WriteScript(out, PlanScript(Read(db1File.path()), Read(db2File.path()), {}),
                {"one", "two", "2024-07-03T09:46:40Z", "2024.7.1"}, false);
    return out.str();
  };
  EXPECT_EQ(written(), written());
}

}  // namespace
}  // namespace vantrix::migrate
