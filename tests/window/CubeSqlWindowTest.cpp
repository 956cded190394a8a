// The cubeSQL engine in the main window: "CubeSQLserver" or "RealServer" on
// one side against SQLite or MariaDB on the other, against the cubeSQL test
// server.
#include "FakeCubeSqlServer.h"
#include "WindowFixture.h"
#include "support/LoopbackPorts.h"
#include "support/MariaDbTestServer.h"
#include "support/TempSqlite.h"

namespace vantrix::test {
namespace {

const char* const kSchema =
    "CREATE TABLE Artist (ArtistId INTEGER NOT NULL, Name NVARCHAR(120));"
    "CREATE TABLE Album (AlbumId INTEGER, Title NVARCHAR(160), ArtistId INTEGER);"
    "CREATE VIEW ArtistNames AS SELECT Name FROM Artist;";

class CubeSqlWindowTest : public WindowTest {
protected:
  FakeCubeSqlServer cube_{"admin", "s3cret", "music"};
  void SetUp() override {
    WindowTest::SetUp();
    cube_.Execute(kSchema);
  }
  void FillCube(int side, const QString& engine = QStringLiteral("CubeSQLserver")) {
    FillServer(side, "127.0.0.1", cube_.Port(), "music", "admin", "s3cret", engine);
  }
};

TEST_F(CubeSqlWindowTest, ListsAndComparesAgainstSQLite) {
  TempSqlite sqlite(
      "CREATE TABLE Artist (ArtistId INTEGER NOT NULL, Name TEXT);"
      "CREATE TABLE Album (AlbumId INTEGER, Title NVARCHAR(160), ArtistId TEXT);");
  FakeCubeSqlServer::Behaviour chunked;
  chunked.chunkRows = 1;
  chunked.compress = true;
  cube_.SetBehaviour(chunked);

  FillCube(1, QStringLiteral("RealServer"));
  Connect(1);
  ASSERT_EQ(fake().messages, QStringList());
  EXPECT_EQ(ColumnOf(Tables(1)), (QStringList{"Artist", "Album", "ArtistNames"}));
  Pick(Tables(1), 0);
  EXPECT_EQ(RowsOf(Fields(1)), (QStringList{"ArtistId | 3-Integer", "Name | 5-Text or VarChar"}));

  ChooseSQLite(2, sqlite.path());
  Connect(2);
  Compare();
  EXPECT_EQ(fake().messages, QStringList());
  EXPECT_EQ(RowsOf(W().DiffTables), (QStringList{"Artist | Table ok", "Album | Fields not ok",
                                                 "ArtistNames | Table NOT ok"}));
  Pick(W().DiffTables, 1);
  EXPECT_EQ(ColumnOf(W().DiffFields, 1),
            (QStringList{"Field name OK  - Field type OK", "Field name OK  - Field type OK",
                         "Field name OK  - Field type NOT OK"}));
  EXPECT_GT(cube_.ChunkAcks(), 0);
}

TEST_F(CubeSqlWindowTest, ComparesAgainstMariaDbBothWays) {
  VANTRIX_REQUIRE_MARIADB(server);
  CreateMariaDbSchema(server, "vx_cube_music",
                      "CREATE TABLE Album (AlbumId INT, Title NVARCHAR(160), ArtistId INT);"
                      "CREATE TABLE Artist (ArtistId INT NOT NULL, Name NVARCHAR(120));"
                      "CREATE TABLE ArtistNames (Name VARCHAR(120));");
  FillCube(1);
  FillServer(2, server.host, server.port, "vx_cube_music", server.user, server.password);
  Connect(1);
  Connect(2);
  Compare();
  EXPECT_EQ(fake().messages, QStringList());
  EXPECT_EQ(ColumnOf(W().DiffTables, 1), (QStringList{"Table ok", "Table ok", "Table ok"}));

  FillServer(1, server.host, server.port, "vx_cube_music", server.user, server.password);
  FillCube(2);
  Connect(1);
  Connect(2);
  Compare();
  EXPECT_EQ(RowsOf(W().DiffTables),
            (QStringList{"Album | Table ok", "Artist | Table ok", "ArtistNames | Table ok"}));
}

// A Compare prepares and connects each side once, however many tables it
// compares: two connections to the server holding both sides, each logged
// in once and closed at the end, not two for every table.
TEST_F(CubeSqlWindowTest, ACompareOpensOneConnectionPerSideWhateverTheNumberOfTables) {
  std::string more;
  for (int i = 1; i <= 8; ++i) {
    more += "CREATE TABLE Extra" + std::to_string(i) + " (id INTEGER, label TEXT);";
  }
  cube_.Execute(more);
  FillCube(1);
  FillCube(2, QStringLiteral("RealServer"));
  Connect(1);
  Connect(2);
  ASSERT_EQ(Tables(1)->ListCount(), 11);
  ASSERT_EQ(Tables(2)->ListCount(), 11);

  const int connectionsBefore = cube_.Connections();
  const std::size_t requestsBefore = cube_.Requests().size();
  Compare();
  EXPECT_EQ(fake().messages, QStringList());
  EXPECT_EQ(ColumnOf(W().DiffTables, 1), QStringList(11, QStringLiteral("Table ok")));

  EXPECT_EQ(cube_.Connections() - connectionsBefore, 2);
  int logins = 0;
  int closes = 0;
  const auto requests = cube_.Requests();
  for (std::size_t i = requestsBefore; i < requests.size(); ++i) {
    if (requests[i].command == 1 && requests[i].selector == 20) ++logins;
    if (requests[i].command == 7) ++closes;
  }
  EXPECT_EQ(logins, 2);
  EXPECT_EQ(closes, 2);
}

TEST_F(CubeSqlWindowTest, FailuresShowTheServersOwnTextOnce) {
  TempSqlite sqlite(kSchema);
  ChooseSQLite(1, sqlite.path());
  Connect(1);
  FillCube(2);
  Connect(2);
  ASSERT_EQ(Tables(2)->ListCount(), 3);

  // A refused login: the server's text, verbatim; the list stays.
  Pass(2)->setText(QStringLiteral("wrong"));
  Connect(2);
  EXPECT_EQ(fake().messages, QStringList{FakeCubeSqlServer::kLoginRefusedText});
  EXPECT_EQ(Tables(2)->ListCount(), 3);

  // During Compare, one message for the side, every found table unchecked.
  fake().Reset();
  Compare();
  EXPECT_EQ(fake().messages, QStringList{FakeCubeSqlServer::kLoginRefusedText});
  EXPECT_EQ(ColumnOf(W().DiffTables, 1),
            (QStringList{"Table not checked", "Table not checked", "Table not checked"}));

  // Nothing listening on the port.
  fake().Reset();
  Pass(2)->setText(QStringLiteral("s3cret"));
  Port(2)->setText(QString::number(ClosedLoopbackPort()));
  Connect(2);
  ASSERT_EQ(fake().messages.size(), 1);
  EXPECT_TRUE(fake().messages[0].contains(QStringLiteral("Connection refused")))
      << fake().messages[0].toStdString();
}

}  // namespace
}  // namespace vantrix::test
