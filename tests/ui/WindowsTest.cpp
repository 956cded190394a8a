// The splash, About and Help windows: their texts, frames, the hand-over
// from the splash to the main window, one instance each, and the About
// buttons' addresses.
#include <QGuiApplication>
#include <QLabel>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTextBlock>
#include <QTimer>
#include <QWindow>

#include <optional>

#include "Config.h"
#include "WidgetTest.h"
#include "ui/AboutWin.h"
#include "ui/FinestraHelp.h"
#include "ui/FinestraPrincipale.h"
#include "ui/SplashWin.h"
#include "ui/StartUp.h"
#include "ui/Texts.h"
#include "ui/toolkit/Picture.h"
#include "ui/toolkit/SingleInstance.h"

namespace vantrix::test {
namespace {

using ui::AboutWin;
using ui::Existing;
using ui::FinestraHelp;
using ui::FinestraPrincipale;
using ui::Reach;
using ui::SplashWin;

const QString kFeedback = QString::fromUtf8(config::kFeedbackAddress);

using SplashTest = WidgetTest;

TEST_F(SplashTest, ShowsLogoAndDescriptionWithOneBlankLineBeforeTheFeedbackLine) {
  SplashWin& splash = Reach<SplashWin>();
  EXPECT_TRUE(splash.isVisible());
  EXPECT_EQ(splash.windowTitle(), "About");
  EXPECT_EQ(splash.size(), QSize(600, 271));
  EXPECT_EQ(splash.minimumSize(), splash.maximumSize());  // not resizable
  EXPECT_FALSE(splash.windowFlags() & Qt::WindowCloseButtonHint);
  EXPECT_FALSE(splash.windowFlags() & Qt::WindowMinMaxButtonsHint);
  EXPECT_EQ(splash.StaticText1->text(),
            "Vantrix is developed an distribuited by Orvello\n"
            "This app allows you to compare two different databases structures and find any "
            "difference.\n"
            "Databases type allowed are: Mysql, SQLite and CubeSQLServer.\n"
            "\n"
            "You can send us feedback and new function request at " +
                kFeedback);
  EXPECT_EQ(splash.StaticText1->geometry(), QRect(20, 170, 560, 101));
  EXPECT_EQ(splash.StaticText1->font().pointSize(), 10);
  EXPECT_TRUE(splash.StaticText1->alignment() & Qt::AlignHCenter);
  EXPECT_EQ(splash.Canvas1->geometry(), QRect(0, 0, 600, 158));
  EXPECT_EQ(splash.Canvas1->pixmap().size(), QSize(600, 158));
}

// The splash as the program opens it (StartUp) and as any first reference
// does: when its three seconds are up, the main window opens with its menu
// bar and the splash closes.
TEST_F(SplashTest, TimerHandsOverToTheMainWindowAndClosesTheSplash) {
  const struct {
    const char* name;
    void (*open)();
  } cases[] = {
      {"StartUp", [] { ui::StartUp(); }},
      {"first reference", [] { Reach<SplashWin>(); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    CloseAllWindows();
    c.open();
    SplashWin* splash = Existing<SplashWin>();
    ASSERT_NE(splash, nullptr);
    EXPECT_TRUE(splash->isVisible());
    EXPECT_EQ(splash->Timer1->interval(), 3000);
    EXPECT_TRUE(splash->Timer1->isSingleShot());
    EXPECT_TRUE(splash->Timer1->isActive());
    EXPECT_EQ(Existing<FinestraPrincipale>(), nullptr);

    // What the timer does when its three seconds are up.
    ASSERT_TRUE(QMetaObject::invokeMethod(splash->Timer1, "timeout"));

    FinestraPrincipale* main = Existing<FinestraPrincipale>();
    ASSERT_NE(main, nullptr);
    EXPECT_TRUE(main->isVisible());
    EXPECT_EQ(main->windowTitle(), "Orvello Vantrix v2024.7.1");
    EXPECT_EQ(main->menuBar()->actions().size(), 2);  // File and Edit
    EXPECT_EQ(Existing<SplashWin>(), nullptr);
    EXPECT_FALSE(splash->isVisible());
  }
}

TEST_F(SplashTest, WindowManagerCannotCloseIt) {
  SplashWin& splash = Reach<SplashWin>();
  // A close request from the window manager arrives at the platform window.
  ASSERT_NE(splash.windowHandle(), nullptr);
  EXPECT_FALSE(splash.windowHandle()->close());
  EXPECT_FALSE(splash.close());
  EXPECT_EQ(Existing<SplashWin>(), &splash);
  EXPECT_TRUE(splash.isVisible());
}

using AboutTest = WidgetTest;

TEST_F(AboutTest, ShowsTheDescriptionAndThanksOneLineEach) {
  AboutWin& about = Reach<AboutWin>();
  EXPECT_EQ(about.windowTitle(), "About");
  EXPECT_EQ(about.size(), QSize(600, 316));
  EXPECT_EQ(about.minimumSize(), about.maximumSize());
  EXPECT_TRUE(about.windowFlags() & Qt::WindowCloseButtonHint);
  EXPECT_FALSE(about.windowFlags() & Qt::WindowMinMaxButtonsHint);
  EXPECT_EQ(about.StaticText1->text(),
            "Vantrix is developed an distribuited by Orvello\n"
            "This app allows you to compare two different databases structures and find any "
            "difference.\n"
            "Databases type allowed are: Mysql, SQLite and CubeSQLServer.\n"
            "You can send us feedback and new function request at " +
                kFeedback + "\nThanks for buy!");
  EXPECT_EQ(about.StaticText1->geometry(), QRect(20, 170, 560, 126));
  EXPECT_EQ(about.BevelButton1->text(), "Visit website");
  EXPECT_EQ(about.BevelButton1->geometry(), QRect(0, 295, 174, 22));
  EXPECT_EQ(about.BevelButton3->text(), "Email us your feedback");
  EXPECT_EQ(about.BevelButton3->geometry(), QRect(426, 295, 174, 22));
  EXPECT_EQ(about.BevelButton1->focusPolicy(), Qt::NoFocus);
  EXPECT_EQ(about.BevelButton3->focusPolicy(), Qt::NoFocus);
}

TEST_F(AboutTest, ButtonsOpenTheWebPageAndANewMailToTheMaker) {
  AboutWin& about = Reach<AboutWin>();
  about.show();
  QTest::mouseClick(about.BevelButton1, Qt::LeftButton);
  QTest::mouseClick(about.BevelButton3, Qt::LeftButton);
  EXPECT_EQ(fake().urls,
            QStringList({"http://" + QString::fromUtf8(config::kWebHost) + "/index.php?l=2",
                         "mailto:" + kFeedback}));
}

TEST_F(AboutTest, SplashAndAboutShareTheOneLogo) {
  const qint64 splashLogo = Reach<SplashWin>().Canvas1->pixmap().cacheKey();
  const qint64 aboutLogo = Reach<AboutWin>().Canvas1->pixmap().cacheKey();
  EXPECT_EQ(splashLogo, aboutLogo);
  EXPECT_EQ(splashLogo, ui::Picture("logo_orvello.jpg").cacheKey());
}

using HelpTest = WidgetTest;

// The help text as the user reads it, one entry per line.
const QStringList kHelpLines = {
    "Vantrix allows you to make comparison between two different databases.",
    "Database type allowed are:",
    "- Mysql",
    "- RealServer",
    "- CubeSQL server",
    "- SQLite",
    "",
    "For Mysql, RealServer and CubeSQL databases you need to fill the field request (server, "
    "database, user, pass). For SQLite you have to select the file on your drive.",
    "",
    "The comparison can be made between two databases of the same type ",
    "or a different type.",
    "",
    "The response you'll have are:",
    "- tables match",
    "- tables does not match",
    "\t- table not exists in one of two databases",
    "\t- table has more or less fields in one of two databases",
    "\t- one or more field type is different in one table",
    "",
    "Vantrix will helps you to develop your database structure, to keep it synchronized, to find "
    "errors and much more.",
};

TEST_F(HelpTest, TextIsTwentyLinesSeparatedByCarriageReturns) {
  const QString text = QString::fromUtf8(ui::texts::kHelpText);
  EXPECT_EQ(text.count('\r'), 19);
  EXPECT_FALSE(text.contains('\n'));
  EXPECT_FALSE(text.endsWith('\r'));
  EXPECT_EQ(text.split('\r'), kHelpLines);
}

TEST_F(HelpTest, WindowShowsTheTextReadOnlyAndItFillsTheWindow) {
  FinestraHelp& help = Reach<FinestraHelp>();
  help.show();
  EXPECT_EQ(help.windowTitle(), "Help");
  EXPECT_EQ(help.size(), QSize(410, 400));
  EXPECT_EQ(help.minimumSize(), QSize(64, 64));
  EXPECT_EQ(help.windowType(), Qt::Tool);
  EXPECT_TRUE(help.TextArea1->isReadOnly());
  EXPECT_EQ(help.TextArea1->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);

  QStringList shown;
  for (QTextBlock block = help.TextArea1->document()->begin(); block.isValid();
       block = block.next())
    shown << block.text();
  EXPECT_EQ(shown, kHelpLines);

  // Typing changes nothing.
  help.TextArea1->setFocus();
  QTest::keyClicks(help.TextArea1, "typed");
  EXPECT_EQ(help.TextArea1->document()->blockCount(), 20);
  EXPECT_EQ(help.TextArea1->document()->begin().text(), kHelpLines.first());

  EXPECT_EQ(help.TextArea1->geometry(), QRect(0, 0, 410, 400));
  help.resize(500, 300);
  QCoreApplication::processEvents();
  EXPECT_EQ(help.TextArea1->geometry(), QRect(0, 0, 500, 300));
}

// The About menu entry and the Help button reuse the open window, whose
// text is set once per window, and make a fresh one after it was closed.
// About centres its window each time; Help leaves it where the user put it.
using AboutAndHelpTest = WidgetTest;

TEST_F(AboutAndHelpTest, EachReusesTheOpenWindowAndMakesAFreshOneAfterClose) {
  const struct {
    const char* name;
    void (*open)(FinestraPrincipale&);
    QWidget* (*existing)();
    QString (*text)(QWidget*);
    void (*setText)(QWidget*, const QString&);
    QString fullText;
    // Where the window is after it was moved and reached again: centred
    // (content rectangle), or none where it stays where it was moved.
    std::optional<QRect> centred;
  } cases[] = {
      {"About menu entry",
       [](FinestraPrincipale& main) { EXPECT_TRUE(main.ArchivioAboutVantrix_Action()); },
       []() -> QWidget* { return Existing<AboutWin>(); },
       [](QWidget* w) { return static_cast<AboutWin*>(w)->StaticText1->text(); },
       [](QWidget* w, const QString& text) {
         static_cast<AboutWin*>(w)->StaticText1->setText(text);
       },
       // 600 x 316 centred on the offscreen screen's 800 x 800.
       ui::texts::AboutText(), QRect(100, 242, 600, 316)},
      {"Help button",
       [](FinestraPrincipale& main) { QTest::mouseClick(main.BevelButton6, Qt::LeftButton); },
       []() -> QWidget* { return Existing<FinestraHelp>(); },
       [](QWidget* w) { return static_cast<FinestraHelp*>(w)->TextArea1->toPlainText(); },
       [](QWidget* w, const QString& text) {
         static_cast<FinestraHelp*>(w)->TextArea1->setPlainText(text);
       },
       kHelpLines.join(u'\n'), std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    CloseAllWindows();
    FinestraPrincipale& main = Reach<FinestraPrincipale>();
    c.open(main);
    QWidget* first = c.existing();
    ASSERT_NE(first, nullptr);
    EXPECT_TRUE(first->isVisible());
    EXPECT_EQ(c.text(first), c.fullText);
    ASSERT_EQ(QGuiApplication::primaryScreen()->geometry(), QRect(0, 0, 800, 800))
        << "the offscreen platform's screen";

    c.setText(first, QStringLiteral("changed since"));
    first->move(40, 30);
    const QRect moved = first->geometry();
    c.open(main);
    EXPECT_EQ(c.existing(), first);
    EXPECT_EQ(c.text(first), QStringLiteral("changed since")) << "the text was set again";
    EXPECT_EQ(first->geometry(), c.centred.value_or(moved));

    first->close();
    c.open(main);
    QWidget* second = c.existing();
    ASSERT_NE(second, nullptr);
    EXPECT_NE(second, first);
    EXPECT_TRUE(second->isVisible());
    EXPECT_EQ(c.text(second), c.fullText);
  }
}

}  // namespace
}  // namespace vantrix::test
