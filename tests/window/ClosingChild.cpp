// A run of the program, as main() runs it (the application object, the real
// seam and the event loop), in which the main window is closed while a
// Compare waits on a server that has stopped answering. It reports on
// standard error as it goes ("closing", "quit <code>", "still waiting <n>")
// and ends with the code the event loop returned, once the waiting reading
// has ended on its own: a reading that touched the window then would be
// caught by the address sanitizer. Started by ClosingTest.
#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <memory>

#include "FakeCubeSqlServer.h"
#include "app/App.h"
#include "ui/FinestraPrincipale.h"
#include "ui/MenuBar1.h"
#include "ui/toolkit/Listbox.h"
#include "ui/toolkit/SingleInstance.h"
#include "ui/toolkit/Worker.h"

namespace {

using vantrix::ui::FinestraPrincipale;

constexpr int kWaitMs = 60'000;

void Say(const char* text) {
  std::fputs(text, stderr);
  std::fputc('\n', stderr);
  std::fflush(stderr);
}

bool WaitForReading(const FinestraPrincipale& window) {
  return QTest::qWaitFor([&window] { return !window.Reading(); }, kWaitMs);
}

void Fill(QLineEdit* server, QLineEdit* database, QLineEdit* user, QLineEdit* pass, QLineEdit* port,
          int cubePort) {
  server->setText(QStringLiteral("127.0.0.1"));
  database->setText(QStringLiteral("music"));
  user->setText(QStringLiteral("admin"));
  pass->setText(QStringLiteral("s3cret"));
  port->setText(QString::number(cubePort));
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  vantrix::App app(argc, argv);
  app.SetVersionRecord();
  vantrix::App::setQuitOnLastWindowClosed(false);
  vantrix::ui::MenuBar1::Install(new vantrix::ui::MenuBar1(&app));

  auto cube = std::make_unique<vantrix::test::FakeCubeSqlServer>("admin", "s3cret", "music");
  cube->Execute("CREATE TABLE Artist (ArtistId INTEGER, Name TEXT);");

  FinestraPrincipale& w = vantrix::ui::Reach<FinestraPrincipale>();
  for (QComboBox* type : {w.DB1Type, w.DB2Type}) {
    type->setCurrentIndex(type->findText(QStringLiteral("CubeSQLserver")));
  }
  Fill(w.DB1server, w.DB1database, w.DB1user, w.DB1pass, w.DB1port, cube->Port());
  Fill(w.DB2server, w.DB2database, w.DB2user, w.DB2pass, w.DB2port, cube->Port());
  for (QPushButton* connect : {w.BevelButton1, w.BevelButton2}) {
    connect->click();
    if (!WaitForReading(w)) return 10;
  }
  if (w.DB1tables->ListCount() != 1 || w.DB2tables->ListCount() != 1) return 11;

  // The server stops answering; Compare connects and waits.
  vantrix::test::FakeCubeSqlServer::Behaviour silent;
  silent.silent = true;
  cube->SetBehaviour(silent);
  const std::size_t requests = cube->Requests().size();
  w.BevelButton3->click();
  if (!w.Reading()) return 12;
  if (!QTest::qWaitFor([&] { return cube->Requests().size() > requests; }, kWaitMs)) return 13;

  Say("closing");
  QTimer::singleShot(0, &w, [&w] { w.close(); });
  const int code = vantrix::App::exec();
  std::fprintf(stderr, "quit %d\n", code);
  // The window goes as it would when the program ends, before the waiting
  // reading does.
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  if (!vantrix::ui::InstanceOf<FinestraPrincipale>().isNull()) return 14;
  std::fprintf(stderr, "still waiting %d\n", vantrix::ui::Worker::ThreadsAlive());
  std::fflush(stderr);

  // The server goes: the abandoned reading fails and ends on its thread.
  cube.reset();
  if (!vantrix::ui::Worker::WaitForThreads(std::chrono::milliseconds(kWaitMs))) return 15;
  // Whatever it handed back is delivered now, with the window gone.
  QCoreApplication::sendPostedEvents();
  QCoreApplication::processEvents();
  Say("reading ended");
  return code;
}
