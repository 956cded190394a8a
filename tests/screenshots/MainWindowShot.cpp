// Pictures the main window as a user sees it after a Compare: DB 1 a SQLite
// file, DB 2 a MariaDB database, both panels connected with a table
// selected, and a "Fields not ok" result row selected so that its fields are
// explained. The open-file dialog is answered by the FakeSeam; everything
// else is the real window against the real engines.
//
//   vantrix_screenshots OUTPUT.png DB1_SQLITE_FILE HOST PORT DATABASE USER PASSWORD
//
// Prints what went wrong and exits 1 when the window showed a message or no
// row to select, so that no misleading picture is written.
#include <cstdio>
#include <filesystem>

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QString>
#include <QTest>

#include "FakeSeam.h"
#include "app/App.h"
#include "support/LoopbackPorts.h"
#include "ui/FinestraPrincipale.h"
#include "ui/MenuBar1.h"
#include "ui/toolkit/Listbox.h"
#include "ui/toolkit/Seam.h"
#include "ui/toolkit/SingleInstance.h"
#include "update/AppoggioDbSupporto.h"

namespace {

using vantrix::ui::FinestraPrincipale;
using vantrix::ui::Listbox;

constexpr int kExtraHeight = 200;

// The row whose first column is `text` (letter case ignored), or -1.
int RowNamed(const Listbox& list, const QString& text, int column = 0) {
  for (int row = 0; row < list.ListCount(); ++row) {
    if (list.Cell(row, column).compare(text, Qt::CaseInsensitive) == 0) return row;
  }
  return -1;
}

bool Fail(const char* what) {
  std::fprintf(stderr, "vantrix_screenshots: %s\n", what);
  for (const QString& message : vantrix::test::Fake().messages) {
    std::fprintf(stderr, "  the window said: %s\n", qPrintable(message));
  }
  return false;
}

struct Request {
  QString output;
  std::filesystem::path db1File;
  QString host, port, database, user, password;
};

// Runs the event loop until the window's reading (on its worker thread) has
// ended and its rows are written.
void WaitForReading(const FinestraPrincipale& w) {
  while (w.Reading()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

bool Picture(const Request& request) {
  auto& fake = vantrix::test::Fake();
  FinestraPrincipale& w = vantrix::ui::Reach<FinestraPrincipale>();
  w.show();
  if (!QTest::qWaitForWindowExposed(&w)) return Fail("the main window did not show");

  fake.openAnswers.emplace_back(request.db1File);
  w.DB1Type->setCurrentIndex(w.DB1Type->findText(QStringLiteral("SQLite")));
  w.DB2Type->setCurrentIndex(w.DB2Type->findText(QStringLiteral("Mysql")));
  w.DB2server->setText(request.host);
  w.DB2port->setText(request.port);
  w.DB2database->setText(request.database);
  w.DB2user->setText(request.user);
  w.DB2pass->setText(request.password);
  for (QPushButton* button : {w.BevelButton1, w.BevelButton2, w.BevelButton3}) {
    button->click();
    WaitForReading(w);
  }
  if (!fake.messages.isEmpty()) return Fail("Connect or Compare showed a message");

  const int row = RowNamed(*w.DiffTables, QStringLiteral("Fields not ok"), 1);
  if (row < 0) return Fail("Compare gave no \"Fields not ok\" row");
  // The same table listed on both sides, then its result row explained.
  const QString table = w.DiffTables->Cell(row, 0);
  w.DB1tables->SetListIndex(RowNamed(*w.DB1tables, table));
  WaitForReading(w);
  w.DB2tables->SetListIndex(RowNamed(*w.DB2tables, table));
  WaitForReading(w);
  w.DiffTables->SetListIndex(row);
  WaitForReading(w);
  if (!fake.messages.isEmpty()) return Fail("selecting the rows showed a message");

  // Taller than its least size, so that every result row and most of the
  // selected table's fields show.
  w.resize(w.width(), w.height() + kExtraHeight);
  QApplication::processEvents();
  if (!w.grab().save(request.output, "PNG")) return Fail("the picture could not be written");
  std::printf("%s\n", qPrintable(request.output));
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 8) {
    std::fprintf(stderr,
                 "usage: vantrix_screenshots OUTPUT.png DB1_SQLITE_FILE HOST PORT DATABASE USER "
                 "PASSWORD\n");
    return 2;
  }
  vantrix::App app(argc, argv);
  app.SetVersionRecord();
  vantrix::App::setQuitOnLastWindowClosed(false);
  vantrix::ui::MenuBar1 menuBar;
  vantrix::ui::MenuBar1::Install(&menuBar);
  vantrix::ui::InstallSeam(&vantrix::test::Fake());
  // Nothing answers a version check, so no update offer covers the window.
  vantrix::update::AppoggioDbSupporto::Account().Port = vantrix::test::ClosedLoopbackPort();

  const Request request{QString::fromLocal8Bit(argv[1]), std::filesystem::path(argv[2]),
                        QString::fromLocal8Bit(argv[3]), QString::fromLocal8Bit(argv[4]),
                        QString::fromLocal8Bit(argv[5]), QString::fromLocal8Bit(argv[6]),
                        QString::fromLocal8Bit(argv[7])};
  const bool pictured = Picture(request);
  vantrix::test::CloseAllWindows();
  vantrix::ui::InstallSeam(nullptr);
  vantrix::ui::MenuBar1::Install(nullptr);
  return pictured ? 0 : 1;
}
