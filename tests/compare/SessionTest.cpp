#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "compare/Session.h"
#include "support/TempSqlite.h"

namespace vantrix::compare {
namespace {

using Messages = std::vector<std::string>;

db::PanelValues SQLitePanel(const std::optional<std::filesystem::path>& file) {
  return {"", "", "", "", "SQLite", "", file};
}

db::PanelValues RefusedServerPanel() { return {"", "shop", "ann", "pw", "Mysql", "3306", {}}; }

class ComparisonSessionTest : public ::testing::Test {
protected:
  test::TempSqlite db1_{
      "CREATE TABLE Users (id INTEGER, name TEXT);"
      "CREATE TABLE Orders (id INTEGER);"};
  test::TempSqlite db2_{
      "CREATE TABLE users (id INTEGER, name TEXT, extra BLOB);"
      "CREATE TABLE orders (id TEXT);"};
};

TEST_F(ComparisonSessionTest, ChecksEachTableUnderEachSidesOwnName) {
  ComparisonSession session(SQLitePanel(db1_.path()), SQLitePanel(db2_.path()));
  auto users = session.CheckTable("Users", "users");
  EXPECT_EQ(users.outcome, TableOutcome::Ok);
  EXPECT_EQ(users.messages, Messages{});
  EXPECT_EQ(session.CheckTable("Orders", "orders").outcome, TableOutcome::FieldsDiffer);

  auto fields = session.CompareTableFields("Orders", "orders");
  EXPECT_EQ(fields.notice, std::nullopt);
  ASSERT_EQ(fields.verdicts.size(), 1U);
  EXPECT_EQ(FieldNote(fields.verdicts[0]), "Field name OK  - Field type NOT OK");
}

// A table that a side's engine does not know (dropped since the lists were
// filled, or a name that did not survive the trip) or cannot read (a view
// over a dropped table) is not checked: an empty schema would pass as "ok".
TEST_F(ComparisonSessionTest, TablesASideCannotReadAreNotChecked) {
  test::TempSqlite withView{
      "CREATE TABLE Users (id INTEGER, name TEXT);"
      "CREATE TABLE gone (x INTEGER);"
      "CREATE VIEW broken AS SELECT x FROM gone;"
      "DROP TABLE gone;"};
  struct Case {
    const char* what;
    const char* db1Name;
    const char* db2Name;
    TableOutcome outcome;
  };
  const std::vector<Case> cases = {
      {"known on both sides", "Users", "users", TableOutcome::Ok},
      {"unknown in DB 1", "Dropped", "users", TableOutcome::NotChecked},
      {"unknown in DB 2", "Users", "nope", TableOutcome::NotChecked},
      {"a view over a dropped table in DB 1", "broken", "users", TableOutcome::NotChecked},
      {"an empty name", "", "users", TableOutcome::NotChecked},
  };
  ComparisonSession session(SQLitePanel(withView.path()), SQLitePanel(db2_.path()));
  for (const Case& c : cases) {
    auto check = session.CheckTable(c.db1Name, c.db2Name);
    EXPECT_EQ(check.outcome, c.outcome) << c.what;
    EXPECT_EQ(check.messages, Messages{}) << c.what;
  }
  // The field comparison reads the table afresh, and says which side has
  // no fields.
  ComparisonSession fields(SQLitePanel(withView.path()), SQLitePanel(db2_.path()));
  EXPECT_EQ(fields.CompareTableFields("broken", "users").notice, kDb1HasNoFields);
  EXPECT_EQ(fields.CompareTableFields("Dropped", "users").notice, kDb1HasNoFields);
  EXPECT_EQ(fields.CompareTableFields("Users", "nope").notice, kDb2HasNoFields);
}

TEST_F(ComparisonSessionTest, AFailingSideReportsOnceAndLeavesTablesUnchecked) {
  struct Case {
    const char* what;
    db::PanelValues db1;
    db::PanelValues db2;
    Messages firstMessages;
  };
  const std::vector<Case> cases = {
      {"DB 2 cannot connect", SQLitePanel(db1_.path()), SQLitePanel(std::nullopt),
       {"No database file was chosen"}},
      {"both cannot connect", SQLitePanel("/nonexistent/a.sqlite"), SQLitePanel(std::nullopt),
       {"unable to open database file", "No database file was chosen"}},
      {"DB 1 input refused: DB 2 is never tried", RefusedServerPanel(), SQLitePanel(std::nullopt),
       {"You have to input an address for the database server"}},
      {"DB 2 input refused", SQLitePanel(db1_.path()), RefusedServerPanel(),
       {"You have to input an address for the database server"}},
  };
  for (const Case& c : cases) {
    ComparisonSession session(c.db1, c.db2);
    auto first = session.CheckTable("Users", "users");
    EXPECT_EQ(first.outcome, TableOutcome::NotChecked) << c.what;
    EXPECT_EQ(first.messages, c.firstMessages) << c.what;
    for (int i = 0; i < 3; ++i) {
      auto later = session.CheckTable("Orders", "orders");
      EXPECT_EQ(later.outcome, TableOutcome::NotChecked) << c.what;
      EXPECT_EQ(later.messages, Messages{}) << c.what;
    }
  }
}

TEST_F(ComparisonSessionTest, FieldComparisonNoticesAndRefusals) {
  struct Case {
    const char* what;
    db::PanelValues db1;
    db::PanelValues db2;
    Messages messages;
    std::optional<std::string> notice;
  };
  const std::vector<Case> cases = {
      {"both unreachable", SQLitePanel(std::nullopt), SQLitePanel("/nonexistent/b.sqlite"),
       {"No database file was chosen", "unable to open database file"}, kDb1HasNoFields},
      {"DB 2 unreachable", SQLitePanel(db1_.path()), SQLitePanel(std::nullopt),
       {"No database file was chosen"}, kDb2HasNoFields},
      {"DB 1 refused", RefusedServerPanel(), SQLitePanel(db2_.path()),
       {"You have to input an address for the database server"}, std::nullopt},
      {"DB 2 refused after DB 1 failed", SQLitePanel(std::nullopt), RefusedServerPanel(),
       {"No database file was chosen", "You have to input an address for the database server"},
       std::nullopt},
  };
  for (const Case& c : cases) {
    ComparisonSession session(c.db1, c.db2);
    auto check = session.CompareTableFields("Users", "users");
    EXPECT_EQ(check.messages, c.messages) << c.what;
    EXPECT_EQ(check.notice, c.notice) << c.what;
    EXPECT_TRUE(check.verdicts.empty()) << c.what;
  }
}

}  // namespace
}  // namespace vantrix::compare
