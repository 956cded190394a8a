// Connecting a side and listing its tables and fields, end to end in the
// main window with real SQLite files and the MariaDB test server.
#include <QTest>

#include <fstream>

#include "WindowFixture.h"
#include "support/LoopbackPorts.h"
#include "support/MariaDbTestServer.h"
#include "support/TempSqlite.h"

namespace vantrix::test {
namespace {

const QString kNoServer = QStringLiteral("You have to input an address for the database server");
const QString kNoDatabase =
    QStringLiteral("You have to input a name for the database to be processed");
const QString kNoUser =
    QStringLiteral("You have to input an username to access the selected database");
const QString kNoPassword =
    QStringLiteral("You have to input a password to complete the connection");

class ListingTest : public WindowTest {};

TEST_F(ListingTest, SQLiteSideListsTablesAndFieldsWithTypeLabels) {
  TempSqlite file(
      "CREATE TABLE Artist (ArtistId INTEGER NOT NULL, Name NVARCHAR(120));"
      "CREATE TABLE Empty (x);"
      "CREATE VIEW Names AS SELECT Name FROM Artist;");
  for (int side : {1, 2}) {
    ChooseSQLite(side, file.path());
    EXPECT_EQ(Database(side)->text(), QStringLiteral("test.sqlite"));
    EXPECT_EQ(Port(side)->text(), QString());
    for (QLineEdit* field : {Server(side), Database(side), User(side), Pass(side), Port(side)}) {
      EXPECT_FALSE(field->isEnabled()) << field->objectName().toStdString();
    }
    Connect(side);
    EXPECT_EQ(fake().messages, QStringList());
    EXPECT_EQ(
        ColumnOf(Tables(side)),
        (QStringList{QStringLiteral("Artist"), QStringLiteral("Empty"), QStringLiteral("Names")}));
    EXPECT_EQ(Fields(side)->ListCount(), 0);

    Pick(Tables(side), 0);
    EXPECT_EQ(RowsOf(Fields(side)), (QStringList{QStringLiteral("ArtistId | 3-Integer"),
                                                 QStringLiteral("Name | 5-Text or VarChar")}));
    Pick(Tables(side), 1);
    EXPECT_EQ(RowsOf(Fields(side)), QStringList{QStringLiteral("x | 0-Null")});
    // Removing the selection empties the field list without connecting.
    Pick(Tables(side), -1);
    EXPECT_EQ(Fields(side)->ListCount(), 0);
  }
  EXPECT_EQ(fake().messages, QStringList());
  EXPECT_EQ(fake().openAsked, 2);
}

TEST_F(ListingTest, SQLiteConnectFailuresShowTheEnginesTextAndKeepTheList) {
  TempSqlite good("CREATE TABLE kept (a);");
  TempDir dir;
  const auto notADatabase = dir.path() / "notes.txt";
  {
    std::ofstream out(notADatabase);
    out << "plain text, long enough to be read as a database header and fail";
  }
  ChooseSQLite(1, good.path());
  Connect(1);
  Pick(Tables(1), 0);
  ASSERT_EQ(ColumnOf(Fields(1)), QStringList{QStringLiteral("a")});

  struct Case {
    std::optional<std::filesystem::path> file;
    QString message;
  };
  const std::vector<Case> cases = {
      {dir.path() / "missing.sqlite", QStringLiteral("unable to open database file")},
      {notADatabase, QStringLiteral("file is not a database")},
      {std::nullopt, QStringLiteral("No database file was chosen")},
  };
  for (const Case& c : cases) {
    fake().Reset();
    ChooseType(1, QStringLiteral("Mysql"));
    ChooseType(1, QStringLiteral("SQLite"), c.file);
    Connect(1);
    EXPECT_EQ(fake().messages, QStringList{c.message});
    EXPECT_EQ(ColumnOf(Tables(1)), QStringList{QStringLiteral("kept")});
    EXPECT_EQ(ColumnOf(Fields(1)), QStringList{QStringLiteral("a")});
  }
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "missing.sqlite"));
}

TEST_F(ListingTest, TypeChangesAdaptThePanelAndSide2ForgetsItsTexts) {
  for (int side : {1, 2}) {
    Server(side)->setText(QStringLiteral("db.example"));
    Database(side)->setText(QStringLiteral("shop"));
    User(side)->setText(QStringLiteral("ann"));
    Pass(side)->setText(QStringLiteral("pw"));

    ChooseType(side, QStringLiteral("RealServer"));
    EXPECT_EQ(Port(side)->text(), QStringLiteral("4430"));
    ChooseType(side, QStringLiteral("Mysql"));
    EXPECT_EQ(Port(side)->text(), QStringLiteral("3306"));
    ChooseType(side, QStringLiteral("CubeSQLserver"));
    EXPECT_EQ(Port(side)->text(), QStringLiteral("4430"));

    // SQLite, dialog cancelled: no file.
    ChooseType(side, QStringLiteral("SQLite"), std::nullopt);
    EXPECT_FALSE(File(side).has_value());
    const QString kept = side == 1 ? QStringLiteral("db.example") : QString();
    EXPECT_EQ(Server(side)->text(), kept);
    EXPECT_EQ(Database(side)->text(), side == 1 ? QStringLiteral("shop") : QString());
    EXPECT_EQ(User(side)->text(), side == 1 ? QStringLiteral("ann") : QString());
    EXPECT_EQ(Pass(side)->text(), side == 1 ? QStringLiteral("pw") : QString());
    EXPECT_EQ(Port(side)->text(), QString());

    // Back to a server engine: the file is forgotten, everything enabled.
    ChooseType(side, QStringLiteral("Mysql"));
    EXPECT_FALSE(File(side).has_value());
    EXPECT_EQ(Port(side)->text(), QStringLiteral("3306"));
    for (QLineEdit* field : {Server(side), Database(side), User(side), Pass(side), Port(side)}) {
      EXPECT_TRUE(field->isEnabled()) << field->objectName().toStdString();
    }
    EXPECT_EQ(Server(side)->text(), kept);
  }
  EXPECT_EQ(fake().openAsked, 2);
}

TEST_F(ListingTest, InputChecksComeInOrderAndStopBeforeConnecting) {
  TempSqlite file("CREATE TABLE kept (a);");
  for (int side : {1, 2}) {
    // An earlier successful listing on this side changes nothing.
    ChooseSQLite(side, file.path());
    Connect(side);
    ASSERT_EQ(ColumnOf(Tables(side)), QStringList{QStringLiteral("kept")});
    ChooseType(side, QStringLiteral("Mysql"));

    struct Case {
      QString server, database, user, password, message;
    };
    const std::vector<Case> cases = {
        {"", "", "", "", kNoServer},
        {"", "db", "u", "p", kNoServer},
        {"127.0.0.1", "", "", "", kNoDatabase},
        {"127.0.0.1", "db", "", "p", kNoUser},
        {"127.0.0.1", "db", "u", "", kNoPassword},
    };
    for (const Case& c : cases) {
      fake().Reset();
      Server(side)->setText(c.server);
      Database(side)->setText(c.database);
      User(side)->setText(c.user);
      Pass(side)->setText(c.password);
      Connect(side);
      EXPECT_EQ(fake().messages, QStringList{c.message});
      EXPECT_EQ(ColumnOf(Tables(side)), QStringList{QStringLiteral("kept")});
    }
  }
}

TEST_F(ListingTest, MariaDbSideListsTablesOnThePortFieldsPort) {
  VANTRIX_REQUIRE_MARIADB(server);
  CreateMariaDbSchema(server, "vx_win_list",
                      "CREATE TABLE `Users` (Id INT NOT NULL, Active TINYINT(1), Born DATE);"
                      "CREATE TABLE `users` (id BIGINT);");
  CreateMariaDbSchema(server, "vx_win_empty", "");
  FillServer(2, server.host, server.port, "vx_win_list", server.user, server.password);
  Connect(2);
  EXPECT_EQ(fake().messages, QStringList());
  ASSERT_EQ(ColumnOf(Tables(2)), (QStringList{QStringLiteral("Users"), QStringLiteral("users")}));
  Pick(Tables(2), 0);
  EXPECT_EQ(RowsOf(Fields(2)),
            (QStringList{QStringLiteral("Id | 3-Integer"), QStringLiteral("Active | 12-Boolean"),
                         QStringLiteral("Born | 8-Date")}));
  Pick(Tables(2), 1);
  EXPECT_EQ(RowsOf(Fields(2)), QStringList{QStringLiteral("id | 19-Int64")});

  // Edited panel before a selection: the selection connects with the new
  // values, and a refused value leaves the field list as it was.
  Pass(2)->clear();
  Pick(Tables(2), 0);
  EXPECT_EQ(fake().messages, QStringList{kNoPassword});
  EXPECT_EQ(RowsOf(Fields(2)), QStringList{QStringLiteral("id | 19-Int64")});

  // A wrong password: the server's own text; the lists stay.
  fake().Reset();
  Pass(2)->setText(QStringLiteral("wrong"));
  Connect(2);
  ASSERT_EQ(fake().messages.size(), 1);
  EXPECT_TRUE(fake().messages[0].startsWith(QStringLiteral("Access denied for user")))
      << fake().messages[0].toStdString();
  EXPECT_EQ(Tables(2)->ListCount(), 2);

  // Another port: the port field counts.
  fake().Reset();
  Pass(2)->setText(QString::fromStdString(server.password));
  Port(2)->setText(QString::number(ClosedLoopbackPort()));
  Connect(2);
  ASSERT_EQ(fake().messages.size(), 1);
  EXPECT_TRUE(fake().messages[0].startsWith(QStringLiteral("Can't connect")))
      << fake().messages[0].toStdString();
  EXPECT_EQ(Tables(2)->ListCount(), 2);

  // A database without tables empties the list, with no message.
  fake().Reset();
  Port(2)->setText(QString::number(server.port));
  Database(2)->setText(QStringLiteral("vx_win_empty"));
  Connect(2);
  EXPECT_EQ(fake().messages, QStringList());
  EXPECT_EQ(Tables(2)->ListCount(), 0);
}

}  // namespace
}  // namespace vantrix::test
