#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CrossEngineTypes.h"
#include "db/MySQLCommunityServer.h"
#include "support/RecordSets.h"
#include "support/LoopbackPorts.h"
#include "support/MariaDbTestServer.h"

namespace vantrix::db {
namespace {

using test::CreateMariaDbSchema;
using test::MariaDbServer;

using test::Column;

std::unique_ptr<MySQLCommunityServer> Handle(const MariaDbServer& server,
                                             const std::string& database) {
  auto db = std::make_unique<MySQLCommunityServer>();
  db->Host = server.host;
  db->Port = server.port;
  db->UserName = server.user;
  db->Password = server.password;
  db->DatabaseName = database;
  return db;
}

using test::ClosedLoopbackPort;
using test::SilentListener;

TEST(MySQLCommunityServer, ConnectFailuresGiveTheClientsMessage) {
  VANTRIX_REQUIRE_MARIADB(server);
  CreateMariaDbSchema(server, "vx_connect", "CREATE TABLE t (a INT);");
  SilentListener silent;

  struct Case {
    const char* what;
    std::unique_ptr<MySQLCommunityServer> db;
    std::string messagePart;
  };
  std::vector<Case> cases;
  cases.push_back({"wrong password", Handle(server, "vx_connect"), "Access denied"});
  cases.back().db->Password = "not-the-password";
  cases.push_back({"unknown database", Handle(server, "vx_no_such_db"), "Unknown database"});
  cases.push_back({"closed port", Handle(server, "vx_connect"), "Can't connect"});
  cases.back().db->Port = ClosedLoopbackPort();
  cases.push_back({"silent server", Handle(server, "vx_connect"), "ost connection"});
  cases.back().db->Port = silent.port();
  cases.back().db->TimeoutSeconds = 1;
  for (Case& c : cases) {
    EXPECT_FALSE(c.db->Connect()) << c.what;
    EXPECT_NE(c.db->ErrorMessage().find(c.messagePart), std::string::npos)
        << c.what << ": " << c.db->ErrorMessage();
    EXPECT_FALSE(c.db->IsConnected());
  }
}

TEST(MySQLCommunityServer, ListsTablesAndViewsByNameAndReadsFields) {
  VANTRIX_REQUIRE_MARIADB(server);
  CreateMariaDbSchema(server, "vx_list",
                      "CREATE TABLE zeta (id INT NOT NULL PRIMARY KEY, note VARCHAR(20));"
                      "CREATE TABLE alpha (a TEXT);"
                      "CREATE VIEW middle AS SELECT a FROM alpha;"
                      "CREATE TABLE empty_one (x INT); ALTER TABLE empty_one DROP COLUMN x, "
                      "ADD COLUMN y INT;");
  auto db = Handle(server, "vx_list");
  ASSERT_TRUE(db->Connect()) << db->ErrorMessage();
  auto tables = db->TableSchema();
  ASSERT_NE(tables, nullptr);
  EXPECT_EQ(Column(*tables, 1),
            (std::vector<std::string>{"alpha", "empty_one", "middle", "zeta"}));

  auto fields = db->FieldSchema("zeta");
  db->Close();
  ASSERT_NE(fields, nullptr);
  EXPECT_EQ(Column(*fields, kFieldName), (std::vector<std::string>{"id", "note"}));
  EXPECT_EQ(Column(*fields, kFieldTypeCode), (std::vector<std::string>{"3", "5"}));
  EXPECT_EQ(Column(*fields, kFieldDeclaredType),
            (std::vector<std::string>{"int(11)", "varchar(20)"}));
  EXPECT_EQ(Column(*fields, kFieldNotNull), (std::vector<std::string>{"1", "0"}));
  EXPECT_EQ(Column(*fields, kFieldPrimaryKey), (std::vector<std::string>{"1", "0"}));
}

TEST(MySQLCommunityServer, TableNamesKeepTheirCaseAndOddCharacters) {
  VANTRIX_REQUIRE_MARIADB(server);
  CreateMariaDbSchema(server, "vx_names",
                      "CREATE TABLE `Users` (Id INT, Name TEXT);"
                      "CREATE TABLE `users` (id INT);"
                      "CREATE TABLE `it's` (q INT);"
                      "CREATE TABLE `back``tick` (b INT);"
                      "CREATE TABLE `say \"hi\"` (h INT);"
                      "CREATE TABLE `with space.dot` (s INT);"
                      "CREATE TABLE `select` (r INT);"
                      "CREATE TABLE `Übersicht` (u INT);"
                      "CREATE TABLE `1st` (n INT);"
                      "CREATE TABLE `x\\'` (e INT);");
  auto db = Handle(server, "vx_names");
  ASSERT_TRUE(db->Connect()) << db->ErrorMessage();
  const std::vector<std::pair<std::string, std::vector<std::string>>> cases = {
      {"Users", {"Id", "Name"}}, {"users", {"id"}}, {"it's", {"q"}}, {"back`tick", {"b"}},
      {"say \"hi\"", {"h"}},      {"with space.dot", {"s"}}, {"select", {"r"}},
      {"Übersicht", {"u"}},       {"1st", {"n"}},           {"x\\'", {"e"}},
      {"USERS", {}},              {"no such table", {}},   {"' OR '1'='1", {}},
  };
  for (const auto& [table, expected] : cases) {
    auto fields = db->FieldSchema(table);
    ASSERT_NE(fields, nullptr) << table << ": " << db->ErrorMessage();
    EXPECT_EQ(Column(*fields, 1), expected) << table;
  }
  auto tables = db->TableSchema();
  ASSERT_NE(tables, nullptr);
  EXPECT_EQ(tables->RecordCount(), 10U);
}

TEST(MySQLCommunityServer, CrossEngineDeclarationsGetTheSameCodesAsInSQLite) {
  VANTRIX_REQUIRE_MARIADB(server);
  CreateMariaDbSchema(server, "vx_types", test::CrossEngineTableSql("types"));
  auto db = Handle(server, "vx_types");
  ASSERT_TRUE(db->Connect()) << db->ErrorMessage();
  auto fields = db->FieldSchema("types");
  ASSERT_NE(fields, nullptr);
  const auto& expected = test::CrossEngineColumns();
  ASSERT_EQ(fields->RecordCount(), expected.size());
  for (const auto& column : expected) {
    EXPECT_EQ(fields->IdxField(1).StringValue(), column.name);
    EXPECT_EQ(fields->IdxField(2).IntegerValue(), column.code)
        << column.declaration << " read back as " << fields->IdxField(3).StringValue();
    fields->MoveNext();
  }
}

TEST(MySQLCommunityServer, EmptyDatabaseListsNoTables) {
  VANTRIX_REQUIRE_MARIADB(server);
  CreateMariaDbSchema(server, "vx_empty", "");
  auto db = Handle(server, "vx_empty");
  ASSERT_TRUE(db->Connect()) << db->ErrorMessage();
  auto tables = db->TableSchema();
  ASSERT_NE(tables, nullptr);
  EXPECT_TRUE(tables->IsEOF());
}

}  // namespace
}  // namespace vantrix::db

namespace vantrix::db {
namespace {

TEST(MySQLCommunityServer, TheSessionCannotWrite) {
  VANTRIX_REQUIRE_MARIADB(server);
  test::CreateMariaDbSchema(server, "vx_readonly", "CREATE TABLE t (a INT);");
  auto db = std::make_unique<MySQLCommunityServer>();
  db->Host = server.host;
  db->Port = server.port;
  db->UserName = server.user;
  db->Password = server.password;
  db->DatabaseName = "vx_readonly";
  ASSERT_TRUE(db->Connect()) << db->ErrorMessage();
  EXPECT_EQ(db->SelectSQL("INSERT INTO t VALUES (1)"), nullptr);
  EXPECT_NE(db->ErrorMessage().find("READ ONLY"), std::string::npos) << db->ErrorMessage();
  auto rows = db->SelectSQL("SELECT count(*) FROM t");
  ASSERT_NE(rows, nullptr);
  EXPECT_EQ(rows->ColumnAt(0).StringValue(), "0");
}

}  // namespace
}  // namespace vantrix::db
