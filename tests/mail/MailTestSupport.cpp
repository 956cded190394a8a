#include "MailTestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QUuid>
#include <QtTest/QTest>

#include <cstdlib>

namespace vantrix::test {

namespace {

QString Env(const char* name) { return QString::fromLocal8Bit(qgetenv(name)); }

}  // namespace

std::optional<SmtpServer> TestSmtpServer() {
  SmtpServer server;
  server.port = Env("VANTRIX_TEST_SMTP_PORT").toInt();
  if (server.port == 0) return std::nullopt;
  server.host = Env("VANTRIX_TEST_SMTP_HOST");
  if (server.host.isEmpty()) server.host = QStringLiteral("127.0.0.1");
  server.untrustedPort = Env("VANTRIX_TEST_SMTP_UNTRUSTED_PORT").toInt();
  server.plainPort = Env("VANTRIX_TEST_SMTP_PLAIN_PORT").toInt();
  server.refusingPort = Env("VANTRIX_TEST_SMTP_REFUSING_PORT").toInt();
  server.droppingPort = Env("VANTRIX_TEST_SMTP_DROPPING_PORT").toInt();
  server.deferringPort = Env("VANTRIX_TEST_SMTP_DEFERRING_PORT").toInt();
  server.caFile = Env("VANTRIX_TEST_SMTP_CA_FILE");
  server.user = Env("VANTRIX_TEST_SMTP_USER");
  server.password = Env("VANTRIX_TEST_SMTP_PASSWORD");
  server.mailDir = Env("VANTRIX_TEST_SMTP_MAIL_DIR");
  return server;
}

QList<Received> ReceivedWith(const SmtpServer& server, const QString& token) {
  QList<Received> found;
  const QDir dir(server.mailDir);
  // Zero-padded numbers: the name order is the order of arrival.
  for (const QString& name : dir.entryList({QStringLiteral("*.json")}, QDir::Files, QDir::Name)) {
    QFile meta(dir.filePath(name));
    if (!meta.open(QIODevice::ReadOnly)) continue;
    const QJsonObject record = QJsonDocument::fromJson(meta.readAll()).object();
    Received received;
    for (const QJsonValue& to : record.value(QStringLiteral("rcpt_tos")).toArray()) {
      received.rcptTos.append(to.toString());
    }
    if (!received.rcptTos.join(u' ').contains(token)) continue;
    received.listener = record.value(QStringLiteral("listener")).toString();
    received.connection = record.value(QStringLiteral("connection")).toInt();
    received.mailFrom = record.value(QStringLiteral("mail_from")).toString();
    received.parsed = record;
    QFile raw(dir.filePath(QFileInfo(name).completeBaseName() + QStringLiteral(".eml")));
    if (raw.open(QIODevice::ReadOnly)) received.raw = raw.readAll();
    found.append(received);
  }
  return found;
}

QString NewToken() { return QUuid::createUuid().toString(QUuid::Id128).left(16); }

mail::EmailMessage TestMessage(const SmtpServer& server, const QString& token, int number,
                               const QString& domain) {
  mail::EmailMessage message;
  message.FromAddress = server.user;
  message.ToAddresses = {QStringLiteral("r-%1@%2").arg(token, domain)};
  message.Subject = QStringLiteral("Messaggio %1").arg(number);
  message.BodyPlainText = QStringLiteral("Testo del messaggio %1.\n").arg(number);
  return message;
}

QList<mail::EmailMessage> EnqueueTestMessages(const SmtpServer& server, const QString& token,
                                              int count, const QString& domain) {
  QList<mail::EmailMessage> messages;
  for (int i = 1; i <= count; ++i) {
    messages.append(TestMessage(server, token, i, domain));
    mail::InvioMailGlob::Enqueue(messages.last());
  }
  return messages;
}

mail::SenderSettings SettingsFor(const SmtpServer& server, int port) {
  mail::SenderSettings settings;
  settings.Address = server.host;
  settings.Port = port;
  settings.Username = server.user;
  settings.Password = server.password;
  settings.CAFile = server.caFile;
  settings.TimeoutSeconds = 60;
  return settings;
}

bool WaitFor(const std::function<bool()>& condition, int timeoutMs) {
  return QTest::qWaitFor(condition, timeoutMs);
}

QList<ContentCase> ContentCases() {
  const QString nonAscii = QStringLiteral("Perché è già così — 日本語 ✓ 😀");
  const QString longLine = QString(1000, u'x');
  QString longSubject;
  for (int i = 0; i < 40; ++i) longSubject += QStringLiteral("àèìòù€ ");
  return {
      {"ascii", QStringLiteral("Hello"), QStringLiteral("Hi\nthere\n"), QStringLiteral("Hello"),
       QStringLiteral("Hi\r\nthere\r\n")},
      {"non-ASCII subject and body", nonAscii, nonAscii + u'\n', nonAscii,
       nonAscii + QStringLiteral("\r\n")},
      {"long non-ASCII subject", longSubject.trimmed(), QStringLiteral("x"), longSubject.trimmed(),
       QStringLiteral("x")},
      {"long line", QStringLiteral("Long"), longLine + u'\n', QStringLiteral("Long"),
       longLine + QStringLiteral("\r\n")},
      {"lines of dots", QStringLiteral("Dots"), QStringLiteral("one\n.\n..\n.end\n."),
       QStringLiteral("Dots"), QStringLiteral("one\r\n.\r\n..\r\n.end\r\n.")},
      {"empty body", QStringLiteral("Empty"), QString(), QStringLiteral("Empty"), QString()},
      {"mixed line endings", QStringLiteral("Endings"), QStringLiteral("a\rb\nc\r\nd"),
       QStringLiteral("Endings"), QStringLiteral("a\r\nb\r\nc\r\nd")},
      {"line break in the subject", QStringLiteral("Hi\r\nBcc: someone@mail.example"),
       QStringLiteral("x"), QStringLiteral("Hi  Bcc: someone@mail.example"), QStringLiteral("x")},
  };
}

QThread* Timeline::MainThread() { return QCoreApplication::instance()->thread(); }

void RecordingSeam::MsgBox(const QString& text) {
  timeline_.Add(
      QStringLiteral("MsgBox: ") + text + QStringLiteral(" | InvioInCorso=") +
      (mail::InvioMailGlob::InvioInCorso() ? QStringLiteral("true") : QStringLiteral("false")));
}

}  // namespace vantrix::test
