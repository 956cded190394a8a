// The mail progress window, and the main window's mail timers that drive
// the mail facility and open the window. Timers are fired directly.
#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QMetaObject>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <future>
#include <thread>
#include <utility>

#include "WidgetTest.h"
#include "mail/InvioMailGlob.h"
#include "support/LoopbackPorts.h"
#include "ui/FinestraPrincipale.h"
#include "ui/FinestraStatoInvioMail.h"
#include "ui/toolkit/Seam.h"
#include "ui/toolkit/SingleInstance.h"
#include "ui/toolkit/Thread.h"

namespace vantrix::test {
namespace {

using ui::Existing;
using ui::FinestraPrincipale;
using ui::FinestraStatoInvioMail;
using ui::Reach;
namespace Glob = mail::InvioMailGlob;

class MailProgressTest : public WidgetTest {
protected:
  void SetUp() override {
    WidgetTest::SetUp();
    Glob::Reset();
  }
  void TearDown() override {
    if (auto* main = Existing<FinestraPrincipale>()) main->ThreadInvioMail->wait();
    WidgetTest::TearDown();
    Glob::Reset();
  }

  static FinestraStatoInvioMail* Progress() { return Existing<FinestraStatoInvioMail>(); }
  // What a timer does when it times out.
  static void Fire(QTimer* timer) {
    ASSERT_TRUE(QMetaObject::invokeMethod(timer, "timeout")) << timer->objectName().toStdString();
  }
};

TEST_F(MailProgressTest, OpensInItsInitialState) {
  auto& window = Reach<FinestraStatoInvioMail>();
  EXPECT_EQ(window.windowTitle(), QStringLiteral("Invio email in corso, attendere..."));
  EXPECT_EQ(window.size(), QSize(422, 102));
  EXPECT_EQ(window.minimumSize(), window.maximumSize());
  EXPECT_TRUE(window.isVisible());
  const Qt::WindowFlags flags = window.windowFlags();
  EXPECT_EQ(flags & Qt::WindowType_Mask, Qt::Tool);
  EXPECT_FALSE(flags & Qt::WindowCloseButtonHint);
  EXPECT_FALSE(flags & Qt::WindowMinMaxButtonsHint);

  const struct {
    QWidget* control;
    QRect rect;
    bool visible;
  } controls[] = {
      {window.BarraProgresso, {20, 41, 382, 20}, true},

      {window.BottoneAnnullaInvio, {318, 73, 84, 20}, false},
  };
  for (const auto& c : controls) {
    SCOPED_TRACE(c.control->objectName().toStdString());
    EXPECT_EQ(c.control->geometry(), c.rect);
    EXPECT_EQ(c.control->isVisible(), c.visible);
  }
  // The error label keeps its right edge and height; it is 194 wide unless
  // the platform's bold font needs more room for the whole text.
  const QRect label = window.TestoErrore->geometry();
  EXPECT_EQ(label.right(), 208 + 194 - 1);
  EXPECT_EQ(label.top(), 9);
  EXPECT_EQ(label.height(), 20);
  EXPECT_GE(label.width(), 194);
  EXPECT_GE(label.width(),
            window.TestoErrore->fontMetrics().horizontalAdvance(window.TestoErrore->text()));
  EXPECT_FALSE(window.TestoErrore->isVisible());
  EXPECT_EQ(window.BarraProgresso->maximum(), 100);
  EXPECT_EQ(window.BarraProgresso->value(), 0);
  EXPECT_EQ(window.TestoErrore->text(), QStringLiteral("Errore invio. Riento connessione."));
  EXPECT_TRUE(window.TestoErrore->font().bold());
  EXPECT_EQ(window.TestoErrore->font().pointSize(), 10);
  EXPECT_TRUE(window.TestoErrore->alignment() & Qt::AlignRight);
  EXPECT_EQ(window.BottoneAnnullaInvio->text(), QStringLiteral("Annulla invio"));
  EXPECT_EQ(window.BottoneAnnullaInvio->font().family(), QStringLiteral("Arial"));
  EXPECT_EQ(window.BottoneAnnullaInvio->font().pointSize(), 10);
  EXPECT_EQ(window.Timer1->interval(), 60000);
  EXPECT_TRUE(window.Timer1->isSingleShot());
  EXPECT_TRUE(window.Timer1->isActive());

  // A minute later the user may cancel.
  Fire(window.Timer1);
  EXPECT_TRUE(window.BottoneAnnullaInvio->isVisible());
  EXPECT_FALSE(window.TestoErrore->isVisible());
}

TEST_F(MailProgressTest, SitsAtTheMainWindowsLowerLeftCorner) {
  EXPECT_EQ(ui::LowerLeftPlace(QRect(100, 50, 800, 600), 102), QPoint(105, 548));
  EXPECT_EQ(ui::LowerLeftPlace(QRect(-30, 0, 800, 90), 102), QPoint(-25, -12));

  auto& main = Reach<FinestraPrincipale>();
  main.setGeometry(200, 120, 900, 640);
  auto& window = Reach<FinestraStatoInvioMail>();
  EXPECT_EQ(window.pos(), QPoint(205, 120 + 640 - 102));
  EXPECT_EQ(window.parentWidget(), &main);  // floats above it
}

TEST_F(MailProgressTest, StepsErrorsCancelAndCloseWorkOnTheOpenWindow) {
  // A step with no window open opens one: 1 of 100.
  FinestraStatoInvioMail::CloseOpen();  // nothing to close: nothing happens
  EXPECT_EQ(Progress(), nullptr);
  Reach<FinestraStatoInvioMail>().ProgressStep();
  ASSERT_NE(Progress(), nullptr);
  EXPECT_EQ(Progress()->BarraProgresso->value(), 1);
  EXPECT_EQ(Progress()->BarraProgresso->maximum(), 100);
  Progress()->ProgressStep();
  EXPECT_EQ(Progress()->BarraProgresso->value(), 2);

  Progress()->ShowError(QStringLiteral("Errore 7"));
  EXPECT_TRUE(Progress()->TestoErrore->isVisible());
  EXPECT_EQ(Progress()->TestoErrore->toolTip(), QStringLiteral("Errore 7"));
  EXPECT_TRUE(Progress()->BottoneAnnullaInvio->isVisible());

  // Cancel: no batch on its way any more, and the window goes.
  Glob::SetInvioInCorso(true);
  QTest::mouseClick(Progress()->BottoneAnnullaInvio, Qt::LeftButton);
  EXPECT_FALSE(Glob::InvioInCorso());
  EXPECT_EQ(Progress(), nullptr);

  // The next step starts again from the initial state.
  Reach<FinestraStatoInvioMail>().ProgressStep();
  EXPECT_EQ(Progress()->BarraProgresso->value(), 1);
  EXPECT_FALSE(Progress()->TestoErrore->isVisible());
  EXPECT_FALSE(Progress()->BottoneAnnullaInvio->isVisible());
  FinestraStatoInvioMail::CloseOpen();
  EXPECT_EQ(Progress(), nullptr);
}

TEST_F(MailProgressTest, TheProgressTimerOpensTheWindowOnlyForABatchOnItsWay) {
  auto& main = Reach<FinestraPrincipale>();
  main.TimerFinestraInvioMail->start();

  // No batch: nothing, and the timer stays on.
  Fire(main.TimerFinestraInvioMail);
  EXPECT_EQ(Progress(), nullptr);
  EXPECT_TRUE(main.TimerFinestraInvioMail->isActive());

  // A batch of three on its way (to a relay that refuses connections, which
  // the sender finds out only once events are processed).
  mail::SenderSettings settings = Glob::Settings();
  settings.Address = QStringLiteral("127.0.0.1");
  settings.Port = ClosedLoopbackPort();
  Glob::SetSettings(settings);
  for (int i = 0; i < 3; ++i) {
    mail::EmailMessage message;
    message.FromAddress = QStringLiteral("vantrix@mail.example");
    message.ToAddresses = {QStringLiteral("someone@mail.example")};
    message.Subject = QStringLiteral("Message %1").arg(i);
    Glob::Enqueue(message);
  }
  Glob::InvioMailOk();
  ASSERT_TRUE(Glob::InvioInCorso());
  Reach<FinestraStatoInvioMail>().ProgressStep();  // a step made before the timer fires
  Fire(main.TimerFinestraInvioMail);
  ASSERT_NE(Progress(), nullptr);
  EXPECT_EQ(Progress()->BarraProgresso->maximum(), 3);
  EXPECT_EQ(Progress()->BarraProgresso->value(), 0);
  EXPECT_FALSE(main.TimerFinestraInvioMail->isActive());

  // The refused connection is a transport error: the window stays open in
  // its error state and the three messages are back in the queue.
  EXPECT_TRUE(QTest::qWaitFor([] { return !Glob::InvioInCorso(); }, 30000));
  ASSERT_NE(Progress(), nullptr);
  EXPECT_TRUE(Progress()->TestoErrore->isVisible());
  EXPECT_TRUE(Progress()->TestoErrore->toolTip().startsWith(QStringLiteral("Errore ")));
  EXPECT_TRUE(Progress()->BottoneAnnullaInvio->isVisible());
  EXPECT_EQ(Glob::CodaMessaggi().size(), 3);
}

TEST_F(MailProgressTest, TheSendingTimerStartsTheWorkerOnlyWhenNoBatchIsOnItsWay) {
  auto& main = Reach<FinestraPrincipale>();

  // A batch on its way: the worker is not started (a worker that ran would
  // also have found the queue empty and ended the batch).
  QSignalSpy started(main.ThreadInvioMail, &QThread::started);
  Glob::SetInvioInCorso(true);
  Fire(main.TimerInvioMail);
  ASSERT_TRUE(main.ThreadInvioMail->wait(10000));
  EXPECT_EQ(started.count(), 0);
  EXPECT_TRUE(Glob::InvioInCorso());

  // Idle with an empty queue: the worker runs, finds nothing, and switches
  // the progress timer off (a queued call that reaches this thread).
  Glob::SetInvioInCorso(false);
  main.TimerFinestraInvioMail->start();
  Fire(main.TimerInvioMail);
  ASSERT_TRUE(main.ThreadInvioMail->wait(10000));
  EXPECT_EQ(started.count(), 1);
  EXPECT_TRUE(QTest::qWaitFor([&] { return !main.TimerFinestraInvioMail->isActive(); }, 5000));
  EXPECT_FALSE(Glob::InvioInCorso());
  EXPECT_EQ(Progress(), nullptr);
  EXPECT_TRUE(fake().messages.isEmpty());
}

// Whether a thread of this process is blocked on a futex: waiting for a
// lock, or for a condition such as another thread's end (QThread::wait).
// Read from the kernel without allocating, so that the asking thread never
// contends with the one it asks about.
bool BlockedOnFutex(pid_t thread) {
  char path[64];
  std::snprintf(path, sizeof path, "/proc/self/task/%d/syscall", static_cast<int>(thread));
  const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  char text[32] = {};
  const ssize_t n = ::read(fd, text, sizeof text - 1);
  ::close(fd);
  return n > 0 && std::atol(text) == SYS_futex;
}

// Calls `closing` when its window receives its close event, before the
// window handles it.
class CloseWatch final : public QObject {
public:
  explicit CloseWatch(std::function<void()> closing) : closing_(std::move(closing)) {}
  bool eventFilter(QObject* /*watched*/, QEvent* event) override {
    if (event->type() == QEvent::Close && closing_) std::exchange(closing_, nullptr)();
    return false;
  }

private:
  std::function<void()> closing_;
};

// The main window, as it goes, waits for a mail worker still at work before
// it lets go of the mail facility and deletes its timers: the worker ends
// while the progress display is attached and the progress timer it switches
// is there. The worker here is busy until the window is closed, and then
// until the window, going, waits for something: the worker's end, or, were
// the window not to wait for it, the end the thread's own destructor waits
// for after the facility was let go and the timer deleted. The window is
// closed and deleted in the test, without the fixture's own wait.
TEST_F(MailProgressTest, TheMainWindowWaitsForABusyMailWorkerBeforeItGoes) {
  auto& main = Reach<FinestraPrincipale>();
  std::atomic<bool> timerGone{false};
  std::atomic<bool> ended{false};
  std::atomic<bool> displayAtEnd{false};
  std::atomic<bool> timerAtEnd{false};
  QObject::connect(main.TimerFinestraInvioMail, &QObject::destroyed, qApp,
                   [&timerGone] { timerGone = true; });
  std::promise<void> closing;
  std::future<void> closed = closing.get_future();
  CloseWatch watch([&closing] { closing.set_value(); });
  main.installEventFilter(&watch);
  const pid_t mainThread = ::gettid();
  main.ThreadInvioMail->Run = [&] {
    closed.wait();
    while (!BlockedOnFutex(mainThread)) std::this_thread::yield();
    displayAtEnd = Glob::Display() != nullptr;
    timerAtEnd = !timerGone;
    ended = true;
  };
  Fire(main.TimerInvioMail);
  ASSERT_TRUE(main.ThreadInvioMail->isRunning());

  const QPointer<FinestraPrincipale> window = &main;
  main.close();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  ASSERT_TRUE(window.isNull());
  EXPECT_TRUE(ended);
  EXPECT_TRUE(displayAtEnd) << "the mail facility was let go while the worker ran";
  EXPECT_TRUE(timerAtEnd) << "the progress timer went while the worker ran";
  EXPECT_TRUE(timerGone);
  EXPECT_EQ(Glob::Display(), nullptr) << "the window let go of the mail facility";
}

// A real box shown while the progress window is the active window stays up
// when that window closes itself under it (a batch's end arriving while the
// box waits), and answers what the user then presses. The box is answered
// from a timer once the window is gone.
TEST_F(MailProgressTest, ABoxOutlivesTheProgressWindowClosingUnderIt) {
  const struct {
    const char* name;
    const char* button;  // the caption pressed
    std::function<QString()> show;
    const char* answer;
  } cases[] = {
      {"message box", "OK",
       [] {
         ui::TheSeam().MsgBox(QStringLiteral("Errore del server"));
         return QStringLiteral("dismissed");
       },
       "dismissed"},
      {"message dialog", "Più tardi",
       [] {
         ui::MessageDialogSpec dialog;
         dialog.Message = QStringLiteral("Errore del server");
         dialog.ActionButton = {QStringLiteral("Scarica"), true};
         dialog.AlternateActionButton = {QStringLiteral("Più tardi"), true};
         switch (ui::TheSeam().ShowModal(dialog)) {
           case ui::PressedButton::Action:
             return QStringLiteral("Action");
           case ui::PressedButton::AlternateAction:
             return QStringLiteral("AlternateAction");
           case ui::PressedButton::Cancel:
             break;
         }
         return QStringLiteral("Cancel");
       },
       "AlternateAction"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Reach<FinestraPrincipale>();
    auto& progress = Reach<FinestraStatoInvioMail>();
    progress.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&progress));
    ASSERT_EQ(QApplication::activeWindow(), &progress);
    ASSERT_NE(Glob::Display(), nullptr);
    const QPointer<FinestraStatoInvioMail> window = &progress;

    // The batch ends while the box is up: the progress window closes.
    QTimer::singleShot(0, [] { Glob::Display()->Close(); });
    // Once the window is gone, the box still up is read and answered.
    QString boxText;
    bool pressed = false;
    QTimer answer;
    answer.setInterval(0);
    QObject::connect(&answer, &QTimer::timeout, [&] {
      if (window) return;
      answer.stop();
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (box == nullptr) return;
      boxText = box->text();
      for (QAbstractButton* button : box->buttons()) {
        if (button->text().remove(u'&') == QString::fromUtf8(c.button)) {
          button->click();
          pressed = true;
        }
      }
      if (!pressed) box->close();
    });
    answer.start();

    QString answered;
    {
      const RealSeamInUse real;
      answered = c.show();
    }
    answer.stop();
    EXPECT_EQ(window, nullptr);
    EXPECT_EQ(boxText, QStringLiteral("Errore del server")) << "the box went with the window";
    EXPECT_TRUE(pressed);
    EXPECT_EQ(answered, QString::fromUtf8(c.answer));
    CloseAllWindows();
  }
}

}  // namespace
}  // namespace vantrix::test
