#pragma once

#include <QObject>

class QAction;
class QMenu;
class QMenuBar;
class QWidget;

namespace vantrix::ui {

// The program's menu bar: a File menu (exporting the last comparison's
// report, quitting) and an Edit menu with the About entry and the standard
// editing commands. It is built once at start-up and installed for the
// whole program.
//
// macOS has one menu bar for the application, but Linux and Windows give
// every window its own, so the entries live here once (one QMenu, one
// QAction each) and BarFor() makes a QMenuBar for a window that shows that
// same menu. Only the main window has one: the splash, About and Help
// windows have fixed layouts that a bar would push down, and the About
// entry is handled only by the main window anyway. The entries' shortcuts
// work wherever the bar is shown.
//
// The editing entries act on the text field that has the keyboard focus.
// The About, Export Report and Quit entries run nothing here: the main
// window connects its handlers to them when it is made.
class MenuBar1 : public QObject {
public:
  explicit MenuBar1(QObject* parent = nullptr);
  ~MenuBar1() override;
  MenuBar1(const MenuBar1&) = delete;
  MenuBar1& operator=(const MenuBar1&) = delete;

  QMenu* FileMenu;
  QAction* FileExportReport;  // "Export Report…", enabled after a Compare
  QAction* FileQuit;
  QMenu* EditMenu;
  QAction* ArchivioAboutVantrix;
  QAction* UntitledMenu1;
  QAction* EditCut;
  QAction* EditCopy;
  QAction* EditPaste;
  QAction* EditClear;
  QAction* UntitledMenu0;
  QAction* EditSelectAll;

  // A menu bar for a window, showing this menu bar's menus.
  QMenuBar* BarFor(QWidget* window);

  // The menu bar installed at start-up, or nullptr before that.
  static MenuBar1* Installed();
  // Makes this the program's menu bar (not owned; nullptr uninstalls).
  static void Install(MenuBar1* menuBar);

private:
  // Enables the editing entries for what the focused widget can do now.
  void UpdateEditing();
  void EnableAllEditing();
};

}  // namespace vantrix::ui
