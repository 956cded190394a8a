// Compare and the field comparison of a result row, end to end in the main
// window with real SQLite files and the MariaDB test server.
#include <filesystem>

#include "WindowFixture.h"
#include "support/LoopbackPorts.h"
#include "support/MariaDbTestServer.h"
#include "support/PostgresTestServer.h"
#include "support/TempSqlite.h"
#include "ui/toolkit/Picture.h"

namespace vantrix::test {
namespace {

class CompareTest : public WindowTest {
protected:
  // The picture file each result row shows.
  QStringList PicturesOf(const ui::Listbox* list) {
    QStringList names;
    for (int row = 0; row < list->ListCount(); ++row) {
      const qint64 key = list->RowPicture(row).cacheKey();
      QString name = QStringLiteral("none");
      for (const char* file : {"ok.jpg", "err.jpg", "alert.jpg"}) {
        if (ui::Picture(QString::fromUtf8(file)).cacheKey() == key) name = QString::fromUtf8(file);
      }
      names << name;
    }
    return names;
  }
};

const char* const kDb1Sql =
    "CREATE TABLE Users (Id INTEGER, Name TEXT, Email VARCHAR(80));"
    "CREATE TABLE Orders (id INTEGER, total NUMERIC(10,2));"
    "CREATE TABLE Items (id INTEGER, sku CHAR(8), qty INTEGER);"
    "CREATE TABLE Notes (body TEXT);"
    "CREATE TABLE Bare (x);";

const char* const kDb2Sql =
    "CREATE TABLE users (extra BLOB, Email VARCHAR(20), Name TEXT, Id INTEGER);"
    "CREATE TABLE items (ID INTEGER, sku INTEGER, qty INTEGER, more TEXT);"
    "CREATE TABLE notes (body TEXT);"
    "CREATE TABLE bare (y);"
    "CREATE TABLE only_in_db2 (z);";

TEST_F(CompareTest, SQLitePairGetsOneRowPerDb1TableWithNoteAndPicture) {
  TempSqlite db1(kDb1Sql);
  TempSqlite db2(kDb2Sql);
  ChooseSQLite(1, db1.path());
  ChooseSQLite(2, db2.path());
  Connect(1);
  Connect(2);
  Compare();
  EXPECT_EQ(fake().messages, QStringList());
  EXPECT_EQ(RowsOf(W().DiffTables),
            (QStringList{"Users | " + kOk, "Orders | " + kMissing, "Items | " + kDiffer,
                         "Notes | " + kOk, "Bare | " + kDiffer}));
  EXPECT_EQ(PicturesOf(W().DiffTables),
            (QStringList{"ok.jpg", "err.jpg", "alert.jpg", "ok.jpg", "alert.jpg"}));
  EXPECT_EQ(W().DiffTables->DefaultRowHeight(), 17);
  EXPECT_EQ(W().DiffTables->ListIndex(), -1);
  EXPECT_EQ(W().DiffFields->ListCount(), 0);

  // Drilling into each kind of row.
  Select(2);
  EXPECT_EQ(RowsOf(W().DiffFields),
            (QStringList{"id | " + kNameMissing, "sku | " + kTypeDiffers, "qty | " + kBothOk}));
  Select(0);
  EXPECT_EQ(RowsOf(W().DiffFields),
            (QStringList{"Id | " + kBothOk, "Name | " + kBothOk, "Email | " + kBothOk}));
  EXPECT_EQ(fake().messages, QStringList());
  Select(1);
  EXPECT_EQ(fake().messages,
            QStringList{QStringLiteral("It is not possible to compare a 'not ok' table, sorry")});
  EXPECT_EQ(W().DiffFields->ListCount(), 0);
  Select(-1);
  EXPECT_EQ(W().DiffFields->ListCount(), 0);
}

// Every row of DB 1's list is compared, a name listed twice (here in
// another letter case, which SQLite reads as the same table) as often.
TEST_F(CompareTest, DuplicateDb1RowsAreComparedEach) {
  TempSqlite db1("CREATE TABLE t (a INTEGER); CREATE TABLE nothing_here (x);");
  TempSqlite db2("CREATE TABLE t (a TEXT);");
  ChooseSQLite(1, db1.path());
  ChooseSQLite(2, db2.path());
  Connect(1);
  Connect(2);
  W().DB1tables->AddRow(QStringLiteral("T"));
  Compare();
  EXPECT_EQ(RowsOf(W().DiffTables),
            (QStringList{"t | " + kDiffer, "nothing_here | " + kMissing, "T | " + kDiffer}));
}

// A DB 1 table without any field (PostgreSQL allows one; SQLite and MariaDB
// do not) has no field that could differ: it is ok against DB 2's table of
// that name, with fields or without.
TEST_F(CompareTest, AnEmptyDb1TableIsOk) {
  VANTRIX_REQUIRE_POSTGRES(server);
  CreatePostgresDatabase(server, "vx_cmp_empty1",
                         "CREATE TABLE nothing_here (); CREATE TABLE t (a integer);");
  CreatePostgresDatabase(server, "vx_cmp_empty2",
                         "CREATE TABLE nothing_here (); CREATE TABLE t (a integer);");
  TempSqlite sqlite("CREATE TABLE nothing_here (x TEXT); CREATE TABLE t (a INTEGER);");
  for (const bool db2Postgres : {false, true}) {
    SCOPED_TRACE(db2Postgres ? "DB 2 in PostgreSQL, also empty" : "DB 2 in SQLite, with a field");
    CloseAllWindows();
    FillServer(1, server.host, server.port, "vx_cmp_empty1", server.user, server.password,
               QStringLiteral("PostgreSQL"));
    if (db2Postgres) {
      FillServer(2, server.host, server.port, "vx_cmp_empty2", server.user, server.password,
                 QStringLiteral("PostgreSQL"));
    } else {
      ChooseSQLite(2, sqlite.path());
    }
    Connect(1);
    Connect(2);
    ASSERT_EQ(ColumnOf(W().DB1tables), (QStringList{"nothing_here", "t"}));
    Pick(W().DB1tables, 0);
    ASSERT_EQ(W().DB1fields->ListCount(), 0) << "the DB 1 table has fields";

    Compare();
    EXPECT_EQ(fake().messages, QStringList());
    EXPECT_EQ(RowsOf(W().DiffTables), (QStringList{"nothing_here | " + kOk, "t | " + kOk}));
    EXPECT_EQ(PicturesOf(W().DiffTables), (QStringList{"ok.jpg", "ok.jpg"}));
    // Its field comparison has no DB 1 field to list, and nothing to report.
    Select(0);
    EXPECT_EQ(W().DiffFields->ListCount(), 0);
    EXPECT_EQ(fake().messages, QStringList());
  }
}

// Compare needs tables listed on both sides: with either list empty it says
// so and leaves no result rows, not even those of the Compare before.
TEST_F(CompareTest, EitherTableListEmptyRefusesAndLeavesNoRows) {
  TempSqlite tables("CREATE TABLE t (a);");
  TempSqlite empty("PRAGMA user_version = 1;");
  for (const int emptySide : {1, 2}) {
    SCOPED_TRACE(emptySide == 1 ? "DB 1 empty" : "DB 2 empty");
    CloseAllWindows();
    ChooseSQLite(1, tables.path());
    ChooseSQLite(2, tables.path());
    Connect(1);
    Connect(2);
    Compare();
    ASSERT_EQ(W().DiffTables->ListCount(), 1);

    // The side now lists a database without tables.
    ChooseType(emptySide, QStringLiteral("Mysql"));
    ChooseSQLite(emptySide, empty.path());
    Connect(emptySide);
    ASSERT_EQ(Tables(emptySide)->ListCount(), 0);
    ASSERT_EQ(Tables(3 - emptySide)->ListCount(), 1);
    fake().Reset();
    Compare();
    EXPECT_EQ(fake().messages,
              QStringList{QStringLiteral("You have to connect to both databases")});
    EXPECT_EQ(W().DiffTables->ListCount(), 0);
  }
}

TEST_F(CompareTest, SQLiteAgainstCaseSensitiveMariaDbQueriesEachSideUnderItsOwnName) {
  VANTRIX_REQUIRE_MARIADB(server);
  CreateMariaDbSchema(server, "vx_cmp_case",
                      "CREATE TABLE `users` (Id INT, Name TEXT, Email VARCHAR(80));"
                      "CREATE TABLE `USERS` (other INT);"
                      "CREATE TABLE `Items` (id INT, sku INT, qty INT);");
  TempSqlite db1(kDb1Sql);
  ChooseSQLite(1, db1.path());
  Connect(1);
  FillServer(2, server.host, server.port, "vx_cmp_case", server.user, server.password);
  Connect(2);
  ASSERT_EQ(ColumnOf(W().DB2tables), (QStringList{QStringLiteral("Items"), QStringLiteral("USERS"),
                                                  QStringLiteral("users")}));
  Compare();
  EXPECT_EQ(fake().messages, QStringList());
  // "Users" matches the first DB 2 name that differs only in case, "USERS",
  // and is read there under that name.
  EXPECT_EQ(RowsOf(W().DiffTables),
            (QStringList{"Users | " + kDiffer, "Orders | " + kMissing, "Items | " + kDiffer,
                         "Notes | " + kMissing, "Bare | " + kMissing}));
  Select(2);
  EXPECT_EQ(RowsOf(W().DiffFields),
            (QStringList{"id | " + kBothOk, "sku | " + kTypeDiffers, "qty | " + kBothOk}));
  Select(0);
  EXPECT_EQ(RowsOf(W().DiffFields), (QStringList{"Id | " + kNameMissing, "Name | " + kNameMissing,
                                                 "Email | " + kNameMissing}));
  EXPECT_EQ(fake().messages, QStringList());
}

TEST_F(CompareTest, AnUnreachableSideIsReportedOnceAndItsTablesAreNotChecked) {
  VANTRIX_REQUIRE_MARIADB(server);
  CreateMariaDbSchema(server, "vx_cmp_gone",
                      "CREATE TABLE Users (Id INT, Name TEXT, Email VARCHAR(80));"
                      "CREATE TABLE Items (id INT, sku CHAR(8), qty INT);"
                      "CREATE TABLE Notes (body TEXT);");
  TempSqlite db1(kDb1Sql);
  ChooseSQLite(1, db1.path());
  Connect(1);
  FillServer(2, server.host, server.port, "vx_cmp_gone", server.user, server.password);
  Connect(2);
  Compare();
  ASSERT_EQ(RowsOf(W().DiffTables),
            (QStringList{"Users | " + kOk, "Orders | " + kMissing, "Items | " + kOk,
                         "Notes | " + kOk, "Bare | " + kMissing}));

  // The server goes away after listing: one box, not one per table.
  Port(2)->setText(QString::number(ClosedLoopbackPort()));
  Compare();
  ASSERT_EQ(fake().messages.size(), 1);
  EXPECT_TRUE(fake().messages[0].startsWith(QStringLiteral("Can't connect")));
  EXPECT_EQ(RowsOf(W().DiffTables),
            (QStringList{"Users | " + kNotChecked, "Orders | " + kMissing, "Items | " + kNotChecked,
                         "Notes | " + kNotChecked, "Bare | " + kMissing}));
  EXPECT_EQ(PicturesOf(W().DiffTables),
            (QStringList{"alert.jpg", "err.jpg", "alert.jpg", "alert.jpg", "err.jpg"}));

  // An unchecked row can still be drilled into; DB 2 is still away.
  fake().Reset();
  Select(0);
  ASSERT_EQ(fake().messages.size(), 1);
  EXPECT_EQ(RowsOf(W().DiffFields), QStringList{"Selected table on DB2 has no fields | "});

  // An emptied server field: the input message once, no connection.
  fake().Reset();
  Port(2)->setText(QString::number(server.port));
  Server(2)->clear();
  Compare();
  EXPECT_EQ(fake().messages,
            QStringList{QStringLiteral("You have to input an address for the database server")});
  EXPECT_EQ(ColumnOf(W().DiffTables, 1),
            (QStringList{kNotChecked, kMissing, kNotChecked, kNotChecked, kMissing}));

  // The field comparison stops at the refused panel and adds no row.
  fake().Reset();
  Select(2);
  EXPECT_EQ(fake().messages,
            QStringList{QStringLiteral("You have to input an address for the database server")});
  EXPECT_EQ(W().DiffFields->ListCount(), 0);
}

TEST_F(CompareTest, BothSidesUnreachableInTheFieldComparison) {
  VANTRIX_REQUIRE_MARIADB(server);
  CreateMariaDbSchema(server, "vx_cmp_both", "CREATE TABLE Notes (body TEXT);");
  TempDir dir;
  const auto path = dir.path() / "db1.sqlite";
  {
    TempSqlite db1("CREATE TABLE Notes (body TEXT);");
    std::filesystem::copy_file(db1.path(), path);
  }
  ChooseSQLite(1, path);
  Connect(1);
  FillServer(2, server.host, server.port, "vx_cmp_both", server.user, server.password);
  Connect(2);
  Compare();
  ASSERT_EQ(RowsOf(W().DiffTables), QStringList{"Notes | " + kOk});

  std::filesystem::remove(path);
  Port(2)->setText(QString::number(ClosedLoopbackPort()));
  Select(0);
  ASSERT_EQ(fake().messages.size(), 2);
  EXPECT_EQ(fake().messages[0], QStringLiteral("unable to open database file"));
  EXPECT_TRUE(fake().messages[1].startsWith(QStringLiteral("Can't connect")));
  EXPECT_EQ(RowsOf(W().DiffFields), QStringList{"Selected table on DB1 has no fields | "});
}

TEST_F(CompareTest, ChinookInSQLiteAgainstChinookInMariaDb) {
  VANTRIX_REQUIRE_MARIADB(server);
  const std::filesystem::path fixtures = VANTRIX_FIXTURES_DIR "/chinook";
  CreateMariaDbSchema(server, "Chinook", ReadFile(fixtures / "Chinook_MySql.schema.sql"));
  TempSqlite sqlite(ReadFile(fixtures / "Chinook_Sqlite.schema.sql"));

  ChooseSQLite(1, sqlite.path());
  Connect(1);
  FillServer(2, server.host, server.port, "Chinook", server.user, server.password);
  Connect(2);
  const QStringList tables = {"Album",    "Artist",        "Customer",    "Employee",
                              "Genre",    "Invoice",       "InvoiceLine", "MediaType",
                              "Playlist", "PlaylistTrack", "Track"};
  ASSERT_EQ(ColumnOf(W().DB1tables), tables);
  ASSERT_EQ(ColumnOf(W().DB2tables), tables);

  Compare();
  EXPECT_EQ(fake().messages, QStringList());
  QStringList expected;
  for (const QString& table : tables) expected << table + " | " + kOk;
  EXPECT_EQ(RowsOf(W().DiffTables), expected);

  // Every field of every table agrees in name and type across the engines.
  for (int row = 0; row < W().DiffTables->ListCount(); ++row) {
    Select(row);
    Pick(W().DB1tables, row);
    ASSERT_EQ(ColumnOf(W().DiffFields), ColumnOf(W().DB1fields)) << row;
    for (const QString& note : ColumnOf(W().DiffFields, 1)) EXPECT_EQ(note, kBothOk) << row;
  }
  Select(W().DiffTables->ListCount() - 2);
  EXPECT_EQ(RowsOf(W().DiffFields),
            (QStringList{"PlaylistId | " + kBothOk, "TrackId | " + kBothOk}));

  // The other way round gives the same verdicts.
  ChooseType(1, QStringLiteral("Mysql"));
  FillServer(1, server.host, server.port, "Chinook", server.user, server.password);
  ChooseType(2, QStringLiteral("SQLite"), sqlite.path());
  Connect(1);
  Connect(2);
  Compare();
  EXPECT_EQ(RowsOf(W().DiffTables), expected);
  EXPECT_EQ(fake().messages, QStringList());
}

}  // namespace
}  // namespace vantrix::test
