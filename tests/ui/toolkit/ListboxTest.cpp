// The list control: rows and cells, selection and its Change signal, row
// pictures and heights, its fixed look, and the core filling it.
#include <QApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>

#include "WidgetTest.h"
#include "db/AppoggioMySQL.h"
#include "db/RecordSet.h"
#include "ui/toolkit/Listbox.h"
#include "ui/toolkit/Picture.h"

namespace vantrix::test {
namespace {

using ui::Listbox;

class ListboxTest : public WidgetTest {
protected:
  Listbox list{{"Table", "Note"}};
  QSignalSpy changes{&list, &Listbox::Change};

  void AddRows(std::initializer_list<const char*> names) {
    for (const char* name : names) list.AddRow(name);
  }
};

TEST_F(ListboxTest, RowsAndCells) {
  EXPECT_EQ(list.ListCount(), 0);
  EXPECT_EQ(list.LastIndex(), -1);
  AddRows({"albums", "tracks"});
  EXPECT_EQ(list.ListCount(), 2);
  EXPECT_EQ(list.LastIndex(), 1);
  EXPECT_EQ(list.Cell(0, 0), "albums");
  EXPECT_EQ(list.Cell(1, 1), "");
  list.SetCell(1, 1, "Table ok");
  EXPECT_EQ(list.Cell(1, 1), "Table ok");
  // Outside the list: nothing to read, nothing written.
  list.SetCell(5, 0, "nowhere");
  EXPECT_EQ(list.Cell(5, 0), "");
  EXPECT_EQ(list.Cell(0, 7), "");
  EXPECT_EQ(list.ListCount(), 2);

  list.DeleteAllRows();
  EXPECT_EQ(list.ListCount(), 0);
  EXPECT_EQ(list.LastIndex(), -1);
  list.AddRow("again");
  EXPECT_EQ(list.LastIndex(), 0);
  EXPECT_EQ(list.Cell(0, 0), "again");
}

TEST_F(ListboxTest, OneSelectedRowAtATimeEachChangeSignalled) {
  AddRows({"a", "b", "c"});
  EXPECT_EQ(list.ListIndex(), -1);
  EXPECT_EQ(changes.count(), 0) << "adding rows is no selection change";

  list.SetListIndex(1);
  EXPECT_EQ(list.ListIndex(), 1);
  EXPECT_TRUE(list.Selected(1));
  EXPECT_EQ(changes.count(), 1);

  list.SetSelected(2, true);
  EXPECT_EQ(list.ListIndex(), 2);
  EXPECT_FALSE(list.Selected(1));
  EXPECT_EQ(changes.count(), 2);

  list.SetSelected(2, false);
  EXPECT_EQ(list.ListIndex(), -1);
  EXPECT_EQ(changes.count(), 3);

  list.SetListIndex(0);
  list.SetListIndex(-1);
  EXPECT_EQ(list.ListIndex(), -1);
  EXPECT_FALSE(list.Selected(0));
  EXPECT_FALSE(list.Selected(42));
  EXPECT_EQ(changes.count(), 5);
}

TEST_F(ListboxTest, ClickSelectsTheRowUnderTheMouse) {
  list.resize(300, 200);
  list.show();
  AddRows({"a", "b", "c"});
  const QRect second = list.visualRect(list.model()->index(1, 1));
  QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, second.center());
  EXPECT_EQ(list.ListIndex(), 1);
  EXPECT_EQ(changes.count(), 1);
}

TEST_F(ListboxTest, RowPicturesAreKeptPerRow) {
  AddRows({"a", "b"});
  const QPixmap& ok = ui::Picture("ok.jpg");
  list.SetRowPicture(1, ok);
  EXPECT_EQ(list.RowPicture(1).cacheKey(), ok.cacheKey());
  EXPECT_TRUE(list.RowPicture(0).isNull());
  EXPECT_FALSE(list.item(1, 0)->icon().isNull());
  list.SetRowPicture(1, QPixmap());
  EXPECT_TRUE(list.RowPicture(1).isNull());
}

TEST_F(ListboxTest, DefaultRowHeightIsEveryRowsHeight) {
  AddRows({"a", "b"});
  for (int height : {14, 30}) {
    list.SetDefaultRowHeight(height);
    EXPECT_EQ(list.DefaultRowHeight(), height);
    EXPECT_EQ(list.rowHeight(0), height);
    list.AddRow("more");
    EXPECT_EQ(list.rowHeight(list.LastIndex()), height);
  }
}

TEST_F(ListboxTest, EqualFixedColumnsNoSortingNoHorizontalScrollingNotInTabOrder) {
  list.resize(300, 120);
  list.show();
  for (int i = 0; i < 40; ++i) list.AddRow(QStringLiteral("row %1 with a rather long name").arg(i));
  QCoreApplication::processEvents();
  EXPECT_EQ(list.columnWidth(0), list.columnWidth(1));
  EXPECT_EQ(list.horizontalHeader()->sectionResizeMode(0), QHeaderView::Stretch);
  EXPECT_EQ(list.horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
  EXPECT_TRUE(list.verticalScrollBar()->isVisible()) << "forty rows need it";
  EXPECT_FALSE(list.isSortingEnabled());
  EXPECT_FALSE(list.horizontalHeader()->isHidden());
  EXPECT_EQ(list.selectionMode(), QAbstractItemView::SingleSelection);
  EXPECT_EQ(list.focusPolicy() & Qt::TabFocus, 0);
}

// Rows cannot be edited in place: neither F2 on the current row nor a double
// click opens an editor on it.
TEST_F(ListboxTest, NoEditorOpensOnARow) {
  list.resize(300, 120);
  list.show();
  AddRows({"albums", "tracks"});
  list.SetListIndex(0);
  ASSERT_EQ(list.currentIndex(), list.model()->index(0, 0));
  list.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&list));
  list.setFocus();
  ASSERT_EQ(QApplication::focusWidget(), &list);

  QTest::keyClick(&list, Qt::Key_F2);
  EXPECT_EQ(list.findChild<QLineEdit*>(), nullptr) << "F2 opened an editor";
  EXPECT_EQ(QApplication::focusWidget(), &list);

  QTest::mouseDClick(list.viewport(), Qt::LeftButton, {},
                     list.visualRect(list.model()->index(1, 0)).center());
  EXPECT_EQ(list.findChild<QLineEdit*>(), nullptr) << "a double click opened an editor";
  EXPECT_EQ(QApplication::focusWidget(), &list);
  EXPECT_EQ(list.Cell(0, 0), "albums");
  EXPECT_EQ(list.Cell(1, 0), "tracks");
}

TEST_F(ListboxTest, CoreFillsItThroughListRows) {
  db::RecordSet records({"name", "note"},
                        {{db::DatabaseField("albums"), db::DatabaseField("x")},
                         {db::DatabaseField("caf\xc3\xa9"), db::DatabaseField(std::nullopt)}});
  list.AddRow("old row");
  db::ListRows& rows = list;
  rows.DeleteAllRows();
  db::AppoggioMySQL::popolalista(records, rows);
  ASSERT_EQ(list.ListCount(), 2);
  EXPECT_EQ(list.Cell(0, 0), "albums");
  EXPECT_EQ(list.Cell(0, 1), "x");
  EXPECT_EQ(list.Cell(1, 0), QString::fromUtf8("caf\xc3\xa9"));
  EXPECT_EQ(list.Cell(1, 1), "");
  EXPECT_EQ(list.LastIndex(), 1);
}

}  // namespace
}  // namespace vantrix::test
