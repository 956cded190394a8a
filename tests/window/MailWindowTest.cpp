// The mail facility as the main window runs it: its timers, the mail
// thread, the progress window and the real SMTP test relay. The timers are
// fired directly; the tests wait only for the relay's answers.
#include <QCoreApplication>
#include <QLabel>
#include <QList>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include "MailTestSupport.h"
#include "WindowFixture.h"
#include "mail/InvioMailGlob.h"
#include "ui/FinestraStatoInvioMail.h"
#include "ui/toolkit/Thread.h"

namespace vantrix::test {
namespace {

namespace Glob = mail::InvioMailGlob;
using ui::FinestraStatoInvioMail;

class MailWindowTest : public WindowTest {
protected:
  void SetUp() override {
    WindowTest::SetUp();
    Glob::Reset();
  }
  void TearDown() override {
    if (auto* main = ui::Existing<ui::FinestraPrincipale>()) main->ThreadInvioMail->wait();
    WindowTest::TearDown();
    Glob::Reset();
  }

  static FinestraStatoInvioMail* Progress() { return ui::Existing<FinestraStatoInvioMail>(); }
  static void Fire(QTimer* timer) { QMetaObject::invokeMethod(timer, "timeout"); }

  // One tick of the sending timer, and the mail thread's run to its end.
  void SendingTick() {
    Fire(W().TimerInvioMail);
    ASSERT_TRUE(W().ThreadInvioMail->wait(30000));
  }
};

TEST_F(MailWindowTest, ABatchIsSentAndTheWindowFollowsIt) {
  VANTRIX_REQUIRE_SMTP(server);
  Glob::SetSettings(SettingsFor(server, server.port));
  const QString token = NewToken();
  EnqueueTestMessages(server, token, 3);

  SendingTick();
  // The batch is on its way: the sending timer does not start another.
  EXPECT_TRUE(Glob::InvioInCorso());
  Fire(W().TimerInvioMail);
  EXPECT_FALSE(W().ThreadInvioMail->isRunning());

  ASSERT_TRUE(WaitFor([] { return !Glob::InvioInCorso(); }));
  const QList<Received> received = ReceivedWith(server, token);
  ASSERT_EQ(received.size(), 3);
  EXPECT_EQ(received[0].connection, received[2].connection);
  EXPECT_EQ(fake().beeps, 1);
  EXPECT_TRUE(fake().messages.isEmpty());
  EXPECT_EQ(Progress(), nullptr);  // opened by the first step, closed at the end
  EXPECT_TRUE(Glob::CodaMessaggi().isEmpty());

  // The progress timer was switched on for the batch and stays on; firing
  // now it finds no batch on its way and does nothing.
  ASSERT_TRUE(WaitFor([&] { return W().TimerFinestraInvioMail->isActive(); }));
  Fire(W().TimerFinestraInvioMail);
  EXPECT_EQ(Progress(), nullptr);
  EXPECT_TRUE(W().TimerFinestraInvioMail->isActive());

  // The next tick finds the queue empty and switches it off.
  SendingTick();
  EXPECT_TRUE(WaitFor([&] { return !W().TimerFinestraInvioMail->isActive(); }));
}

TEST_F(MailWindowTest, ARefusedRecipientIsShownAndTheBatchDropped) {
  VANTRIX_REQUIRE_SMTP(server);
  Glob::SetSettings(SettingsFor(server, server.refusingPort));
  const QString token = NewToken();
  EnqueueTestMessages(server, token, 2, QStringLiteral("refused.example"));

  SendingTick();
  ASSERT_TRUE(WaitFor([&] { return !fake().messages.isEmpty(); }));
  ASSERT_EQ(fake().messages.size(), 1);
  EXPECT_TRUE(fake().messages[0].endsWith(QStringLiteral("\nInvio annullato")));
  EXPECT_TRUE(fake().messages[0].startsWith(QStringLiteral("550")));
  ASSERT_TRUE(WaitFor([] { return !Glob::InvioInCorso(); }));
  EXPECT_EQ(Progress(), nullptr);
  EXPECT_TRUE(Glob::CodaMessaggi().isEmpty());
  EXPECT_TRUE(ReceivedWith(server, token).isEmpty());
  EXPECT_EQ(fake().beeps, 0);
}

TEST_F(MailWindowTest, ALostConnectionKeepsTheWindowInItsErrorStateWhileTheBatchIsRetried) {
  VANTRIX_REQUIRE_SMTP(server);
  // This relay closes every connection after its first message.
  Glob::SetSettings(SettingsFor(server, server.droppingPort));
  const QString token = NewToken();
  const QList<mail::EmailMessage> messages = EnqueueTestMessages(server, token, 3);

  SendingTick();
  ASSERT_TRUE(WaitFor([] { return !Glob::InvioInCorso(); }));
  ASSERT_NE(Progress(), nullptr);
  EXPECT_TRUE(Progress()->TestoErrore->isVisible());
  EXPECT_EQ(Progress()->TestoErrore->toolTip(), QStringLiteral("Errore 104"));
  EXPECT_TRUE(Progress()->BottoneAnnullaInvio->isVisible());
  EXPECT_EQ(Glob::CodaMessaggi(), messages.mid(1));

  // The retry reuses the window: the bar restarts at the new batch's size
  // and the error state stays.
  SendingTick();
  ASSERT_TRUE(Glob::InvioInCorso());
  Fire(W().TimerFinestraInvioMail);
  ASSERT_NE(Progress(), nullptr);
  EXPECT_EQ(Progress()->BarraProgresso->maximum(), 2);
  EXPECT_EQ(Progress()->BarraProgresso->value(), 0);
  EXPECT_TRUE(Progress()->TestoErrore->isVisible());

  ASSERT_TRUE(WaitFor([] { return !Glob::InvioInCorso(); }));
  SendingTick();
  ASSERT_TRUE(WaitFor([] { return !Glob::InvioInCorso() && Glob::CodaMessaggi().isEmpty(); }));
  // The last batch of one message ended normally and closed the window.
  EXPECT_EQ(Progress(), nullptr);
  EXPECT_EQ(fake().beeps, 1);
  const QList<Received> received = ReceivedWith(server, token);
  ASSERT_EQ(received.size(), 3);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(received[i].parsed.value(QStringLiteral("subject")).toString(), messages[i].Subject);
  }
}

// The user cancels a batch and a new one follows: the cancelled sender is
// stopped, and the window, InvioInCorso and the bar belong to the new batch
// only. The cancelled batch's messages go with the new one, ahead of the
// message queued since, and every message arrives once, in order.
TEST_F(MailWindowTest, ACancelledBatchLeavesTheWindowTheFlagAndTheBarToTheNextBatch) {
  VANTRIX_REQUIRE_SMTP(server);
  Glob::SetSettings(SettingsFor(server, server.port));
  const QString token = NewToken();
  const QList<mail::EmailMessage> first = EnqueueTestMessages(server, token, 3);

  // The batch is on its way and its window open; a minute later the user
  // cancels it.
  SendingTick();
  ASSERT_TRUE(Glob::InvioInCorso());
  Fire(W().TimerFinestraInvioMail);
  ASSERT_NE(Progress(), nullptr);
  Fire(Progress()->Timer1);
  ASSERT_TRUE(Progress()->BottoneAnnullaInvio->isVisible());
  Progress()->BottoneAnnullaInvio->click();
  EXPECT_EQ(Progress(), nullptr);
  EXPECT_FALSE(Glob::InvioInCorso());
  EXPECT_EQ(Glob::CodaMessaggi(), first);

  // The next batch: the cancelled messages and one queued since.
  const mail::EmailMessage added = TestMessage(server, token, 4);
  Glob::Enqueue(added);
  const QList<mail::EmailMessage> all = first + QList<mail::EmailMessage>{added};
  SendingTick();
  ASSERT_TRUE(Glob::InvioInCorso());
  EXPECT_EQ(Glob::messaggidainviare(), all);
  Fire(W().TimerFinestraInvioMail);
  ASSERT_NE(Progress(), nullptr);
  EXPECT_EQ(Progress()->BarraProgresso->maximum(), 4);
  EXPECT_EQ(Progress()->BarraProgresso->value(), 0);
  EXPECT_FALSE(Progress()->BottoneAnnullaInvio->isVisible());
  QList<int> bar;
  QObject::connect(Progress()->BarraProgresso, &QProgressBar::valueChanged,
                   [&bar](int value) { bar.append(value); });

  // The batch is on its way until its last message has arrived.
  ASSERT_TRUE(WaitFor([] { return !Glob::InvioInCorso(); }));
  const QList<Received> received = ReceivedWith(server, token);
  ASSERT_EQ(received.size(), all.size()) << "the batch ended before its messages arrived";
  for (qsizetype i = 0; i < all.size(); ++i) {
    EXPECT_EQ(received[i].parsed.value(QStringLiteral("subject")).toString(), all[i].Subject);
  }
  EXPECT_EQ(bar, (QList<int>{1, 2, 3, 4}));
  EXPECT_EQ(Progress(), nullptr);  // closed by the batch's end
  EXPECT_EQ(fake().beeps, 1);
  EXPECT_TRUE(fake().messages.isEmpty());

  // Nothing is left to reopen the window or start another batch.
  SendingTick();
  QCoreApplication::processEvents();
  EXPECT_EQ(Progress(), nullptr);
  EXPECT_FALSE(Glob::InvioInCorso());
  EXPECT_EQ(ReceivedWith(server, token).size(), all.size());
}

}  // namespace
}  // namespace vantrix::test
