// Start-up and quitting, through the real event loop.
#include <QApplication>
#include <QGuiApplication>
#include <QTimer>

#include <optional>
#include <string>
#include <vector>

#include "WidgetTest.h"
#include "app/App.h"
#include "ui/AboutWin.h"
#include "ui/FinestraHelp.h"
#include "ui/FinestraPrincipale.h"
#include "ui/SplashWin.h"
#include "ui/StartUp.h"
#include "ui/toolkit/BusyCursor.h"
#include "ui/toolkit/Seam.h"
#include "ui/toolkit/SingleInstance.h"

namespace vantrix::test {
namespace {

using ui::Existing;
using ui::FinestraPrincipale;
using ui::Reach;
using ui::SplashWin;

// The code exec() returns when nothing quit the loop in time: the loop is
// stopped from outside so that a broken quit fails instead of hanging.
constexpr int kNotQuit = 99;

class LifecycleTest : public WidgetTest {
protected:
  // Runs the event loop with `step` posted to it; answers exec()'s code.
  static int RunLoopWith(const std::function<void()>& step) {
    QTimer::singleShot(0, qApp, step);
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, qApp, [] { QCoreApplication::exit(kNotQuit); });
    watchdog.start(60'000);
    return QApplication::exec();
  }
};

TEST_F(LifecycleTest, VersionRecordReadsBack) {
  const App* app = App::Instance();
  ASSERT_NE(app, nullptr);
  EXPECT_EQ(app->MajorVersion, 2024);
  EXPECT_EQ(app->MinorVersion, 7);
  EXPECT_EQ(app->BugVersion, 1);
  EXPECT_EQ(app->NonReleaseVersion, 136);
  EXPECT_EQ(app->StageCode, App::Stage::Final);
  EXPECT_EQ(app->Version, "2024.7.1");
  EXPECT_EQ(QCoreApplication::applicationVersion(), "2024.7.1");
}

TEST_F(LifecycleTest, QuittingDuringTheSplashNeverOpensTheMainWindow) {
  ui::StartUp();
  SplashWin* splash = Existing<SplashWin>();
  ASSERT_NE(splash, nullptr);
  EXPECT_EQ(RunLoopWith([] { ui::TheSeam().Quit(0); }), 0);
  EXPECT_FALSE(splash->Timer1->isActive()) << "the hand-over can no longer happen";
  EXPECT_EQ(Existing<FinestraPrincipale>(), nullptr);
}

// Closing the main window ends the run with code 0, through the real seam
// (the loop's own exit code) and through the fake (the code asked for),
// whether or not About and Help are open beside it.
TEST_F(LifecycleTest, ClosingTheMainWindowQuitsWithCodeZero) {
  for (const bool aboutAndHelpOpen : {false, true}) {
    for (const bool realSeam : {true, false}) {
      SCOPED_TRACE(std::string(aboutAndHelpOpen ? "About and Help open" : "main window alone") +
                   (realSeam ? ", real seam" : ", fake seam"));
      CloseAllWindows();
      FinestraPrincipale& main = Reach<FinestraPrincipale>();
      if (aboutAndHelpOpen) {
        main.ArchivioAboutVantrix_Action();
        main.BevelButton6_Action();
        ASSERT_NE(Existing<ui::AboutWin>(), nullptr);
        ASSERT_NE(Existing<ui::FinestraHelp>(), nullptr);
      }
      std::optional<RealSeamInUse> real;
      if (realSeam) real.emplace();
      EXPECT_EQ(RunLoopWith([] { Existing<FinestraPrincipale>()->close(); }), 0);
      real.reset();
      EXPECT_EQ(Existing<FinestraPrincipale>(), nullptr);
      EXPECT_EQ(fake().quitCodes, realSeam ? std::vector<int>{} : std::vector<int>{0});
    }
  }
}

TEST_F(LifecycleTest, MessageBoxShowsTheArrowWhileTheProgramIsBusy) {
  const RealSeamInUse real;
  ui::BusyCursor busy;
  Qt::CursorShape shownWithBox = Qt::BlankCursor;
  QTimer::singleShot(0, qApp, [&shownWithBox] {
    shownWithBox = QGuiApplication::overrideCursor()->shape();
    if (QWidget* box = QApplication::activeModalWidget()) box->close();
  });
  ui::TheSeam().MsgBox("Connected");
  EXPECT_EQ(shownWithBox, Qt::ArrowCursor);
  ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
  EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
}

TEST_F(LifecycleTest, BusyCursorIsRestoredWhenTheWorkEnds) {
  ASSERT_EQ(QGuiApplication::overrideCursor(), nullptr);
  {
    ui::BusyCursor busy;
    EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
  }
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

}  // namespace
}  // namespace vantrix::test
