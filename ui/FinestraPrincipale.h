#pragma once

#include <array>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <QMainWindow>

#include "db/AppoggioMySQL.h"
#include "db/RecordSet.h"
#include "db/Schema.h"
#include "ui/toolkit/BusyCursor.h"

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QShortcut;
class QTimer;

namespace vantrix::update {
class TimerVersione;
}
namespace vantrix::mail {
class ProgressDisplay;
}

namespace vantrix::ui {

class AnchoredGeometry;
class Listbox;
class Thread;
class Worker;
namespace reads {
struct Message;
}

// The working window: the two connection panels (DB 1 and DB 2), their table
// and field lists, the two result lists, Compare and Help, the version
// label, and the version and mail timers with the mail thread.
//
// It is a QMainWindow so that the program's menu bar (MenuBar1) shows in it
// on platforms where menu bars belong to windows; the 800 x 600 content
// area below the bar is the central widget, and all coordinates of the
// controls are relative to it.
//
// The window's own work (opening, closing, Help, About) is in
// FinestraPrincipale.cpp; the connection, listing and comparison handlers
// in FinestraPrincipaleDb.cpp, whose reading runs on a worker thread
// (SchemaReads.cpp); the export in FinestraPrincipaleExport.cpp; the mail
// handlers in FinestraPrincipaleMail.cpp.
class FinestraPrincipale : public QMainWindow {
public:
  static constexpr bool kVisibleAtCreation = true;
  static constexpr int kContentWidth = 800;
  static constexpr int kContentHeight = 600;

  FinestraPrincipale();
  ~FinestraPrincipale() override;
  FinestraPrincipale(const FinestraPrincipale&) = delete;
  FinestraPrincipale& operator=(const FinestraPrincipale&) = delete;

  // The content area, below the menu bar.
  QWidget* Content;

  // Panel DB 1.
  QGroupBox* GroupBox1;
  QLabel* StaticText1;
  QLabel* StaticText2;
  QLabel* StaticText3;
  QLabel* StaticText4;
  QLabel* StaticText9;
  QLabel* StaticText91;
  QLineEdit* DB1server;
  QLineEdit* DB1database;
  QLineEdit* DB1user;
  QLineEdit* DB1pass;
  QComboBox* DB1Type;
  QLineEdit* DB1port;
  QPushButton* BevelButton1;
  Listbox* DB1tables;
  Listbox* DB1fields;

  // Panel DB 2.
  QGroupBox* GroupBox2;
  QLabel* StaticText5;
  QLabel* StaticText6;
  QLabel* StaticText7;
  QLabel* StaticText8;
  QLabel* StaticText10;
  QLabel* StaticText911;
  QLineEdit* DB2server;
  QLineEdit* DB2database;
  QLineEdit* DB2user;
  QLineEdit* DB2pass;
  QComboBox* DB2Type;
  QLineEdit* DB2port;
  QPushButton* BevelButton2;
  Listbox* DB2tables;
  Listbox* DB2fields;

  // Results and the rest.
  Listbox* DiffTables;
  Listbox* DiffFields;
  QPushButton* BevelButton3;  // "Compare"
  QPushButton* BevelButton6;  // "Help"
  QLabel* TestoVersione;

  // Non-visual members.
  update::TimerVersione* TimerVersione1;
  QTimer* TimerInvioMail;
  QTimer* TimerFinestraInvioMail;
  Thread* ThreadInvioMail;

  // The SQLite file chosen for each side, none at start.
  std::optional<std::filesystem::path> DB1FolderItem;
  std::optional<std::filesystem::path> DB2FolderItem;

  // Runs once, while the window is made: title, version label, placement.
  void Open();

  // Event handlers.
  void BevelButton1_Action();
  void BevelButton2_Action();
  void DB1Type_Change();
  void DB2Type_Change();
  void DB1tables_Change();
  void DB2tables_Change();
  void BevelButton3_Action();
  void DiffTables_Change();
  void BevelButton6_Action();
  // The About menu entry; answers that the command was handled.
  bool ArchivioAboutVantrix_Action();
  // The File menu: the last Compare's report saved to a file, and quitting.
  void FileExportReport_Action();
  void FileQuit_Action();
  void TimerInvioMail_Action();
  void TimerFinestraInvioMail_Action();
  void ThreadInvioMail_Run();

  // Fills a field list from a field schema: name and type label.
  void popolalistaLOC(db::RecordSet& records, Listbox& list);
  // Lists the fields of the table selected in DiffTables into DiffFields.
  void ControlloTabelle();

  // An operation that reads schemas (Connect, a table selection, Compare, a
  // result selection) is under way on the worker thread: the busy cursor
  // shows, the controls that would start another are disabled, and Escape
  // gives it up.
  [[nodiscard]] bool Reading() const;
  // Gives up the operation under way, if any: what it reads reaches no
  // list and no message; the lists stay as they were.
  void CancelReading();

protected:
  void closeEvent(QCloseEvent* event) override;

private:
  struct Side;
  void BuildPanel(const Side& side);
  void BuildResults();
  void WireEvents();
  // Connects the mail facility to this window's progress timer and the
  // progress window, and lets go of it again (FinestraPrincipaleMail.cpp).
  void AttachMail();
  void DetachMail();

  AnchoredGeometry* anchors_;

  // Starts an operation's reading on the worker thread; `done` runs on this
  // thread when it ends, unless it was given up, and then `undo` does (the
  // selection that started it goes back). Refused while another runs.
  bool StartReading(std::function<void()> work, std::function<void()> done,
                    std::function<void()> undo = nullptr);
  void ConnectAction(int side);
  void TablesChange(int side);
  void EndReading();
  void SetReadingControlsEnabled(bool enabled);
  // Shows messages in order, each titled with its side when it is an
  // engine's own text.
  static void ShowAll(const std::vector<reads::Message>& messages);
  Worker* worker_;
  std::function<void()> undo_;
  QShortcut* cancelShortcut_;
  std::optional<BusyCursor> busy_;
  // The panel values each side's table list was last filled from (none
  // until a Connect fills it): a Compare lists a side again when its panel
  // no longer names that database.
  std::array<std::optional<db::PanelValues>, 2> listedFrom_;

  // What the last Compare read of both sides, when it read both: the
  // report export works from it without connecting again.
  struct LastCompare {
    db::PanelValues db1;
    db::PanelValues db2;
    db::Schema schema1;
    db::Schema schema2;
  };
  std::optional<LastCompare> lastCompare_;
  // Keeps (or forgets) what a Compare read and enables the export entry.
  // The export writes what the result rows say, so it is kept only when
  // the rows were made from exactly the tables those schemas list.
  void KeepLastCompare(std::optional<LastCompare> last);
  std::unique_ptr<mail::ProgressDisplay> mailProgress_;
};

}  // namespace vantrix::ui
