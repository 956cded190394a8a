// The declared types and defaults behind the type labels and the field
// verdicts, as tooltips and accessible descriptions of the rows, end to end
// in the main window with real SQLite files, the MariaDB and PostgreSQL
// test servers and the cubeSQL test server.
#include <QTableWidgetItem>

#include "FakeCubeSqlServer.h"
#include "WindowFixture.h"
#include "support/MariaDbTestServer.h"
#include "support/PostgresTestServer.h"
#include "support/TempSqlite.h"

namespace vantrix::test {
namespace {

class TypeDescriptionTest : public WindowTest {
protected:
  // Every row as "cell0 | cell1 | description". The description is the
  // row's tooltip and accessible description, the same on every cell; a
  // cell that disagrees shows up as a row of its own.
  static QStringList DescribedRowsOf(const ui::Listbox* list) {
    QStringList rows;
    for (int row = 0; row < list->ListCount(); ++row) {
      const QString tooltip = list->item(row, 0)->data(Qt::ToolTipRole).toString();
      rows << list->Cell(row, 0) + QStringLiteral(" | ") + list->Cell(row, 1) +
                  QStringLiteral(" | ") + tooltip;
      for (int column = 0; column < list->columnCount(); ++column) {
        const QTableWidgetItem* cell = list->item(row, column);
        for (int role : {int(Qt::ToolTipRole), int(Qt::AccessibleDescriptionRole)}) {
          if (cell->data(role).toString() != tooltip) {
            rows << QStringLiteral("cell %1,%2 role %3 differs: ").arg(row).arg(column).arg(role) +
                        cell->data(role).toString();
          }
        }
      }
    }
    return rows;
  }
  void SelectTable(int side, const QString& name) {
    ui::Listbox* tables = Tables(side);
    const int row = ColumnOf(tables).indexOf(name);
    ASSERT_GE(row, 0) << name.toStdString();
    Pick(tables, row);
  }
};

TEST_F(TypeDescriptionTest, SQLiteAgainstMariaDbShowsTheDeclaredTypesBehindEachRow) {
  VANTRIX_REQUIRE_MARIADB(server);
  CreateMariaDbSchema(server, "vx_type_tips",
                      "CREATE TABLE Artist (ArtistId int(11), Name varchar(120), Born datetime, "
                      "Spot point);"
                      "CREATE TABLE Gone (x int);");
  TempSqlite db1(
      "CREATE TABLE Artist (ArtistId INTEGER, Name NVARCHAR(160), Born DATE, Spot point, Note);"
      "CREATE TABLE Gone (x INTEGER);");
  ChooseSQLite(1, db1.path());
  Connect(1);
  FillServer(2, server.host, server.port, "vx_type_tips", server.user, server.password);
  Connect(2);

  // Each side's field list: name, type label, and the declaration behind it.
  SelectTable(1, QStringLiteral("Artist"));
  EXPECT_EQ(
      DescribedRowsOf(Fields(1)),
      (QStringList{
          QStringLiteral("ArtistId | 3-Integer | INTEGER \u2192 3, Integer"),
          QStringLiteral("Name | 5-Text or VarChar | NVARCHAR(160) \u2192 5, Text or VarChar"),
          QStringLiteral("Born | 8-Date | DATE \u2192 8, Date"),
          // SQLite's affinity rules: "point" holds "INT".
          QStringLiteral("Spot | 3-Integer | point \u2192 3, Integer"),
          QStringLiteral("Note | 0-Null | (no declared type) \u2192 0, Null"),
      }));
  SelectTable(2, QStringLiteral("Artist"));
  EXPECT_EQ(DescribedRowsOf(Fields(2)),
            (QStringList{
                QStringLiteral("ArtistId | 3-Integer | int(11) \u2192 3, Integer"),
                QStringLiteral("Name | 5-Text or VarChar | varchar(120) \u2192 5, Text or VarChar"),
                QStringLiteral("Born | 10-TimeStamp | datetime \u2192 10, TimeStamp"),
                QStringLiteral("Spot | Unknown | point \u2192 Unknown"),
            }));

  // The field comparison: both sides' declarations behind each verdict.
  Compare();
  ASSERT_EQ(RowsOf(W().DiffTables), (QStringList{QStringLiteral("Artist | Fields not ok"),
                                                 QStringLiteral("Gone | Table ok")}));
  Pick(W().DiffTables, 0);
  EXPECT_EQ(
      DescribedRowsOf(W().DiffFields),
      (QStringList{
          "ArtistId | " + kBothOk +
              QStringLiteral(
                  " | DB 1: INTEGER \u2192 3 Integer \u00B7 DB 2: int(11) \u2192 3 Integer"),
          "Name | " + kBothOk +
              QStringLiteral(" | DB 1: NVARCHAR(160) \u2192 5 Text or VarChar \u00B7 DB 2: "
                             "varchar(120) \u2192 5 Text or VarChar"),
          "Born | " + kTypeDiffers +
              QStringLiteral(
                  " | DB 1: DATE \u2192 8 Date \u00B7 DB 2: datetime \u2192 10 TimeStamp"),
          // Same declaration: the unknown type agrees though the codes differ.
          "Spot | " + kBothOk +
              QStringLiteral(" | DB 1: point \u2192 3 Integer \u00B7 DB 2: point \u2192 Unknown"),
          "Note | " + kNameMissing +
              QStringLiteral(" | DB 1: (no declared type) \u2192 0 Null \u00B7 not in DB 2"),
      }));
  EXPECT_EQ(fake().messages, QStringList());

  // A notice row has no declarations behind it, and gets no description.
  RunMariaDbSql(server, "DROP TABLE vx_type_tips.Gone;");
  Pick(W().DiffTables, 1);
  EXPECT_EQ(DescribedRowsOf(W().DiffFields),
            QStringList{QStringLiteral("Selected table on DB2 has no fields |  | ")});
  EXPECT_EQ(fake().messages, QStringList());
}

// One engine's table "d" as the window describes it: a field with a
// default and one without.
struct DefaultsSide {
  const char* engine;
  // The field list, "name | label | tooltip".
  QStringList fields;
  // Each field's side of the field comparison's tooltip.
  QString withDefault;
  QString withoutDefault;
};

// The field list and the field comparison name a field's default after its
// type, as its engine declares it, and nothing for a field without one;
// the rows stay as they were. Each engine on each side.
TEST_F(TypeDescriptionTest, FieldsWithADefaultShowItAfterTheirType) {
  VANTRIX_REQUIRE_MARIADB(maria);
  VANTRIX_REQUIRE_POSTGRES(postgres);
  const std::string table = "CREATE TABLE d (s varchar(30) DEFAULT 'x', plain text);";
  CreateMariaDbSchema(maria, "vx_default_tips", table);
  CreatePostgresDatabase(postgres, "vx_default_tips", table);
  FakeCubeSqlServer cube("admin", "s3cret", "music");
  cube.Execute("CREATE TABLE d (s NVARCHAR(30) DEFAULT 'it''s', plain TEXT);");
  TempSqlite sqlite("CREATE TABLE d (s VARCHAR(30) DEFAULT CURRENT_DATE, plain TEXT);");

  const DefaultsSide kSqlite{
      "SQLite",
      {QStringLiteral("s | 5-Text or VarChar | VARCHAR(30) \u2192 5, Text or VarChar default "
                      "CURRENT_DATE"),
       QStringLiteral("plain | 5-Text or VarChar | TEXT \u2192 5, Text or VarChar")},
      QStringLiteral("VARCHAR(30) \u2192 5 Text or VarChar default CURRENT_DATE"),
      QStringLiteral("TEXT \u2192 5 Text or VarChar")};
  const DefaultsSide kMariaDb{
      "MariaDB",
      {QStringLiteral("s | 5-Text or VarChar | varchar(30) \u2192 5, Text or VarChar default 'x'"),
       QStringLiteral("plain | 5-Text or VarChar | text \u2192 5, Text or VarChar")},
      QStringLiteral("varchar(30) \u2192 5 Text or VarChar default 'x'"),
      QStringLiteral("text \u2192 5 Text or VarChar")};
  const DefaultsSide kPostgres{
      "PostgreSQL",
      {QStringLiteral("s | 5-Text or VarChar | character varying(30) \u2192 5, Text or VarChar "
                      "default 'x'::character varying"),
       QStringLiteral("plain | 5-Text or VarChar | text \u2192 5, Text or VarChar")},
      QStringLiteral(
          "character varying(30) \u2192 5 Text or VarChar default 'x'::character varying"),
      QStringLiteral("text \u2192 5 Text or VarChar")};
  const DefaultsSide kCube{
      "cubeSQL",
      {QStringLiteral("s | 5-Text or VarChar | NVARCHAR(30) \u2192 5, Text or VarChar default "
                      "'it''s'"),
       QStringLiteral("plain | 5-Text or VarChar | TEXT \u2192 5, Text or VarChar")},
      QStringLiteral("NVARCHAR(30) \u2192 5 Text or VarChar default 'it''s'"),
      QStringLiteral("TEXT \u2192 5 Text or VarChar")};
  const auto open = [&](int side, const DefaultsSide& engine) {
    const std::string name = engine.engine;
    if (name == "SQLite") {
      ChooseSQLite(side, sqlite.path());
    } else if (name == "MariaDB") {
      FillServer(side, maria.host, maria.port, "vx_default_tips", maria.user, maria.password);
    } else if (name == "PostgreSQL") {
      FillServer(side, postgres.host, postgres.port, "vx_default_tips", postgres.user,
                 postgres.password, QStringLiteral("PostgreSQL"));
    } else {
      FillServer(side, "127.0.0.1", cube.Port(), "music", "admin", "s3cret",
                 QStringLiteral("CubeSQLserver"));
    }
    Connect(side);
  };

  const std::pair<const DefaultsSide*, const DefaultsSide*> cases[] = {
      {&kSqlite, &kMariaDb}, {&kMariaDb, &kPostgres}, {&kPostgres, &kCube}, {&kCube, &kSqlite}};
  for (const auto& [db1, db2] : cases) {
    SCOPED_TRACE(std::string(db1->engine) + " against " + db2->engine);
    open(1, *db1);
    open(2, *db2);
    SelectTable(1, QStringLiteral("d"));
    EXPECT_EQ(DescribedRowsOf(Fields(1)), db1->fields);
    SelectTable(2, QStringLiteral("d"));
    EXPECT_EQ(DescribedRowsOf(Fields(2)), db2->fields);

    Compare();
    ASSERT_EQ(RowsOf(W().DiffTables), QStringList{QStringLiteral("d | Table ok")});
    Pick(W().DiffTables, 0);
    EXPECT_EQ(DescribedRowsOf(W().DiffFields),
              (QStringList{"s | " + kBothOk + " | DB 1: " + db1->withDefault +
                               QStringLiteral(" \u00B7 DB 2: ") + db2->withDefault,
                           "plain | " + kBothOk + " | DB 1: " + db1->withoutDefault +
                               QStringLiteral(" \u00B7 DB 2: ") + db2->withoutDefault}));
    EXPECT_EQ(fake().messages, QStringList());
  }
}

}  // namespace
}  // namespace vantrix::test
