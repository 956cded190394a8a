#include "ui/MenuBar1.h"

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QTextEdit>

namespace vantrix::ui {

namespace {

MenuBar1* installed = nullptr;

enum class Edit { Cut, Copy, Paste, Clear, SelectAll };

// Carries out an editing command on a widget, answering whether it could.
// With dryRun, only answers whether it could.
bool EditWidget(QWidget* widget, Edit command, bool dryRun) {
  if (auto* line = qobject_cast<QLineEdit*>(widget)) {
    const bool selection = line->hasSelectedText();
    const bool writable = !line->isReadOnly();
    // A password field never hands its text out.
    const bool secret = line->echoMode() != QLineEdit::Normal;
    switch (command) {
      case Edit::Cut:
        if (!selection || !writable || secret) return false;
        if (!dryRun) line->cut();
        return true;
      case Edit::Copy:
        if (!selection || secret) return false;
        if (!dryRun) line->copy();
        return true;
      case Edit::Paste:
        if (!writable) return false;
        if (!dryRun) line->paste();
        return true;
      case Edit::Clear:
        if (!selection || !writable) return false;
        if (!dryRun) line->del();
        return true;
      case Edit::SelectAll:
        if (line->text().isEmpty()) return false;
        if (!dryRun) line->selectAll();
        return true;
    }
    return false;
  }
  auto* plain = qobject_cast<QPlainTextEdit*>(widget);
  auto* rich = qobject_cast<QTextEdit*>(widget);
  if (plain == nullptr && rich == nullptr) return false;
  const QTextCursor cursor = plain != nullptr ? plain->textCursor() : rich->textCursor();
  const bool selection = cursor.hasSelection();
  const bool writable = plain != nullptr ? !plain->isReadOnly() : !rich->isReadOnly();
  switch (command) {
    case Edit::Cut:
      if (!selection || !writable) return false;
      if (!dryRun) plain != nullptr ? plain->cut() : rich->cut();
      return true;
    case Edit::Copy:
      if (!selection) return false;
      if (!dryRun) plain != nullptr ? plain->copy() : rich->copy();
      return true;
    case Edit::Paste:
      if (!writable) return false;
      if (!dryRun) plain != nullptr ? plain->paste() : rich->paste();
      return true;
    case Edit::Clear:
      if (!selection || !writable) return false;
      if (!dryRun) {
        QTextCursor edit = cursor;
        edit.removeSelectedText();
        plain != nullptr ? plain->setTextCursor(edit) : rich->setTextCursor(edit);
      }
      return true;
    case Edit::SelectAll:
      if (!dryRun) plain != nullptr ? plain->selectAll() : rich->selectAll();
      return true;
  }
  return false;
}

QAction* Separator(QMenu* menu) {
  QAction* separator = menu->addSeparator();
  return separator;
}

}  // namespace

MenuBar1::MenuBar1(QObject* parent)
    : QObject(parent),
      FileMenu(new QMenu(QStringLiteral("&File"))),
      EditMenu(new QMenu(QStringLiteral("&Edit"))) {
  FileMenu->setObjectName(QStringLiteral("FileMenu"));
  FileExportReport = FileMenu->addAction(QStringLiteral("Export Report…"));
  FileExportReport->setObjectName(QStringLiteral("FileExportReport"));
  FileExportReport->setMenuRole(QAction::NoRole);
  // Nothing to export until a Compare has read both schemas.
  FileExportReport->setEnabled(false);
  FileMenu->addSeparator();
  FileQuit = FileMenu->addAction(QStringLiteral("&Quit"));
  FileQuit->setObjectName(QStringLiteral("FileQuit"));
  FileQuit->setShortcut(QKeySequence::Quit);
  // Qt moves it to the application menu on macOS.
  FileQuit->setMenuRole(QAction::QuitRole);

  EditMenu->setObjectName(QStringLiteral("EditMenu"));

  ArchivioAboutVantrix = EditMenu->addAction(QStringLiteral("About Orvello Vantrix"));
  ArchivioAboutVantrix->setObjectName(QStringLiteral("ArchivioAboutVantrix"));
  // Qt moves it to the application menu on macOS; elsewhere it stays in Edit.
  ArchivioAboutVantrix->setMenuRole(QAction::AboutRole);

  UntitledMenu1 = Separator(EditMenu);
  UntitledMenu1->setObjectName(QStringLiteral("UntitledMenu1"));

  struct Entry {
    QAction*& action;
    const char* name;
    const char* text;
    const char* shortcut;
    Edit command;
  };
  const Entry entries[] = {
      {EditCut, "EditCut", "Cu&t", "Ctrl+X", Edit::Cut},
      {EditCopy, "EditCopy", "&Copy", "Ctrl+C", Edit::Copy},
      {EditPaste, "EditPaste", "&Paste", "Ctrl+V", Edit::Paste},
      {EditClear, "EditClear", "&Delete", nullptr, Edit::Clear},
      {EditSelectAll, "EditSelectAll", "Select &All", "Ctrl+A", Edit::SelectAll},
  };
  for (const Entry& entry : entries) {
    if (entry.command == Edit::SelectAll) {
      UntitledMenu0 = Separator(EditMenu);
      UntitledMenu0->setObjectName(QStringLiteral("UntitledMenu0"));
    }
    QAction* action = EditMenu->addAction(QString::fromUtf8(entry.text));
    action->setObjectName(QString::fromUtf8(entry.name));
    action->setMenuRole(QAction::NoRole);
    // Ctrl is the command key on macOS.
    if (entry.shortcut != nullptr)
      action->setShortcut(QKeySequence(QString::fromUtf8(entry.shortcut)));
    const Edit command = entry.command;
    connect(action, &QAction::triggered, this,
            [command] { EditWidget(QApplication::focusWidget(), command, false); });
    entry.action = action;
  }

  // Entries are enabled by what the focused field can do while the menu is
  // open; closed, they stay enabled so that their shortcuts always reach
  // the handler, which does nothing when there is nothing to do.
  connect(EditMenu, &QMenu::aboutToShow, this, &MenuBar1::UpdateEditing);
  connect(EditMenu, &QMenu::aboutToHide, this, &MenuBar1::EnableAllEditing);
}

MenuBar1::~MenuBar1() {
  if (installed == this) installed = nullptr;
  delete FileMenu;
  delete EditMenu;
}

QMenuBar* MenuBar1::BarFor(QWidget* window) {
  auto* bar = new QMenuBar(window);
  bar->setObjectName(QStringLiteral("MenuBar1"));
  bar->addMenu(FileMenu);
  bar->addMenu(EditMenu);
  return bar;
}

MenuBar1* MenuBar1::Installed() { return installed; }

void MenuBar1::Install(MenuBar1* menuBar) { installed = menuBar; }

void MenuBar1::UpdateEditing() {
  QWidget* focus = QApplication::focusWidget();
  EditCut->setEnabled(EditWidget(focus, Edit::Cut, true));
  EditCopy->setEnabled(EditWidget(focus, Edit::Copy, true));
  EditPaste->setEnabled(EditWidget(focus, Edit::Paste, true));
  EditClear->setEnabled(EditWidget(focus, Edit::Clear, true));
  EditSelectAll->setEnabled(EditWidget(focus, Edit::SelectAll, true));
}

void MenuBar1::EnableAllEditing() {
  for (QAction* action : {EditCut, EditCopy, EditPaste, EditClear, EditSelectAll})
    action->setEnabled(true);
}

}  // namespace vantrix::ui
