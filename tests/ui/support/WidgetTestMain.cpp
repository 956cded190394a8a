// main() for widget tests: an offscreen application object with the
// program's version record and menu bar, and the FakeSeam in place of real
// dialogs.
#include <gtest/gtest.h>

#include <QtGlobal>

#include "FakeSeam.h"
#include "app/App.h"
#include "support/LoopbackPorts.h"
#include "ui/MenuBar1.h"
#include "ui/toolkit/Seam.h"
#include "update/AppoggioDbSupporto.h"

int main(int argc, char** argv) {
  // Before the application object exists, or Qt picks a real display.
  qputenv("QT_QPA_PLATFORM", "offscreen");
  testing::InitGoogleTest(&argc, argv);

  vantrix::App app(argc, argv);
  app.SetVersionRecord();
  vantrix::App::setQuitOnLastWindowClosed(false);
  vantrix::ui::MenuBar1 menuBar;
  vantrix::ui::MenuBar1::Install(&menuBar);
  vantrix::ui::InstallSeam(&vantrix::test::Fake());
  // A main window left open for more than five seconds checks for a new
  // version: let that find nothing listening rather than whatever this
  // machine runs on the support server's port. Tests that need a support
  // server set their own.
  vantrix::update::AppoggioDbSupporto::Account().Port = vantrix::test::ClosedLoopbackPort();

  const int result = RUN_ALL_TESTS();
  vantrix::test::CloseAllWindows();
  vantrix::ui::InstallSeam(nullptr);
  vantrix::ui::MenuBar1::Install(nullptr);
  return result;
}
