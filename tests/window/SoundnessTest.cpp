// Compare and the field comparison where the engines make it hard to be
// right: case twins, tables gone since Connect, server types outside the
// type table, names that are not UTF-8, and what a Compare costs the server.
#include <filesystem>

#include <sqlite3.h>

#include "WindowFixture.h"
#include "support/MariaDbTestServer.h"
#include "support/TempSqlite.h"
#include "ui/toolkit/Picture.h"

namespace vantrix::test {
namespace {

class SoundnessTest : public WindowTest {
protected:
  void ConnectMariaDb(int side, const MariaDbServer& server, const std::string& database,
                      const std::string& user = {}, const std::string& password = {}) {
    FillServer(side, server.host, server.port, database, user.empty() ? server.user : user,
               password.empty() ? server.password : password);
    Connect(side);
  }
  static bool ShowsPicture(const ui::Listbox* list, int row, const char* file) {
    return list->RowPicture(row).cacheKey() == ui::Picture(QString::fromUtf8(file)).cacheKey();
  }
};

// On a server that tells "users" from "USERS", each is compared with its own
// twin, not with the first name that differs only in letter case.
TEST_F(SoundnessTest, CaseTwinsAreEachComparedWithTheirOwnTwin) {
  VANTRIX_REQUIRE_MARIADB(server);
  CreateMariaDbSchema(
      server, "vx_twins_1",
      "CREATE TABLE `users` (id INT, name TEXT); CREATE TABLE `USERS` (other DATE);");
  CreateMariaDbSchema(
      server, "vx_twins_2",
      "CREATE TABLE `USERS` (other DATE); CREATE TABLE `users` (id INT, name TEXT);");
  ConnectMariaDb(1, server, "vx_twins_1");
  ConnectMariaDb(2, server, "vx_twins_2");
  ASSERT_EQ(ColumnOf(W().DB2tables), (QStringList{"USERS", "users"}));
  Compare();
  EXPECT_EQ(fake().messages, QStringList());
  EXPECT_EQ(RowsOf(W().DiffTables), (QStringList{"USERS | " + kOk, "users | " + kOk}));
  Select(1);
  EXPECT_EQ(RowsOf(W().DiffFields), (QStringList{"id | " + kBothOk, "name | " + kBothOk}));
  Select(0);
  EXPECT_EQ(RowsOf(W().DiffFields), (QStringList{"other | " + kBothOk}));
}

// A table dropped between Connect and Compare, and a view over a dropped
// table, have no fields to compare: they are not checked, not "ok".
TEST_F(SoundnessTest, TablesThatCannotBeReadAreNotChecked) {
  TempSqlite db1(
      "CREATE TABLE a (x INTEGER); CREATE TABLE b (y INTEGER); CREATE TABLE gone (g INTEGER);"
      "CREATE VIEW broken AS SELECT g FROM gone; DROP TABLE gone; CREATE TABLE c (z TEXT);");
  TempSqlite db2(
      "CREATE TABLE a (x INTEGER); CREATE TABLE b (y INTEGER); CREATE TABLE broken (g INTEGER);"
      "CREATE TABLE c (z TEXT);");
  ChooseSQLite(1, db1.path());
  ChooseSQLite(2, db2.path());
  Connect(1);
  Connect(2);
  ASSERT_EQ(ColumnOf(W().DB1tables), (QStringList{"a", "b", "broken", "c"}));
  {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(db1.path().c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, "DROP TABLE b", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
  }
  Compare();
  EXPECT_EQ(fake().messages, QStringList());
  EXPECT_EQ(RowsOf(W().DiffTables), (QStringList{"a | " + kOk, "b | " + kNotChecked,
                                                 "broken | " + kNotChecked, "c | " + kOk}));
  EXPECT_TRUE(ShowsPicture(W().DiffTables, 1, "alert.jpg"));
  EXPECT_TRUE(ShowsPicture(W().DiffTables, 2, "alert.jpg"));
  for (const int row : {1, 2}) {
    Select(row);
    EXPECT_EQ(RowsOf(W().DiffFields), QStringList{"Selected table on DB1 has no fields | "}) << row;
  }
  EXPECT_EQ(fake().messages, QStringList());
}

// MariaDB types outside the type table (geometry, inet6, ...) have no code
// of their own: they agree only with the same declaration, and their label
// is "Unknown". An int changed to a point is a difference.
TEST_F(SoundnessTest, AServerTypeOutsideTheTableAgreesOnlyWithTheSameType) {
  VANTRIX_REQUIRE_MARIADB(server);
  CreateMariaDbSchema(
      server, "vx_types_1",
      "CREATE TABLE t (id INT, p INT, g GEOMETRY, a INET6, u UUID, d DECIMAL(9,2))");
  CreateMariaDbSchema(server, "vx_types_2",
                      "CREATE TABLE t (id INT, p POINT, g GEOMETRY, a INET6, u DECIMAL(9,2), "
                      "d POLYGON)");
  ConnectMariaDb(1, server, "vx_types_1");
  ConnectMariaDb(2, server, "vx_types_2");
  Compare();
  EXPECT_EQ(RowsOf(W().DiffTables), QStringList{"t | " + kDiffer});
  Select(0);
  EXPECT_EQ(RowsOf(W().DiffFields),
            (QStringList{"id | " + kBothOk, "p | " + kTypeDiffers, "g | " + kBothOk,
                         "a | " + kBothOk, "u | " + kTypeDiffers, "d | " + kTypeDiffers}));
  Pick(W().DB2tables, 0);
  EXPECT_EQ(RowsOf(W().DB2fields), (QStringList{"id | 3-Integer", "p | Unknown", "g | Unknown",
                                                "a | Unknown", "u | 13-Decimal", "d | Unknown"}));
  EXPECT_EQ(fake().messages, QStringList());
}

// SQLite keeps any bytes as a name; the list shows replacement marks for
// bytes that are not UTF-8, but the engine is asked under its own bytes.
TEST_F(SoundnessTest, NamesThatAreNotUtf8AreAskedForUnderTheEnginesOwnBytes) {
  TempSqlite db1("CREATE TABLE \"caf\xE9\" (x INTEGER); CREATE TABLE \"caf\xE8\" (y INTEGER);");
  TempSqlite db2("CREATE TABLE \"caf\xE9\" (x INTEGER);");
  ChooseSQLite(1, db1.path());
  ChooseSQLite(2, db2.path());
  Connect(1);
  Connect(2);
  Compare();
  EXPECT_EQ(fake().messages, QStringList());
  EXPECT_EQ(ColumnOf(W().DiffTables, 1), (QStringList{kOk, kMissing}));
  Select(0);
  EXPECT_EQ(RowsOf(W().DiffFields), QStringList{"x | " + kBothOk});
  Pick(W().DB1tables, 1);
  EXPECT_EQ(RowsOf(W().DB1fields), QStringList{"y | 3-Integer"});
}

// A Compare costs one connection a side, and a number of statements that
// does not grow with the tables: the same for 3 tables as for 300. A table
// listed at Connect and dropped since is not in the schema the Compare
// read: the engine is asked about it on the same connection, not a second.
TEST_F(SoundnessTest, ACompareCostsOneConnectionASideAndTheSameStatementsWhateverTheTables) {
  VANTRIX_REQUIRE_MARIADB(server);
  struct Case {
    const char* name;
    int tables;
    bool dropAfterConnect;  // t1 of DB 1 and t2 of DB 2 go after Connect
  };
  const Case cases[] = {
      {"3 tables", 3, false},
      {"300 tables", 300, false},
      {"300 tables, one dropped on each side since Connect", 300, true},
  };
  long long statements[2] = {-1, -1};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CloseAllWindows();
    std::string sql1;
    std::string sql2;
    for (int i = 0; i < c.tables; ++i) {
      const std::string name = "t" + std::to_string(i);
      sql1 += "CREATE TABLE " + name + " (id INT, v VARCHAR(9));";
      // Every third table differs, every seventh is missing in DB 2.
      if (i % 7 != 6)
        sql2 += "CREATE TABLE " + name + " (id INT, v " + (i % 3 ? "VARCHAR(9)" : "INT") + ");";
    }
    const std::string db =
        "vx_cost_" + std::to_string(c.tables) + (c.dropAfterConnect ? "_dropped" : "");
    CreateMariaDbSchema(server, db + "_1", sql1);
    CreateMariaDbSchema(server, db + "_2", sql2);
    // Each side has an account of its own, whose connections and statements
    // the server counts.
    for (int side = 1; side <= 2; ++side) {
      const std::string user = db + "_u" + std::to_string(side);
      RunMariaDbSql(server, "DROP USER IF EXISTS '" + user + "'@'127.0.0.1';" + "CREATE USER '" +
                                user + "'@'127.0.0.1' IDENTIFIED BY 'pw';" + "GRANT SELECT ON `" +
                                db + "_" + std::to_string(side) + "`.* TO '" + user +
                                "'@'127.0.0.1';");
      ConnectMariaDb(side, server, db + "_" + std::to_string(side), user, "pw");
    }
    if (c.dropAfterConnect) {
      RunMariaDbSql(server, "DROP TABLE `" + db + "_1`.t1; DROP TABLE `" + db + "_2`.t2;");
    }
    MariaDbUserStatistics before[2];
    for (int side = 0; side < 2; ++side) {
      before[side] = UserStatistics(server, db + "_u" + std::to_string(side + 1));
    }
    Compare();
    EXPECT_EQ(W().DiffTables->ListCount(), c.tables);
    EXPECT_EQ(ColumnOf(W().DiffTables, 1).count(kMissing), c.tables / 7);
    if (c.dropAfterConnect) {
      const QStringList rows = RowsOf(W().DiffTables);
      EXPECT_TRUE(rows.contains("t1 | " + kNotChecked));
      EXPECT_TRUE(rows.contains("t2 | " + kNotChecked));
    }
    for (int side = 0; side < 2; ++side) {
      const auto after = UserStatistics(server, db + "_u" + std::to_string(side + 1));
      EXPECT_EQ(after.connections - before[side].connections, 1) << "side " << side + 1;
      const long long made = after.statements - before[side].statements;
      EXPECT_GE(made, 1) << "side " << side + 1 << ": the statistics count nothing";
      if (c.dropAfterConnect) continue;
      EXPECT_LE(made, 5) << "side " << side + 1;
      if (statements[side] < 0) statements[side] = made;
      EXPECT_EQ(made, statements[side]) << "side " << side + 1 << ", against " << cases[0].name;
    }
    EXPECT_EQ(fake().messages, QStringList());
  }
}

}  // namespace
}  // namespace vantrix::test
