#include <gtest/gtest.h>

#include <QCoreApplication>

#include <thread>

#include "MailTestSupport.h"
#include "mail/InvioMailGlob.h"
#include "mail/InvioMailS.h"
#include "support/LoopbackPorts.h"

namespace vantrix::test {
namespace {

namespace Glob = mail::InvioMailGlob;
using mail::EmailMessage;
using mail::InvioMailS;

// The mail facility as the main window drives it: the timer's thread runs
// InvioMailOk, the senders report on this (the main) thread to a recording
// progress display, seam and progress-timer switch.
class EmailQueueTest : public testing::Test {
protected:
  void SetUp() override {
    Glob::Reset();
    Glob::Attach(&display_, [this](bool on) {
      // Called on the mail thread: only recorded, under the same rule as
      // the main window's switch (no waiting for this thread).
      const std::lock_guard lock(switchMutex_);
      switches_.append(on);
    });
    previousSeam_ = ui::InstallSeam(&seam_);
  }

  void TearDown() override {
    for (InvioMailS* sender : Senders()) delete sender;
    Glob::Reset();
    ui::InstallSeam(previousSeam_);
  }

  // One run of the mail thread, as the sending timer starts it.
  static void RunMailThread() {
    std::thread thread(&Glob::InvioMailOk);
    thread.join();
    // The sender is handed to the application by a queued call.
    QCoreApplication::sendPostedEvents(QCoreApplication::instance(), QEvent::MetaCall);
  }

  // The senders alive, after the ones that asked to be freed are.
  static QList<InvioMailS*> Senders() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return QCoreApplication::instance()->findChildren<InvioMailS*>(Qt::FindDirectChildrenOnly);
  }

  QList<bool> Switches() {
    const std::lock_guard lock(switchMutex_);
    return switches_;
  }

  testing::AssertionResult WaitForLine(const QString& prefix) {
    if (WaitFor([&] {
          return std::any_of(timeline_.lines.begin(), timeline_.lines.end(),
                             [&](const QString& line) { return line.startsWith(prefix); });
        })) {
      return testing::AssertionSuccess();
    }
    return testing::AssertionFailure() << "no \"" << prefix.toStdString() << "\" in:\n"
                                       << timeline_.lines.join(u'\n').toStdString();
  }

  Timeline timeline_;
  RecordingDisplay display_{timeline_};
  RecordingSeam seam_{timeline_};
  ui::Seam* previousSeam_ = nullptr;
  std::mutex switchMutex_;
  QList<bool> switches_;
};

TEST_F(EmailQueueTest, AnEmptyQueueEndsTheBatchWithoutConnecting) {
  Glob::SetInvioInCorso(true);
  RunMailThread();

  EXPECT_FALSE(Glob::InvioInCorso());
  EXPECT_EQ(Switches(), QList<bool>{false});
  EXPECT_EQ(Glob::BatchSize(), 0);
  EXPECT_TRUE(Senders().isEmpty());
  QCoreApplication::processEvents();
  EXPECT_TRUE(timeline_.lines.isEmpty()) << timeline_.lines.join(u'\n').toStdString();
}

TEST_F(EmailQueueTest, ThreeMessagesGoAsOneBatchOverOneConnection) {
  VANTRIX_REQUIRE_SMTP(server);
  Glob::SetSettings(SettingsFor(server, server.port));
  const QString token = NewToken();
  const QList<EmailMessage> messages = EnqueueTestMessages(server, token, 3);
  RunMailThread();

  // The batch is taken whole and is on its way.
  EXPECT_TRUE(Glob::InvioInCorso());
  EXPECT_EQ(Glob::messaggidainviare(), messages);
  EXPECT_EQ(Glob::BatchSize(), 3);
  EXPECT_TRUE(Glob::CodaMessaggi().isEmpty());
  ASSERT_EQ(Senders().size(), 1);
  EXPECT_EQ(Senders()[0]->thread(), QCoreApplication::instance()->thread());

  ASSERT_TRUE(WaitForLine(QStringLiteral("Close")));
  const QStringList expected = {QStringLiteral("Step"), QStringLiteral("Step"),
                                QStringLiteral("Step"), QStringLiteral("Beep"),
                                QStringLiteral("Close")};
  EXPECT_EQ(timeline_.lines.mid(timeline_.lines.size() - 5), expected);
  EXPECT_EQ(timeline_.offMainThread, 0);
  EXPECT_FALSE(Glob::InvioInCorso());
  EXPECT_EQ(Switches(), QList<bool>{true});
  EXPECT_TRUE(Senders().isEmpty()) << "the sender is freed once it has reported";

  const QList<Received> received = ReceivedWith(server, token);
  ASSERT_EQ(received.size(), 3);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(received[i].parsed.value(QStringLiteral("subject")).toString(), messages[i].Subject);
    EXPECT_EQ(received[i].connection, received[0].connection);
  }
}

// The server refuses the second message: the user is told the server's own
// words while the batch still counts as on its way, then the batch is
// dropped; the queue is left as it is.
TEST_F(EmailQueueTest, ARefusalIsShownWithTheServersTextAndDropsTheRestOfTheBatch) {
  VANTRIX_REQUIRE_SMTP(server);
  struct Case {
    const char* name;
    int SmtpServer::*port;
    bool wrongPassword;
    const char* refusedDomain;  // the second message goes there
    int stepsBefore;
    QString text;  // the server's reply
  };
  const Case cases[] = {
      {"refused recipient", &SmtpServer::refusingPort, false, "refused.example", 1,
       QStringLiteral(
           "550 5.7.1 Destinatario rifiutato: il dominio refused.example non è servito")},
      {"wrong password", &SmtpServer::port, true, "mail.example", 0,
       QStringLiteral("535 5.7.8 Authentication credentials invalid")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    timeline_.lines.clear();
    mail::SenderSettings settings = SettingsFor(server, server.*c.port);
    if (c.wrongPassword) settings.Password += QStringLiteral("-wrong");
    Glob::SetSettings(settings);
    const QString token = NewToken();
    Glob::Enqueue(TestMessage(server, token, 1));
    Glob::Enqueue(TestMessage(server, token, 2, QString::fromLatin1(c.refusedDomain)));
    Glob::Enqueue(TestMessage(server, token, 3));
    RunMailThread();
    // Enqueued while the batch is on its way: not the batch's business.
    const EmailMessage later = TestMessage(server, token, 4);
    Glob::Enqueue(later);

    ASSERT_TRUE(WaitForLine(QStringLiteral("Close")));
    QStringList expected;
    for (int i = 0; i < c.stepsBefore; ++i) expected.append(QStringLiteral("Step"));
    expected.append(QStringLiteral("ShowError: ") + c.text);
    expected.append(QStringLiteral("MsgBox: ") + c.text + QStringLiteral("\nInvio annullato") +
                    QStringLiteral(" | InvioInCorso=true"));
    expected.append(QStringLiteral("Close"));
    EXPECT_EQ(timeline_.lines, expected);
    EXPECT_FALSE(Glob::InvioInCorso());
    EXPECT_EQ(Glob::CodaMessaggi(), QList<EmailMessage>{later});
    EXPECT_EQ(ReceivedWith(server, token).size(), c.stepsBefore);
    EXPECT_TRUE(Senders().isEmpty());
    Glob::ReplaceCodaMessaggi({});
  }
}

// A transport failure puts the batch back in the queue, in order, and
// leaves the error on show; nothing reaches a relay that cannot be trusted.
TEST_F(EmailQueueTest, ATransportFailurePutsTheWholeBatchBackInOrder) {
  VANTRIX_REQUIRE_SMTP(server);
  SilentListener silent;
  struct Case {
    const char* name;
    int port;
    int timeoutSeconds;
    int code;
  };
  const Case cases[] = {
      {"closed port", ClosedLoopbackPort(), 60, mail::TransportError::kCouldNotConnect},
      {"no STARTTLS", server.plainPort, 60, mail::TransportError::kStartTlsNotOffered},
      {"untrusted certificate", server.untrustedPort, 60, mail::TransportError::kTlsFailed},
      // The relay's timeout is the only wait here; one second of it.
      {"relay that does not answer", silent.port(), 1, mail::TransportError::kTimedOut},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    timeline_.lines.clear();
    mail::SenderSettings settings = SettingsFor(server, c.port);
    settings.TimeoutSeconds = c.timeoutSeconds;
    Glob::SetSettings(settings);
    const QString token = NewToken();
    const QList<EmailMessage> messages = EnqueueTestMessages(server, token, 3);
    RunMailThread();
    // Queued while the batch is on its way: kept, behind the failed batch.
    const EmailMessage late = TestMessage(server, token, 4);
    Glob::Enqueue(late);

    ASSERT_TRUE(WaitForLine(QStringLiteral("ShowError")));
    ASSERT_TRUE(WaitFor([] { return !Glob::InvioInCorso(); }));
    EXPECT_EQ(timeline_.lines,
              QStringList{QStringLiteral("ShowError: Errore ") + QString::number(c.code)});
    EXPECT_EQ(Glob::CodaMessaggi(), messages + QList<EmailMessage>{late});
    EXPECT_TRUE(ReceivedWith(server, token).isEmpty());
    EXPECT_TRUE(Senders().isEmpty());
    Glob::ReplaceCodaMessaggi({});
  }
}

// The relay drops the connection after the first message: the message on
// its way and those after it go back, in order; each new batch gets one
// further, and all arrive once, in order.
TEST_F(EmailQueueTest, ALostConnectionIsRetriedUntilEveryMessageArrives) {
  VANTRIX_REQUIRE_SMTP(server);
  Glob::SetSettings(SettingsFor(server, server.droppingPort));
  const QString token = NewToken();
  const QList<EmailMessage> messages = EnqueueTestMessages(server, token, 3);
  const QString lost =
      QStringLiteral("ShowError: Errore ") + QString::number(mail::TransportError::kConnectionLost);

  RunMailThread();
  ASSERT_TRUE(WaitForLine(lost));
  ASSERT_TRUE(WaitFor([] { return !Glob::InvioInCorso(); }));
  EXPECT_EQ(Glob::CodaMessaggi(), messages.mid(1));
  EXPECT_EQ(timeline_.lines, (QStringList{QStringLiteral("Step"), lost}));

  // The sending timer's next runs.
  timeline_.lines.clear();
  RunMailThread();
  EXPECT_EQ(Glob::BatchSize(), 2);
  ASSERT_TRUE(WaitForLine(lost));
  ASSERT_TRUE(WaitFor([] { return !Glob::InvioInCorso(); }));
  EXPECT_EQ(Glob::CodaMessaggi(), messages.mid(2));

  timeline_.lines.clear();
  RunMailThread();
  ASSERT_TRUE(WaitForLine(QStringLiteral("Close")));
  EXPECT_EQ(timeline_.lines,
            (QStringList{QStringLiteral("Step"), QStringLiteral("Beep"), QStringLiteral("Close")}));
  EXPECT_TRUE(Glob::CodaMessaggi().isEmpty());
  EXPECT_FALSE(Glob::InvioInCorso());

  const QList<Received> received = ReceivedWith(server, token);
  ASSERT_EQ(received.size(), 3);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(received[i].parsed.value(QStringLiteral("subject")).toString(), messages[i].Subject);
  }
  EXPECT_NE(received[0].connection, received[1].connection);
  EXPECT_NE(received[1].connection, received[2].connection);
  EXPECT_EQ(timeline_.offMainThread, 0);
}

// The user cancelled the batch (the progress window's cancel button) while
// its sender waited for a relay that does not answer (for an hour): the
// sender stops at once and reports nothing, and its messages go back to the
// front of the queue, ahead of one queued meanwhile; the next batch
// delivers them all, once and in order.
TEST_F(EmailQueueTest, ACancelledBatchStopsAndItsMessagesGoToTheNextBatch) {
  VANTRIX_REQUIRE_SMTP(server);
  SilentListener silent;
  mail::SenderSettings settings = SettingsFor(server, silent.port());
  settings.TimeoutSeconds = 3600;
  Glob::SetSettings(settings);
  const QString token = NewToken();
  const QList<EmailMessage> messages = EnqueueTestMessages(server, token, 2);
  RunMailThread();
  ASSERT_EQ(Senders().size(), 1);
  ASSERT_TRUE(WaitFor([&] { return silent.Accepted() == 1; }));
  const EmailMessage later = TestMessage(server, token, 3);
  Glob::Enqueue(later);

  Glob::AnnullaInvio();
  QCoreApplication::processEvents();
  EXPECT_TRUE(WaitFor([&] { return silent.AllClosedByClients(); })) << "the sender goes on";
  EXPECT_FALSE(Glob::InvioInCorso());
  EXPECT_TRUE(Senders().isEmpty()) << "the cancelled sender goes on";
  EXPECT_TRUE(timeline_.lines.isEmpty()) << timeline_.lines.join(u'\n').toStdString();
  EXPECT_EQ(Glob::CodaMessaggi(), messages + QList<EmailMessage>{later});

  // A cancel with nothing on its way changes nothing.
  Glob::AnnullaInvio();
  EXPECT_EQ(Glob::CodaMessaggi(), messages + QList<EmailMessage>{later});

  Glob::SetSettings(SettingsFor(server, server.port));
  RunMailThread();
  ASSERT_TRUE(WaitForLine(QStringLiteral("Close")));
  EXPECT_EQ(timeline_.lines,
            (QStringList{QStringLiteral("Step"), QStringLiteral("Step"), QStringLiteral("Step"),
                         QStringLiteral("Beep"), QStringLiteral("Close")}));
  EXPECT_FALSE(Glob::InvioInCorso());
  const QList<Received> received = ReceivedWith(server, token);
  ASSERT_EQ(received.size(), 3);
  const QList<EmailMessage> all = messages + QList<EmailMessage>{later};
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(received[i].parsed.value(QStringLiteral("subject")).toString(), all[i].Subject);
  }
}

// A sender whose batch is no longer the current one (here the facility was
// reset under it, and a new batch taken) stops at its next event: only the
// current batch steps the display, beeps and ends.
TEST_F(EmailQueueTest, OnlyTheCurrentBatchsSenderReports) {
  VANTRIX_REQUIRE_SMTP(server);
  Glob::SetSettings(SettingsFor(server, server.port));
  const QString token = NewToken();
  EnqueueTestMessages(server, token, 3);
  RunMailThread();
  ASSERT_EQ(Senders().size(), 1);

  Glob::Reset();
  Glob::Attach(&display_, {});
  Glob::SetSettings(SettingsFor(server, server.port));
  const QString newToken = NewToken();
  EnqueueTestMessages(server, newToken, 2);
  RunMailThread();

  ASSERT_TRUE(WaitFor([] { return Senders().isEmpty(); }));
  EXPECT_EQ(timeline_.lines, (QStringList{QStringLiteral("Step"), QStringLiteral("Step"),
                                          QStringLiteral("Beep"), QStringLiteral("Close")}));
  EXPECT_FALSE(Glob::InvioInCorso());
  EXPECT_EQ(ReceivedWith(server, newToken).size(), 2);
}

// The relay asks to try the second message later (451, a greylisting
// relay): like a lost connection, that message and the ones after it go
// back to the front of the queue, in order, and the error stays on show
// with the server's words, without a box; the next batch delivers them, and
// every message arrives once, in order.
TEST_F(EmailQueueTest, ATransientRefusalPutsTheBatchBackAndTheNextBatchDeliversIt) {
  VANTRIX_REQUIRE_SMTP(server);
  ASSERT_NE(server.deferringPort, 0) << "VANTRIX_TEST_SMTP_DEFERRING_PORT is not set";
  Glob::SetSettings(SettingsFor(server, server.deferringPort));
  const QString token = NewToken();
  const QList<EmailMessage> batch = {
      TestMessage(server, token, 1),
      TestMessage(server, token, 2, QStringLiteral("deferred.example")),
      TestMessage(server, token, 3)};
  for (const EmailMessage& message : batch) Glob::Enqueue(message);
  RunMailThread();
  // Queued while the batch is on its way: kept, behind the batch.
  const EmailMessage later = TestMessage(server, token, 4);
  Glob::Enqueue(later);

  const QString deferred =
      QStringLiteral("ShowError: 451 4.7.1 Destinatario in attesa: riprovare più tardi");
  ASSERT_TRUE(WaitForLine(QStringLiteral("ShowError")));
  ASSERT_TRUE(WaitFor([] { return !Glob::InvioInCorso(); }));
  QCoreApplication::processEvents();
  EXPECT_EQ(timeline_.lines, (QStringList{QStringLiteral("Step"), deferred}));
  EXPECT_EQ(Glob::CodaMessaggi(), batch.mid(1) + QList<EmailMessage>{later});
  EXPECT_TRUE(Senders().isEmpty());

  // The sending timer's next run.
  timeline_.lines.clear();
  RunMailThread();
  EXPECT_EQ(Glob::BatchSize(), 3);
  ASSERT_TRUE(WaitForLine(QStringLiteral("Close")));
  EXPECT_EQ(timeline_.lines,
            (QStringList{QStringLiteral("Step"), QStringLiteral("Step"), QStringLiteral("Step"),
                         QStringLiteral("Beep"), QStringLiteral("Close")}));
  EXPECT_TRUE(Glob::CodaMessaggi().isEmpty());
  EXPECT_FALSE(Glob::InvioInCorso());
  const QList<Received> received = ReceivedWith(server, token);
  const QList<EmailMessage> all = batch + QList<EmailMessage>{later};
  ASSERT_EQ(received.size(), all.size());
  for (qsizetype i = 0; i < all.size(); ++i) {
    EXPECT_EQ(received[i].parsed.value(QStringLiteral("subject")).toString(), all[i].Subject);
  }
  EXPECT_EQ(timeline_.offMainThread, 0);
}

// Quitting while a batch is on its way: the application object frees its
// senders, which stop at once (the relay here never answers and the
// timeout is an hour): the relay sees the connection closed.
TEST_F(EmailQueueTest, FreeingASenderOnItsWayStopsIt) {
  VANTRIX_REQUIRE_SMTP(server);
  SilentListener silent;
  mail::SenderSettings settings = SettingsFor(server, silent.port());
  settings.TimeoutSeconds = 3600;
  Glob::SetSettings(settings);
  Glob::Enqueue(TestMessage(server, NewToken(), 1));
  RunMailThread();
  const QList<InvioMailS*> senders = Senders();
  ASSERT_EQ(senders.size(), 1);
  EXPECT_EQ(senders[0]->parent(), QCoreApplication::instance());
  ASSERT_TRUE(WaitFor([&] { return silent.Accepted() == 1; }));

  delete senders[0];
  EXPECT_TRUE(WaitFor([&] { return silent.AllClosedByClients(); }));
  QCoreApplication::processEvents();
  EXPECT_TRUE(timeline_.lines.isEmpty()) << timeline_.lines.join(u'\n').toStdString();
  EXPECT_TRUE(Glob::InvioInCorso());
}

}  // namespace
}  // namespace vantrix::test
