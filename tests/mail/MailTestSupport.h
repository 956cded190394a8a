#pragma once

#include <functional>
#include <optional>
#include <ostream>

#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>
#include <QThread>

#include <gtest/gtest.h>

#include "mail/EmailMessage.h"
#include "mail/InvioMailGlob.h"
#include "ui/toolkit/Seam.h"

namespace vantrix::mail {
// A message in test failures: its subject and recipients.
inline void PrintTo(const EmailMessage& message, std::ostream* out) {
  *out << '"' << message.Subject.toStdString() << "\" to "
       << message.ToAddresses.join(u',').toStdString();
}
}  // namespace vantrix::mail

namespace vantrix::test {

// The SMTP test server that scripts/test starts (scripts/smtp-test-server);
// its address comes from the environment.
struct SmtpServer {
  QString host;
  int port = 0;           // STARTTLS and AUTH required, trusted certificate
  int untrustedPort = 0;  // certificate from a CA the tests do not trust
  int plainPort = 0;      // no STARTTLS
  int refusingPort = 0;   // refuses recipients at refused.example
  int droppingPort = 0;   // closes after the first message of a connection
  // answers the first attempt for each recipient at deferred.example with
  // 451, and accepts the next
  int deferringPort = 0;
  QString caFile;
  QString user;
  QString password;
  QString mailDir;
};

// The server's settings, or none when the environment has none.
std::optional<SmtpServer> TestSmtpServer();

// Fails the current test when there is no SMTP test server: these tests
// are the only check of the mail facility, so they never pass without it.
#define VANTRIX_REQUIRE_SMTP(var)                                                      \
  const auto var##_opt = ::vantrix::test::TestSmtpServer();                            \
  ASSERT_TRUE(var##_opt.has_value())                                                   \
      << "no SMTP test server: VANTRIX_TEST_SMTP_* are not set (run scripts/test, or " \
         "scripts/smtp-test-server start DIR and export the variables of DIR/env)";    \
  const ::vantrix::test::SmtpServer& var = *var##_opt

// A message the test server accepted.
struct Received {
  QString listener;
  int connection = 0;  // the same number for every message of one connection
  QString mailFrom;
  QStringList rcptTos;
  QByteArray raw;      // the bytes received
  QJsonObject parsed;  // as Python's e-mail package reads it: subject, body, ...
};

// The messages the server accepted with a recipient that contains the
// token, in the order they arrived.
QList<Received> ReceivedWith(const SmtpServer& server, const QString& token);

// A token unique to this run of a test.
QString NewToken();
// A message from the test account to r-<token>@<domain>.
mail::EmailMessage TestMessage(const SmtpServer& server, const QString& token, int number,
                               const QString& domain = QStringLiteral("mail.example"));
// Puts `count` test messages (numbered from 1) at the end of the mail
// queue and answers them, in order.
QList<mail::EmailMessage> EnqueueTestMessages(
    const SmtpServer& server, const QString& token, int count,
    const QString& domain = QStringLiteral("mail.example"));
// The mail settings that reach the server's listener on the given port.
mail::SenderSettings SettingsFor(const SmtpServer& server, int port);

// Processes events until the condition holds or a generous deadline
// passes; answers the condition.
bool WaitFor(const std::function<bool()>& condition, int timeoutMs = 60000);

// Messages whose form matters on the way out: each with the subject and
// the body text a mail program should read from it.
struct ContentCase {
  const char* name;
  QString subject;
  QString body;
  QString expectedSubject;  // line breaks in a subject become spaces
  QString expectedBody;     // the body with CRLF line endings
};
QList<ContentCase> ContentCases();

// What the mail facility showed and did, in order, as one list of lines:
// the progress display, the seam's box and beep and the progress-timer
// switch record here. Each line also notes whether it was done on the
// user-interface thread when that matters.
struct Timeline {
  QStringList lines;
  // Calls of the display or the seam that were not on the application's
  // main thread.
  int offMainThread = 0;

  void Add(const QString& line) {
    if (QThread::currentThread() != MainThread()) ++offMainThread;
    lines.append(line);
  }
  qsizetype Count(const QString& line) const { return lines.count(line); }
  static QThread* MainThread();
};

class RecordingDisplay final : public mail::ProgressDisplay {
public:
  explicit RecordingDisplay(Timeline& timeline) : timeline_(timeline) {}
  void Step() override { timeline_.Add(QStringLiteral("Step")); }
  void ShowError(const QString& tooltip) override {
    timeline_.Add(QStringLiteral("ShowError: ") + tooltip);
  }
  void Close() override { timeline_.Add(QStringLiteral("Close")); }

private:
  Timeline& timeline_;
};

// The seam for mail tests: the box answers at once and records its text
// with the state of the facility at that moment.
class RecordingSeam final : public ui::Seam {
public:
  explicit RecordingSeam(Timeline& timeline) : timeline_(timeline) {}
  void MsgBox(const QString& text) override;
  ui::PressedButton ShowModal(const ui::MessageDialogSpec& /*dialog*/) override {
    ADD_FAILURE() << "the mail facility shows no dialog";
    return ui::PressedButton::Cancel;
  }
  std::optional<std::filesystem::path> GetOpenFolderItem() override { return std::nullopt; }
  std::optional<ui::SaveChoice> GetSaveFolderItem(const QString&, const QStringList&) override {
    return std::nullopt;
  }
  void ShowURL(const QString& /*url*/) override {
    ADD_FAILURE() << "the mail facility opens no URL";
  }
  void Beep() override { timeline_.Add(QStringLiteral("Beep")); }
  void Quit(int /*code*/) override { ADD_FAILURE() << "the mail facility does not quit"; }
  QString ExecutableFileName() override { return QStringLiteral("vantrix"); }

private:
  Timeline& timeline_;
};

}  // namespace vantrix::test
