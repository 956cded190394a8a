// The PostgreSQL engine in the main window, against the PostgreSQL and
// MariaDB test servers and SQLite files: the type menus, Connect, the lists,
// Compare and the field comparison.
#include <filesystem>

#include "WindowFixture.h"
#include "support/MariaDbTestServer.h"
#include "support/PostgresTestServer.h"
#include "support/TempSqlite.h"

namespace vantrix::test {
namespace {

const std::filesystem::path kChinook = VANTRIX_FIXTURES_DIR "/chinook";

std::string PostgresChinook() {
  return AfterPsqlConnect(ReadFile(kChinook / "Chinook_PostgreSql.schema.sql"));
}

class PostgreSQLWindowTest : public WindowTest {
protected:
  void FillPostgres(int side, const PostgresServer& server, const std::string& database) {
    FillServer(side, server.host, server.port, database, server.user, server.password,
               QStringLiteral("PostgreSQL"));
  }
  // The type labels of a side's field list for each of its tables in turn.
  QList<QStringList> FieldTypesOfEveryTable(int side) {
    QList<QStringList> types;
    for (int row = 0; row < Tables(side)->ListCount(); ++row) {
      Pick(Tables(side), row);
      types << ColumnOf(Fields(side), 1);
    }
    return types;
  }
};

TEST_F(PostgreSQLWindowTest, ChoosingPostgreSQLEnablesThePanelWithPort5432) {
  TempSqlite sqlite("CREATE TABLE t (a);");
  for (int side : {1, 2}) {
    ChooseSQLite(side, sqlite.path());
    ASSERT_FALSE(Server(side)->isEnabled());
    ASSERT_TRUE(File(side).has_value());

    ChooseType(side, QStringLiteral("PostgreSQL"));
    EXPECT_EQ(Type(side)->currentText(), QStringLiteral("PostgreSQL"));
    EXPECT_EQ(Port(side)->text(), QStringLiteral("5432"));
    EXPECT_FALSE(File(side).has_value());
    for (QLineEdit* field : {Server(side), Database(side), User(side), Pass(side), Port(side)}) {
      EXPECT_TRUE(field->isEnabled()) << field->objectName().toStdString();
    }
    ChooseType(side, QStringLiteral("Mysql"));
    EXPECT_EQ(Port(side)->text(), QStringLiteral("3306"));
    ChooseType(side, QStringLiteral("PostgreSQL"));
    EXPECT_EQ(Port(side)->text(), QStringLiteral("5432"));
  }
}

TEST_F(PostgreSQLWindowTest, ConnectListsTablesAndFieldsOrShowsTheServersMessage) {
  VANTRIX_REQUIRE_POSTGRES(server);
  CreatePostgresDatabase(
      server, "vx_pgw_list",
      "CREATE TABLE \"Users\" (id int PRIMARY KEY, tags text[], seen timestamptz);"
      "CREATE TABLE users (x real);"
      "CREATE VIEW names AS SELECT id FROM \"Users\";");
  FillPostgres(1, server, "vx_pgw_list");
  Connect(1);
  EXPECT_EQ(fake().messages, QStringList());
  EXPECT_EQ(ColumnOf(Tables(1)), (QStringList{"Users", "names", "users"}));
  Pick(Tables(1), 0);
  EXPECT_EQ(RowsOf(Fields(1)),
            (QStringList{"id | 3-Integer", "tags | Unknown", "seen | 10-TimeStamp"}));
  Pick(Tables(1), 2);
  EXPECT_EQ(RowsOf(Fields(1)), QStringList{"x | 6-Float"});

  Pass(1)->setText(QStringLiteral("not-the-password"));
  Connect(1);
  ASSERT_EQ(fake().messages.size(), 1);
  EXPECT_TRUE(fake().messages[0].contains(QStringLiteral("password authentication failed")))
      << fake().messages[0].toStdString();
  EXPECT_EQ(ColumnOf(Tables(1)), (QStringList{"Users", "names", "users"}));
}

// The PostgreSQL flavour of Chinook spells its names in lower case with
// underscores (album.album_id) where MySQL's says Album.AlbumId: the tables
// whose names differ only in letter case are found, but no field name
// matches; invoice_line, media_type and playlist_track have no counterpart
// at all (InvoiceLine, MediaType, PlaylistTrack). The field types agree
// position by position: INT, VARCHAR/NVARCHAR, TIMESTAMP/DATETIME, NUMERIC.
TEST_F(PostgreSQLWindowTest, ChinookInPostgreSQLAgainstChinookInMariaDb) {
  VANTRIX_REQUIRE_POSTGRES(pg);
  VANTRIX_REQUIRE_MARIADB(maria);
  CreatePostgresDatabase(pg, "vx_pgw_chinook", PostgresChinook());
  CreateMariaDbSchema(maria, "vx_pgw_chinook", test::ChinookMySqlScript());

  FillPostgres(1, pg, "vx_pgw_chinook");
  FillServer(2, maria.host, maria.port, "vx_pgw_chinook", maria.user, maria.password);
  Connect(1);
  Connect(2);
  ASSERT_EQ(fake().messages, QStringList());
  ASSERT_EQ(ColumnOf(Tables(1)),
            (QStringList{"album", "artist", "customer", "employee", "genre", "invoice",
                         "invoice_line", "media_type", "playlist", "playlist_track", "track"}));
  ASSERT_EQ(ColumnOf(Tables(2)),
            (QStringList{"Album", "Artist", "Customer", "Employee", "Genre", "Invoice",
                         "InvoiceLine", "MediaType", "Playlist", "PlaylistTrack", "Track"}));
  Compare();
  EXPECT_EQ(fake().messages, QStringList());
  EXPECT_EQ(
      RowsOf(W().DiffTables),
      (QStringList{"album | " + kDiffer, "artist | " + kDiffer, "customer | " + kDiffer,
                   "employee | " + kDiffer, "genre | " + kDiffer, "invoice | " + kDiffer,
                   "invoice_line | " + kMissing, "media_type | " + kMissing,
                   "playlist | " + kDiffer, "playlist_track | " + kMissing, "track | " + kDiffer}));
  Select(4);
  EXPECT_EQ(RowsOf(W().DiffFields),
            (QStringList{"genre_id | " + kNameMissing, "name | " + kNameMissing}));

  // The types agree, table by table and field by field.
  Pick(Tables(1), 3);
  EXPECT_EQ(ColumnOf(Fields(1), 1),
            (QStringList{"3-Integer", "5-Text or VarChar", "5-Text or VarChar", "5-Text or VarChar",
                         "3-Integer", "10-TimeStamp", "10-TimeStamp", "5-Text or VarChar",
                         "5-Text or VarChar", "5-Text or VarChar", "5-Text or VarChar",
                         "5-Text or VarChar", "5-Text or VarChar", "5-Text or VarChar",
                         "5-Text or VarChar"}));
  EXPECT_EQ(FieldTypesOfEveryTable(1), FieldTypesOfEveryTable(2));

  // The other way round: each side is asked under its own spelling.
  fake().Reset();
  FillServer(1, maria.host, maria.port, "vx_pgw_chinook", maria.user, maria.password);
  FillPostgres(2, pg, "vx_pgw_chinook");
  Connect(1);
  Connect(2);
  Compare();
  EXPECT_EQ(fake().messages, QStringList());
  EXPECT_EQ(
      RowsOf(W().DiffTables),
      (QStringList{"Album | " + kDiffer, "Artist | " + kDiffer, "Customer | " + kDiffer,
                   "Employee | " + kDiffer, "Genre | " + kDiffer, "Invoice | " + kDiffer,
                   "InvoiceLine | " + kMissing, "MediaType | " + kMissing, "Playlist | " + kDiffer,
                   "PlaylistTrack | " + kMissing, "Track | " + kDiffer}));
  Select(0);
  EXPECT_EQ(RowsOf(W().DiffFields),
            (QStringList{"AlbumId | " + kNameMissing, "Title | " + kNameMissing,
                         "ArtistId | " + kNameMissing}));
}

TEST_F(PostgreSQLWindowTest, ChinookInSQLiteAgainstChinookInPostgreSQL) {
  VANTRIX_REQUIRE_POSTGRES(pg);
  CreatePostgresDatabase(pg, "vx_pgw_chinook_sqlite", PostgresChinook());
  TempSqlite sqlite(ReadFile(kChinook / "Chinook_Sqlite.schema.sql"));

  ChooseSQLite(1, sqlite.path());
  FillPostgres(2, pg, "vx_pgw_chinook_sqlite");
  Connect(1);
  Connect(2);
  Compare();
  EXPECT_EQ(fake().messages, QStringList());
  EXPECT_EQ(
      RowsOf(W().DiffTables),
      (QStringList{"Album | " + kDiffer, "Artist | " + kDiffer, "Customer | " + kDiffer,
                   "Employee | " + kDiffer, "Genre | " + kDiffer, "Invoice | " + kDiffer,
                   "InvoiceLine | " + kMissing, "MediaType | " + kMissing, "Playlist | " + kDiffer,
                   "PlaylistTrack | " + kMissing, "Track | " + kDiffer}));
  Select(10);
  EXPECT_EQ(ColumnOf(W().DiffFields),
            (QStringList{"TrackId", "Name", "AlbumId", "MediaTypeId", "GenreId", "Composer",
                         "Milliseconds", "Bytes", "UnitPrice"}));
  for (const QString& note : ColumnOf(W().DiffFields, 1)) EXPECT_EQ(note, kNameMissing);
  Select(6);
  EXPECT_EQ(fake().messages,
            QStringList{QStringLiteral("It is not possible to compare a 'not ok' table, sorry")});
  EXPECT_EQ(FieldTypesOfEveryTable(1), FieldTypesOfEveryTable(2));

  // The other way round.
  fake().Reset();
  FillPostgres(1, pg, "vx_pgw_chinook_sqlite");
  ChooseSQLite(2, sqlite.path());
  Connect(1);
  Connect(2);
  Compare();
  EXPECT_EQ(fake().messages, QStringList());
  EXPECT_EQ(ColumnOf(W().DiffTables, 1),
            (QStringList{kDiffer, kDiffer, kDiffer, kDiffer, kDiffer, kDiffer, kMissing, kMissing,
                         kDiffer, kMissing, kDiffer}));
}

// Two PostgreSQL databases: Chinook, and Chinook changed here and there.
TEST_F(PostgreSQLWindowTest, TwoPostgreSQLDatabasesWithDifferences) {
  VANTRIX_REQUIRE_POSTGRES(pg);
  const std::string feelings = "CREATE TYPE mood AS ENUM ('sad', 'happy');";
  CreatePostgresDatabase(
      pg, "vx_pgw_pair1",
      PostgresChinook() + feelings + "CREATE TABLE feelings (m mood, tags text[]);");
  CreatePostgresDatabase(pg, "vx_pgw_pair2",
                         PostgresChinook() + feelings +
                             "CREATE TABLE feelings (m mood, tags integer[]);"
                             "CREATE TABLE only_here (z int);"
                             "ALTER TABLE album ALTER COLUMN title TYPE uuid USING NULL;"
                             "ALTER TABLE artist ADD COLUMN born date;"
                             "ALTER TABLE genre RENAME COLUMN name TO label;"
                             "ALTER TABLE media_type ALTER COLUMN name TYPE text;"
                             "ALTER TABLE invoice ALTER COLUMN total TYPE numeric(12,4);"
                             "DROP TABLE playlist_track;"
                             "ALTER TABLE track ALTER COLUMN bytes TYPE bigint;");
  FillPostgres(1, pg, "vx_pgw_pair1");
  FillPostgres(2, pg, "vx_pgw_pair2");
  Connect(1);
  Connect(2);
  Compare();
  EXPECT_EQ(fake().messages, QStringList());
  // album: title is a uuid, a type outside the table, against varchar.
  // artist: a field more on DB 2 does not count. media_type and invoice:
  // text and varchar are one type, and so are numerics of any size.
  EXPECT_EQ(
      RowsOf(W().DiffTables),
      (QStringList{"album | " + kDiffer, "artist | " + kOk, "customer | " + kOk,
                   "employee | " + kOk, "feelings | " + kDiffer, "genre | " + kDiffer,
                   "invoice | " + kOk, "invoice_line | " + kOk, "media_type | " + kOk,
                   "playlist | " + kOk, "playlist_track | " + kMissing, "track | " + kDiffer}));
  Select(0);
  EXPECT_EQ(RowsOf(W().DiffFields), (QStringList{"album_id | " + kBothOk, "title | " + kTypeDiffers,
                                                 "artist_id | " + kBothOk}));
  // The same enum agrees with itself; arrays of other element types do not.
  Select(4);
  EXPECT_EQ(RowsOf(W().DiffFields), (QStringList{"m | " + kBothOk, "tags | " + kTypeDiffers}));
  Select(5);
  EXPECT_EQ(RowsOf(W().DiffFields),
            (QStringList{"genre_id | " + kBothOk, "name | " + kNameMissing}));
  Select(11);
  EXPECT_EQ(ColumnOf(W().DiffFields, 1), (QStringList{kBothOk, kBothOk, kBothOk, kBothOk, kBothOk,
                                                      kBothOk, kBothOk, kTypeDiffers, kBothOk}));
  EXPECT_EQ(fake().messages, QStringList());
}

}  // namespace
}  // namespace vantrix::test
