// A list row's description: its tooltip and what assistive tools read for
// its cells, set by the window or by the core's field listing.
#include <optional>
#include <ostream>
#include <string>
#include <vector>

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
// its label, and the default as declared when the field has one; the rows
// themselves are as before.
TEST_F(RowDescriptionTest, FieldListingDescribesEachFieldsDeclaredTypeAndDefault) {
  using db::DatabaseField;
  struct Case {
    const char* name;
    const char* code;
    std::optional<std::string> declaredType;
    std::optional<std::string> declaredDefault;  // none: no default
    const char* label;
    const char* description;
  };
  const Case cases[] = {
      {"title", "5", "NVARCHAR(160)", std::nullopt, "5-Text or VarChar",
       "NVARCHAR(160) \u2192 5, Text or VarChar"},
      {"id", "3", "int(11)", std::nullopt, "3-Integer", "int(11) \u2192 3, Integer"},
      {"spot", "-1", "point", std::nullopt, "Unknown", "point \u2192 Unknown"},
      {"any", "0", "", std::nullopt, "0-Null", "(no declared type) \u2192 0, Null"},
      {"blank", "0", " ", std::nullopt, "0-Null", "(no declared type) \u2192 0, Null"},
      {"none", "0", std::nullopt, std::nullopt, "0-Null", "(no declared type) \u2192 0, Null"},
      {"big", "19", "BIGINT", std::nullopt, "19-Int64", "BIGINT \u2192 19, Int64"},
      {"beyond", "20", "odd", std::nullopt, "Unknown", "odd \u2192 Unknown"},
      {"state", "5", "varchar(30)", "'x'::character varying", "5-Text or VarChar",
       "varchar(30) \u2192 5, Text or VarChar default 'x'::character varying"},
      {"made", "10", "datetime", "current_timestamp()", "10-TimeStamp",
       "datetime \u2192 10, TimeStamp default current_timestamp()"},
      {"kept", "3", "INTEGER", "NULL", "3-Integer", "INTEGER \u2192 3, Integer default NULL"},
      {"loose", "0", std::nullopt, "0", "0-Null", "(no declared type) \u2192 0, Null default 0"},
  };
  std::vector<db::Row> rows;
  for (const Case& c : cases) {
    rows.push_back({DatabaseField(c.name), DatabaseField(c.code), DatabaseField(c.declaredType),
                    DatabaseField("0"), DatabaseField("0"), DatabaseField(c.declaredDefault)});
  }
  db::RecordSet fields(
      {"ColumnName", "FieldType", "DeclaredType", "NotNull", "PrimaryKey", "Default"},
      std::move(rows));
  db::FillFieldList(fields, list);
  ASSERT_EQ(list.ListCount(), static_cast<int>(std::size(cases)));
  for (int row = 0; row < list.ListCount(); ++row) {
    const Case& c = cases[row];
    EXPECT_EQ(list.Cell(row, 0), QString::fromUtf8(c.name));
    EXPECT_EQ(list.Cell(row, 1), QString::fromUtf8(c.label));
    EXPECT_EQ(list.RowDescription(row), QString::fromUtf8(c.description)) << c.name;
    EXPECT_EQ(AccessibleDescription(row, 1), QString::fromUtf8(c.description)) << c.name;
  }
}

}  // namespace
}  // namespace vantrix::test
