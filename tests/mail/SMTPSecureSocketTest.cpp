#include <gtest/gtest.h>

#include <curl/curl.h>

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSignalSpy>

#include <memory>

#include "MailTestSupport.h"
#include "mail/SMTPSecureSocket.h"
#include "support/LoopbackPorts.h"

namespace vantrix::test {
namespace {

using mail::SMTPSecureSocket;
namespace TransportError = mail::TransportError;

void Configure(SMTPSecureSocket& socket, const SmtpServer& server, int port) {
  const mail::SenderSettings settings = SettingsFor(server, port);
  socket.Address = settings.Address;
  socket.Port = settings.Port;
  socket.Username = settings.Username;
  socket.Password = settings.Password;
  socket.CAFile = settings.CAFile;
  socket.TimeoutSeconds = settings.TimeoutSeconds;
}

// Lets everything already posted be delivered.
void DeliverPosted() {
  QCoreApplication::sendPostedEvents();
  QCoreApplication::processEvents();
}

TEST(EmailSenderTest, ABatchGoesOverOneConnectionAndEveryFormArrivesIntact) {
  VANTRIX_REQUIRE_SMTP(server);
  const QString token = NewToken();
  const QList<ContentCase> cases = ContentCases();
  SMTPSecureSocket socket;
  Configure(socket, server, server.port);
  for (const ContentCase& c : cases) {
    mail::EmailMessage message = TestMessage(server, token, 0);
    message.Subject = c.subject;
    message.BodyPlainText = c.body;
    socket.Messages.Append(message);
  }
  QSignalSpy established(&socket, &SMTPSecureSocket::ConnectionEstablished);
  QSignalSpy sent(&socket, &SMTPSecureSocket::MessageSent);
  QSignalSpy done(&socket, &SMTPSecureSocket::MailSent);
  QSignalSpy serverError(&socket, &SMTPSecureSocket::ServerError);
  QSignalSpy error(&socket, &SMTPSecureSocket::Error);
  int offMainThread = 0;
  QObject::connect(&socket, &SMTPSecureSocket::MessageSent, &socket, [&offMainThread] {
    if (QThread::currentThread() != QCoreApplication::instance()->thread()) ++offMainThread;
  });

  socket.SendMail();
  ASSERT_TRUE(WaitFor([&] { return done.size() + serverError.size() + error.size() > 0; }));

  EXPECT_EQ(done.size(), 1);
  EXPECT_EQ(serverError.size(), 0);
  EXPECT_EQ(error.size(), 0) << "code " << socket.LastErrorCode();
  EXPECT_EQ(established.size(), 1);
  EXPECT_EQ(sent.size(), cases.size());
  EXPECT_EQ(offMainThread, 0);
  EXPECT_EQ(socket.Messages.Count(), 0);
  EXPECT_FALSE(socket.MessageInTransit().has_value());

  const QList<Received> received = ReceivedWith(server, token);
  ASSERT_EQ(received.size(), cases.size());
  for (qsizetype i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(cases[i].name);
    const Received& r = received[i];
    EXPECT_EQ(r.listener, QStringLiteral("normal"));
    EXPECT_EQ(r.connection, received[0].connection) << "a second connection within the batch";
    EXPECT_EQ(r.mailFrom, server.user);
    EXPECT_EQ(r.parsed.value(QStringLiteral("parse_error")).toString(), QString());
    EXPECT_EQ(r.parsed.value(QStringLiteral("subject")).toString(), cases[i].expectedSubject);
    EXPECT_EQ(r.parsed.value(QStringLiteral("body")).toString(), cases[i].expectedBody);
    EXPECT_EQ(r.parsed.value(QStringLiteral("content_type")).toString(),
              QStringLiteral("text/plain"));
    EXPECT_EQ(r.parsed.value(QStringLiteral("charset")).toString(), QStringLiteral("utf-8"));
    EXPECT_TRUE(r.parsed.value(QStringLiteral("date_parsed")).toBool());
    EXPECT_TRUE(r.parsed.value(QStringLiteral("defects")).toArray().isEmpty())
        << QJsonDocument(r.parsed.value(QStringLiteral("defects")).toArray()).toJson().constData();
  }
}

// Disconnect, or the destructor (as when the program quits), stop a batch
// at once: the sending thread ends and closes the batch's one connection,
// which the relay sees closed, and nothing more arrives. After Disconnect
// nothing is reported either (a destroyed object's queued events go with it,
// so only Disconnect can show that). Both while the sender waits for a relay
// that never answers (its timeout is an hour: a stop that waited for it
// would outlast the test run), and in the middle of a batch, where the relay
// is reached through a forwarder that sees the connection close and that
// holds whatever the client sends once the first message has arrived: the
// relay has stopped answering in the middle of the batch, whatever the
// speed of the machine.
TEST(EmailSenderTest, StopsAtOnceAndClosesItsConnectionWhenDisconnectedOrDestroyed) {
  VANTRIX_REQUIRE_SMTP(server);
  enum class Stop { Disconnect, Destroy };
  struct Case {
    const char* name;
    bool silentRelay;
    Stop stop;
  };
  const Case cases[] = {
      {"silent relay, Disconnect", true, Stop::Disconnect},
      {"silent relay, destroyed", true, Stop::Destroy},
      {"mid-batch, Disconnect", false, Stop::Disconnect},
      {"mid-batch, destroyed", false, Stop::Destroy},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const QString token = NewToken();
    SilentListener silent;
    LoopbackForwarder relay(server.port,
                            [&server, &token] { return !ReceivedWith(server, token).isEmpty(); });
    auto socket = std::make_unique<SMTPSecureSocket>();
    Configure(*socket, server, c.silentRelay ? silent.port() : relay.port());
    socket->TimeoutSeconds = 3600;
    constexpr int kMessages = 40;
    for (int i = 1; i <= kMessages; ++i) socket->Messages.Append(TestMessage(server, token, i));
    int events = 0;
    QObject::connect(socket.get(), &SMTPSecureSocket::MessageSent, socket.get(),
                     [&events] { ++events; });
    QObject::connect(socket.get(), &SMTPSecureSocket::MailSent, socket.get(),
                     [&events] { ++events; });
    QObject::connect(socket.get(), &SMTPSecureSocket::Error, socket.get(), [&events] { ++events; });
    QObject::connect(socket.get(), &SMTPSecureSocket::ServerError, socket.get(),
                     [&events] { ++events; });

    socket->SendMail();
    if (c.silentRelay) {
      ASSERT_TRUE(WaitFor([&] { return silent.Accepted() == 1; }));
    } else {
      ASSERT_TRUE(WaitFor([&] { return events > 0; }));
    }
    if (c.stop == Stop::Disconnect) {
      const int before = events;
      socket->Disconnect();
      DeliverPosted();
      EXPECT_EQ(events, before);
      socket->SendMail();  // does nothing after Disconnect
      DeliverPosted();
      EXPECT_EQ(events, before);
    } else {
      socket.reset();
    }

    if (c.silentRelay) {
      EXPECT_TRUE(WaitFor([&] { return silent.AllClosedByClients(); }));
      EXPECT_EQ(silent.Accepted(), 1);
    } else {
      EXPECT_TRUE(WaitFor([&] { return relay.ClosedByClients() == 1; }));
      EXPECT_EQ(relay.Connections(), 1);
      // The batch stopped where the relay held it, after the first message.
      EXPECT_EQ(ReceivedWith(server, token).size(), 1);
    }
    socket.reset();
  }
}

// The codes that the test server cannot provoke; the others are checked
// against it in InvioMailTest.
TEST(EmailSenderTest, TransportCodesForResultsTheRelayCannotProvoke) {
  struct Case {
    CURLcode curl;
    bool pending;
    int expected;
  };
  const Case cases[] = {
      {CURLE_COULDNT_RESOLVE_HOST, true, TransportError::kHostNotResolved},
      {CURLE_RECV_ERROR, true, TransportError::kConnectionLost},
      {CURLE_RECV_ERROR, false, TransportError::kClosedWhenIdle},
      {CURLE_GOT_NOTHING, false, TransportError::kClosedWhenIdle},
      {CURLE_SSL_CONNECT_ERROR, true, TransportError::kTlsFailed},
      {CURLE_OUT_OF_MEMORY, true, TransportError::kOther},
      {CURLE_OK, false, TransportError::kNone},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(mail::TransportErrorCode(c.curl, c.pending), c.expected)
        << curl_easy_strerror(c.curl) << (c.pending ? " (pending)" : " (idle)");
  }
}

}  // namespace
}  // namespace vantrix::test
