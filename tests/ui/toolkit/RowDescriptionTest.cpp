// A list row's description: its tooltip and what assistive tools read for
// its cells, set by the window or by the core's field listing.
#include <ostream>

#include <QAccessible>
#include <QAccessibleTableInterface>
#include <QApplication>
#include <QHelpEvent>
#include <QToolTip>

#include "WidgetTest.h"
#include "db/AppoggioMySQL.h"
#include "db/RecordSet.h"
#include "ui/toolkit/Listbox.h"

namespace vantrix::test {
namespace {

using ui::Listbox;

class RowDescriptionTest : public WidgetTest {
protected:
  Listbox list{{"Fields", "Type"}};

  // What a screen reader gets as the description of one cell.
  QString AccessibleDescription(int row, int column) {
    QAccessibleInterface* table = QAccessible::queryAccessibleInterface(&list);
    if (table == nullptr || table->tableInterface() == nullptr) return QStringLiteral("<no table>");
    QAccessibleInterface* cell = table->tableInterface()->cellAt(row, column);
    return cell != nullptr ? cell->text(QAccessible::Description) : QStringLiteral("<no cell>");
  }
  // The tooltip the list shows with the mouse resting on a cell; none when
  // the list and its parents leave the tooltip event unanswered.
  QString ToolTipOver(int row, int column) {
    const QPoint at = list.visualRect(list.model()->index(row, column)).center();
    QHelpEvent event(QEvent::ToolTip, at, list.viewport()->mapToGlobal(at));
    QApplication::sendEvent(list.viewport(), &event);
    return event.isAccepted() && QToolTip::isVisible() ? QToolTip::text() : QString();
  }
};

TEST_F(RowDescriptionTest, EveryCellOfTheRowCarriesItAsTooltipAndDescription) {
  list.resize(400, 200);
  list.show();
  list.AddRow("id");
  list.AddRow("name");
  const QString text = QStringLiteral("NVARCHAR(160) \u2192 5, Text or VarChar");
  list.SetRowDescription(1, text);
  EXPECT_EQ(list.RowDescription(1), text);
  EXPECT_EQ(list.RowDescription(0), "");
  for (int column : {0, 1}) {
    EXPECT_EQ(ToolTipOver(1, column), text) << column;
    EXPECT_EQ(AccessibleDescription(1, column), text) << column;
    EXPECT_EQ(ToolTipOver(0, column), "") << "a row without description shows none";
    EXPECT_EQ(AccessibleDescription(0, column), "");
  }

  // Changing a cell's text keeps the description; "" takes it away.
  list.SetCell(1, 1, QStringLiteral("3-Integer"));
  EXPECT_EQ(ToolTipOver(1, 1), text);
  list.SetRowDescription(1, QString());
  EXPECT_EQ(ToolTipOver(1, 0), "");
  EXPECT_EQ(AccessibleDescription(1, 1), "");

  // A new row in place of a deleted one starts without.
  list.SetRowDescription(0, text);
  list.DeleteAllRows();
  list.AddRow("other");
  EXPECT_EQ(list.RowDescription(0), "");
  EXPECT_EQ(ToolTipOver(0, 0), "");
  // Outside the list nothing happens.
  list.SetRowDescription(4, text);
  EXPECT_EQ(list.RowDescription(4), "");
  EXPECT_EQ(list.ListCount(), 1);
}

// The core's field listing describes each row by the declared type behind
// its label; the rows themselves are as before.
TEST_F(RowDescriptionTest, FieldListingDescribesEachFieldsDeclaredType) {
  using db::DatabaseField;
  db::RecordSet fields(
      {"ColumnName", "FieldType", "DeclaredType"},
      {{DatabaseField("title"), DatabaseField("5"), DatabaseField("NVARCHAR(160)")},
       {DatabaseField("id"), DatabaseField("3"), DatabaseField("int(11)")},
       {DatabaseField("spot"), DatabaseField("-1"), DatabaseField("point")},
       {DatabaseField("any"), DatabaseField("0"), DatabaseField("")},
       {DatabaseField("blank"), DatabaseField("0"), DatabaseField(" ")},
       {DatabaseField("none"), DatabaseField("0"), DatabaseField(std::nullopt)},
       {DatabaseField("big"), DatabaseField("19"), DatabaseField("BIGINT")},
       {DatabaseField("beyond"), DatabaseField("20"), DatabaseField("odd")}});
  db::FillFieldList(fields, list);
  struct Row {
    const char* name;
    const char* label;
    const char* description;
  };
  const Row expected[] = {
      {"title", "5-Text or VarChar", "NVARCHAR(160) \u2192 5, Text or VarChar"},
      {"id", "3-Integer", "int(11) \u2192 3, Integer"},
      {"spot", "Unknown", "point \u2192 Unknown"},
      {"any", "0-Null", "(no declared type) \u2192 0, Null"},
      {"blank", "0-Null", "(no declared type) \u2192 0, Null"},
      {"none", "0-Null", "(no declared type) \u2192 0, Null"},
      {"big", "19-Int64", "BIGINT \u2192 19, Int64"},
      {"beyond", "Unknown", "odd \u2192 Unknown"},
  };
  ASSERT_EQ(list.ListCount(), static_cast<int>(std::size(expected)));
  for (int row = 0; row < list.ListCount(); ++row) {
    const Row& e = expected[row];
    EXPECT_EQ(list.Cell(row, 0), QString::fromUtf8(e.name));
    EXPECT_EQ(list.Cell(row, 1), QString::fromUtf8(e.label));
    EXPECT_EQ(list.RowDescription(row), QString::fromUtf8(e.description)) << e.name;
    EXPECT_EQ(AccessibleDescription(row, 1), QString::fromUtf8(e.description)) << e.name;
  }
}

}  // namespace
}  // namespace vantrix::test
