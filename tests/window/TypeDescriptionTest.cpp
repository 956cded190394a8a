// The declared types behind the type labels and the field verdicts, as
// tooltips and accessible descriptions of the rows, end to end in the main
// window with a real SQLite file and the MariaDB test server.
#include <QTableWidgetItem>

#include "WindowFixture.h"
#include "support/MariaDbTestServer.h"
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

}  // namespace
}  // namespace vantrix::test
