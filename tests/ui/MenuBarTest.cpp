// The Edit menu: its entries and shortcuts, the About entry handled by the
// main window, and the editing entries acting on the focused text field.
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QTest>

#include "WidgetTest.h"
#include "ui/AboutWin.h"
#include "ui/FinestraPrincipale.h"
#include "ui/MenuBar1.h"
#include "ui/toolkit/SingleInstance.h"

namespace vantrix::test {
namespace {

using ui::FinestraPrincipale;
using ui::MenuBar1;
using ui::Reach;

class MenuBarTest : public WidgetTest {
protected:
  MenuBar1& menus() { return *MenuBar1::Installed(); }

  // The main window, active, with the focus in a field holding `text`.
  QLineEdit* FocusedField(QLineEdit* FinestraPrincipale::*field, const QString& text) {
    FinestraPrincipale& window = Reach<FinestraPrincipale>();
    window.activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(&window));
    QLineEdit* line = window.*field;
    line->setText(text);
    line->setFocus();
    EXPECT_EQ(QApplication::focusWidget(), line);
    return line;
  }
};

TEST_F(MenuBarTest, EditMenuHoldsAboutAndTheEditingEntriesInOrder) {
  ASSERT_NE(MenuBar1::Installed(), nullptr);
  EXPECT_EQ(menus().EditMenu->title(), "&Edit");
  struct Entry {
    const char* name;
    const char* text;  // empty for a separator
    QKeySequence shortcut;
  };
  const Entry expected[] = {
      {"ArchivioAboutVantrix", "About Orvello Vantrix", {}},
      {"UntitledMenu1", "", {}},
      {"EditCut", "Cu&t", QKeySequence(Qt::CTRL | Qt::Key_X)},
      {"EditCopy", "&Copy", QKeySequence(Qt::CTRL | Qt::Key_C)},
      {"EditPaste", "&Paste", QKeySequence(Qt::CTRL | Qt::Key_V)},
      {"EditClear", "&Delete", {}},
      {"UntitledMenu0", "", {}},
      {"EditSelectAll", "Select &All", QKeySequence(Qt::CTRL | Qt::Key_A)},
  };
  const QList<QAction*> actions = menus().EditMenu->actions();
  ASSERT_EQ(actions.size(), static_cast<qsizetype>(std::size(expected)));
  for (std::size_t i = 0; i < std::size(expected); ++i) {
    const QAction* action = actions[static_cast<qsizetype>(i)];
    const Entry& entry = expected[i];
    EXPECT_EQ(action->objectName(), entry.name);
    EXPECT_EQ(action->isSeparator(), *entry.text == '\0') << entry.name;
    if (!action->isSeparator()) {
      EXPECT_EQ(action->text(), entry.text);
    }
    EXPECT_EQ(action->shortcut(), entry.shortcut) << entry.name;
    EXPECT_TRUE(action->isVisible()) << entry.name;
  }
  EXPECT_EQ(menus().ArchivioAboutVantrix->menuRole(), QAction::AboutRole);
}

TEST_F(MenuBarTest, MainWindowShowsTheFileAndEditMenus) {
  FinestraPrincipale& window = Reach<FinestraPrincipale>();
  const QList<QAction*> menusShown = window.menuBar()->actions();
  ASSERT_EQ(menusShown.size(), 2);
  EXPECT_EQ(menusShown[0]->menu(), menus().FileMenu);
  EXPECT_EQ(menusShown[1]->menu(), menus().EditMenu);
  // The bar sits above the content area, which keeps its 800 x 600.
  EXPECT_EQ(window.Content->size(), QSize(800, 600));
  EXPECT_EQ(window.Content->y(), window.menuBar()->height());
}

TEST_F(MenuBarTest, AboutEntryShowsTheAboutWindowOnlyThroughTheMainWindow) {
  menus().ArchivioAboutVantrix->trigger();
  EXPECT_EQ(ui::Existing<ui::AboutWin>(), nullptr) << "no main window, no handler";

  Reach<FinestraPrincipale>();
  menus().ArchivioAboutVantrix->trigger();
  ui::AboutWin* about = ui::Existing<ui::AboutWin>();
  ASSERT_NE(about, nullptr);
  EXPECT_TRUE(about->isVisible());
}

// The entry itself: Ctrl+A in a line edit is taken by the field before the
// menu sees it, so only the triggered action reaches our handler.
TEST_F(MenuBarTest, SelectAllEntrySelectsTheFocusedFieldOnly) {
  QLineEdit* server = FocusedField(&FinestraPrincipale::DB1server, "db.example.net");
  QLineEdit* user = Reach<FinestraPrincipale>().DB1user;
  user->setText("someone");
  ASSERT_FALSE(server->hasSelectedText());
  menus().EditSelectAll->trigger();
  EXPECT_EQ(server->selectedText(), "db.example.net");
  EXPECT_FALSE(user->hasSelectedText());
  EXPECT_EQ(user->text(), "someone");
}

TEST_F(MenuBarTest, EditingEntriesCutCopyPasteDeleteAndSelectInTheFocusedField) {
  QLineEdit* database = FocusedField(&FinestraPrincipale::DB2database, "sales");
  menus().EditSelectAll->trigger();
  EXPECT_EQ(database->selectedText(), "sales");

  menus().EditCopy->trigger();
  EXPECT_EQ(QApplication::clipboard()->text(), "sales");

  menus().EditCut->trigger();
  EXPECT_EQ(database->text(), "");

  menus().EditPaste->trigger();
  menus().EditPaste->trigger();
  EXPECT_EQ(database->text(), "salessales");

  database->setSelection(0, 5);
  menus().EditClear->trigger();
  EXPECT_EQ(database->text(), "sales");
  EXPECT_EQ(QApplication::clipboard()->text(), "sales") << "Delete leaves the clipboard";
}

// Qt itself never copies from a password field, so the clipboard cannot
// tell whether our handler refuses; the menu's own answer can. A cut that
// went through would also delete the selection (Qt's cut deletes it even
// where it does not copy).
TEST_F(MenuBarTest, PasswordFieldNeverHandsItsTextOut) {
  QLineEdit* pass = FocusedField(&FinestraPrincipale::DB1pass, "secret");
  pass->selectAll();
  Q_EMIT menus().EditMenu->aboutToShow();
  EXPECT_FALSE(menus().EditCut->isEnabled());
  EXPECT_FALSE(menus().EditCopy->isEnabled());
  EXPECT_TRUE(menus().EditClear->isEnabled()) << "deleting the selection hands nothing out";
  EXPECT_TRUE(menus().EditPaste->isEnabled());
  Q_EMIT menus().EditMenu->aboutToHide();

  // Closed, the entries are enabled for their shortcuts: the handler refuses.
  menus().EditCut->trigger();
  EXPECT_EQ(pass->text(), "secret");
  EXPECT_EQ(pass->selectedText(), "secret");
}

TEST_F(MenuBarTest, OpenMenuEnablesOnlyWhatTheFocusedFieldCanDo) {
  QLineEdit* server = FocusedField(&FinestraPrincipale::DB1server, "host");
  server->deselect();
  Q_EMIT menus().EditMenu->aboutToShow();
  EXPECT_FALSE(menus().EditCut->isEnabled());
  EXPECT_FALSE(menus().EditCopy->isEnabled());
  EXPECT_FALSE(menus().EditClear->isEnabled());
  EXPECT_TRUE(menus().EditPaste->isEnabled());
  EXPECT_TRUE(menus().EditSelectAll->isEnabled());
  EXPECT_TRUE(menus().ArchivioAboutVantrix->isEnabled());
  Q_EMIT menus().EditMenu->aboutToHide();
  EXPECT_TRUE(menus().EditCut->isEnabled()) << "closed, the shortcuts work again";
}

}  // namespace
}  // namespace vantrix::test
