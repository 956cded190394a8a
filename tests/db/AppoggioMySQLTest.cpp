#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "db/AppoggioMySQL.h"
#include "db/CubeSQLServer.h"
#include "db/MySQLCommunityServer.h"
#include "db/SQLiteDatabase.h"

namespace vantrix::db {
namespace {

namespace slots = AppoggioMySQL;

// A list that records what the core asks of it.
struct RecordingList : ListRows {
  std::vector<std::vector<std::string>> rows;
  int clears = 0;
  void AddRow(const std::string& cell0) override { rows.push_back({cell0}); }
  void SetLastRowCell(int column, const std::string& text) override {
    auto& row = rows.back();
    if (row.size() <= static_cast<std::size_t>(column)) row.resize(static_cast<std::size_t>(column) + 1);
    row[static_cast<std::size_t>(column)] = text;
  }
  void DeleteAllRows() override {
    rows.clear();
    ++clears;
  }
};

PanelValues Filled(const std::string& engine = "Mysql") {
  return {"db.example", "shop", "ann", "secret", engine, "3306", std::nullopt};
}

TEST(ConnectionSlots, InputChecksRunInOrderAndKeepThePreviousHandle) {
  struct Case {
    void (*edit)(PanelValues&);
    const char* message;
  };
  const std::vector<Case> cases = {
      {[](PanelValues& p) { p.server.clear(); p.user.clear(); }, slots::kNoServer},
      {[](PanelValues& p) { p.database.clear(); p.password.clear(); }, slots::kNoDatabase},
      {[](PanelValues& p) { p.user.clear(); p.password.clear(); }, slots::kNoUser},
      {[](PanelValues& p) { p.password.clear(); }, slots::kNoPassword},
  };
  for (int side : {1, 2}) {
    for (const Case& c : cases) {
      // An earlier successful preparation does not excuse the input.
      ASSERT_TRUE(side == 1 ? slots::ConnessioneDbMysql(Filled()).prepared
                            : slots::ConnessioneDbMysql2(Filled()).prepared);
      Database* before = slots::Slot(side).get();
      PanelValues panel = Filled("CubeSQLserver");
      c.edit(panel);
      const Preparation result =
          side == 1 ? slots::ConnessioneDbMysql(panel) : slots::ConnessioneDbMysql2(panel);
      EXPECT_FALSE(result.prepared);
      EXPECT_EQ(result.message, c.message);
      EXPECT_EQ(slots::Slot(side).get(), before);
    }
  }
}

TEST(ConnectionSlots, BlanksPassAndEachEngineGetsItsHandle) {
  PanelValues blanks = {" ", " ", " ", " ", "mysql", "", std::nullopt};
  ASSERT_TRUE(slots::ConnessioneDbMysql(blanks).prepared);
  auto* mysql = dynamic_cast<MySQLCommunityServer*>(slots::MysqlDb.get());
  ASSERT_NE(mysql, nullptr);
  EXPECT_EQ(mysql->Host, " ");
  EXPECT_EQ(mysql->Password, " ");
  EXPECT_EQ(mysql->Port, 0);  // empty port field: the engine's default

  for (const char* name : {"RealServer", "CubeSQLserver", "CUBESQLSERVER"}) {
    ASSERT_TRUE(slots::ConnessioneDbMysql2(Filled(name)).prepared) << name;
    EXPECT_NE(dynamic_cast<CubeSQLServer*>(slots::MysqlDb2.get()), nullptr) << name;
  }
}

TEST(ConnectionSlots, SQLiteNeedsNoInputAndTakesTheFile) {
  PanelValues panel{"", "", "", "", "SQLite", "", std::filesystem::path("/tmp/x.sqlite")};
  ASSERT_TRUE(slots::ConnessioneDbMysql(panel).prepared);
  auto* sqlite = dynamic_cast<SQLiteDatabase*>(slots::MysqlDb.get());
  ASSERT_NE(sqlite, nullptr);
  EXPECT_EQ(sqlite->DatabaseFile, std::filesystem::path("/tmp/x.sqlite"));

  panel.file.reset();
  ASSERT_TRUE(slots::ConnessioneDbMysql(panel).prepared);
  EXPECT_FALSE(slots::MysqlDb->DatabaseFile.has_value());
  EXPECT_FALSE(slots::MysqlDb->Connect());
  EXPECT_EQ(slots::MysqlDb->ErrorMessage(), "No database file was chosen");
}

TEST(ConnectionSlots, ThePortFieldIsUsed) {
  const std::vector<std::pair<std::string, int>> good = {{"3307", 3307}, {"1", 1}, {"65535", 65535}, {"", 0}};
  for (const auto& [text, port] : good) {
    PanelValues panel = Filled();
    panel.port = text;
    ASSERT_TRUE(slots::ConnessioneDbMysql(panel).prepared) << text;
    EXPECT_EQ(slots::MysqlDb->Port, port) << text;
  }
  for (const char* text : {"0", "65536", "99999999"}) {
    PanelValues panel = Filled();
    panel.port = text;
    const Preparation result = slots::ConnessioneDbMysql(panel);
    EXPECT_FALSE(result.prepared) << text;
    EXPECT_EQ(result.message, "You have to input a port number from 1 to 65535");
  }
}

TEST(ConnectionSlots, TheSeparatorNamesNoEngine) {
  const Preparation result = slots::ConnessioneDbMysql(Filled("-"));
  EXPECT_FALSE(result.prepared);
  EXPECT_FALSE(result.message.empty());
}

TEST(SchemaListing, PopolalistaFillsEveryColumnAndKeepsTheListForAnEmptyResult) {
  RecordingList list;
  list.rows = {{"old"}};
  RecordSet empty({"name"}, {});
  slots::popolalista(empty, list);
  EXPECT_EQ(list.rows, (std::vector<std::vector<std::string>>{{"old"}}));
  EXPECT_EQ(list.clears, 0);

  RecordSet tables({"name", "kind", "rows"},
                   {{DatabaseField("b"), DatabaseField("table"), DatabaseField("3")},
                    {DatabaseField("a"), DatabaseField(), DatabaseField("7")}});
  slots::popolalista(tables, list);
  EXPECT_EQ(list.rows, (std::vector<std::vector<std::string>>{{"b", "table", "3"}, {"a", "", "7"}}));
}

TEST(SchemaListing, FieldListShowsNamesAndTypeLabels) {
  RecordingList list;
  RecordSet fields({"ColumnName", "FieldType"},
                   {{DatabaseField("id"), DatabaseField("3")},
                    {DatabaseField("blob"), DatabaseField("20")},
                    {DatabaseField("name"), DatabaseField("5")},
                    {DatabaseField("odd"), DatabaseField("-1")}});
  FillFieldList(fields, list);
  EXPECT_EQ(list.rows, (std::vector<std::vector<std::string>>{{"id", "3-Integer"},
                                                              {"blob", "Unknown"},
                                                              {"name", "5-Text or VarChar"},
                                                              {"odd", "Unknown"}}));
}

}  // namespace
}  // namespace vantrix::db
