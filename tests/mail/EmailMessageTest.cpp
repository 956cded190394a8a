#include <gtest/gtest.h>

#include <QLocale>
#include <QTimeZone>

#include "MailTestSupport.h"
#include "mail/EmailMessage.h"

namespace vantrix::test {
namespace {

using mail::EmailMessage;

QByteArray HeaderSection(const QByteArray& source) {
  return source.left(source.indexOf("\r\n\r\n") + 2);
}

QByteArray BodySection(const QByteArray& source) {
  return source.mid(source.indexOf("\r\n\r\n") + 4);
}

// The header field's value with its continuation lines unfolded.
QList<QByteArray> FieldLines(const QByteArray& source, const QByteArray& name) {
  QList<QByteArray> result;
  bool inField = false;
  for (const QByteArray& line : HeaderSection(source).split('\n')) {
    const QByteArray l = line.endsWith('\r') ? line.chopped(1) : line;
    if (l.startsWith(' ') || l.startsWith('\t')) {
      if (inField) result.append(l.mid(1));
      continue;
    }
    inField = l.startsWith(name + ": ");
    if (inField) result.append(l.mid(name.size() + 2));
  }
  return result;
}

TEST(EmailMessageTest, WritesTheStandardHeadersAndABase64Body) {
  EmailMessage message;
  message.FromAddress = QStringLiteral("vantrix@mail.example");
  message.ToAddresses = {QStringLiteral("a@mail.example"), QStringLiteral("b@mail.example")};
  message.Subject = QStringLiteral("Hello");
  message.BodyPlainText = QStringLiteral("Hi\nthere\n");
  const QDateTime date(QDate(2024, 12, 10), QTime(14, 3, 5), QTimeZone(3600));

  EXPECT_EQ(message.Source(date, QStringLiteral("abc@mail.example")),
            QByteArray("Date: Tue, 10 Dec 2024 14:03:05 +0100\r\n"
                       "Message-ID: <abc@mail.example>\r\n"
                       "From: vantrix@mail.example\r\n"
                       "To: a@mail.example, b@mail.example\r\n"
                       "Subject: Hello\r\n"
                       "MIME-Version: 1.0\r\n"
                       "Content-Type: text/plain; charset=UTF-8\r\n"
                       "Content-Transfer-Encoding: base64\r\n"
                       "\r\n"
                       "SGkNCnRoZXJlDQo=\r\n"));
}

TEST(EmailMessageTest, DatesAreInEnglishWithTheirOffsetWhateverTheLanguage) {
  const QLocale before;
  QLocale::setDefault(QLocale(QLocale::Italian, QLocale::Italy));
  struct Case {
    QDateTime date;
    const char* expected;
  };
  const Case cases[] = {
      {QDateTime(QDate(2024, 7, 1), QTime(9, 0, 0), QTimeZone(-5 * 3600 - 1800)),
       "Date: Mon, 1 Jul 2024 09:00:00 -0530"},
      {QDateTime(QDate(2025, 1, 31), QTime(23, 59, 59), QTimeZone::utc()),
       "Date: Fri, 31 Jan 2025 23:59:59 +0000"},
  };
  for (const Case& c : cases) {
    EXPECT_TRUE(EmailMessage().Source(c.date, QStringLiteral("x@y")).startsWith(c.expected))
        << c.expected;
  }
  QLocale::setDefault(before);
}

TEST(EmailMessageTest, EveryFormStaysWithinTheLineRulesAndKeepsItsText) {
  for (const ContentCase& c : ContentCases()) {
    SCOPED_TRACE(c.name);
    EmailMessage message;
    message.FromAddress = QStringLiteral("vantrix@mail.example");
    message.ToAddresses = {QStringLiteral("a@mail.example")};
    message.Subject = c.subject;
    message.BodyPlainText = c.body;
    const QByteArray source = message.Source();

    // CRLF only, and no line longer than 76 characters.
    for (qsizetype i = 0; i < source.size(); ++i) {
      if (source[i] == '\n') {
        ASSERT_TRUE(i > 0 && source[i - 1] == '\r') << "bare LF at " << i;
      }
      if (source[i] == '\r') {
        ASSERT_TRUE(i + 1 < source.size() && source[i + 1] == '\n') << "bare CR at " << i;
      }
    }
    ASSERT_TRUE(source.endsWith("\r\n"));
    for (const QByteArray& line : source.split('\n'))
      EXPECT_LE(line.size() - 1, 76) << line.constData();

    // A subject line break does not start a header of its own.
    EXPECT_TRUE(FieldLines(source, "Bcc").isEmpty());
    EXPECT_EQ(FieldLines(source, "Message-ID").size(), 1);
    EXPECT_EQ(FieldLines(source, "Date").size(), 1);

    // The subject: plain ASCII as it is, anything else as encoded-words of
    // at most 75 characters, each of whole UTF-8 characters.
    const QList<QByteArray> subject = FieldLines(source, "Subject");
    ASSERT_FALSE(subject.isEmpty());
    QString decoded;
    for (const QByteArray& part : subject) {
      if (!part.startsWith("=?UTF-8?B?")) {
        decoded += QString::fromLatin1(part);
        continue;
      }
      EXPECT_LE(part.size(), 75);
      ASSERT_TRUE(part.endsWith("?="));
      const QByteArray bytes = QByteArray::fromBase64(part.mid(10, part.size() - 12));
      const QString piece = QString::fromUtf8(bytes);
      EXPECT_EQ(piece.toUtf8(), bytes) << "a word splits a UTF-8 character";
      decoded += piece;
    }
    EXPECT_EQ(decoded, c.expectedSubject);

    // The body: base64 of the UTF-8 text with CRLF line endings.
    EXPECT_EQ(QString::fromUtf8(QByteArray::fromBase64(BodySection(source))), c.expectedBody);
  }
}

TEST(EmailMessageTest, MessageIdsAreUniqueAndInTheSendersDomain) {
  EmailMessage message;
  message.FromAddress = QStringLiteral("vantrix@mail.example");
  const QList<QByteArray> first = FieldLines(message.Source(), "Message-ID");
  const QList<QByteArray> second = FieldLines(message.Source(), "Message-ID");
  ASSERT_EQ(first.size(), 1);
  ASSERT_EQ(second.size(), 1);
  EXPECT_NE(first[0], second[0]);
  EXPECT_TRUE(first[0].startsWith('<') && first[0].endsWith("@mail.example>"))
      << first[0].constData();
}

}  // namespace
}  // namespace vantrix::test
