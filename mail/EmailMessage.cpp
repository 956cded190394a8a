#include "mail/EmailMessage.h"

#include <algorithm>
#include <cstdlib>

#include <QLocale>
#include <QTimeZone>
#include <QUuid>

namespace vantrix::mail {

namespace {

constexpr qsizetype kBase64LineLength = 76;
// RFC 2047: a line with encoded-words is at most 76 characters, and so is
// each word; "=?UTF-8?B?" and "?=" take 12 of them. On a continuation line
// (" " + word) that leaves 60 base64 characters, 45 bytes of text; on the
// first line, after "Subject: ", 52 characters, 39 bytes.
constexpr qsizetype kFirstEncodedWordBytes = 39;
constexpr qsizetype kEncodedWordBytes = 45;

// A header field's text on one line: line breaks (and other control
// characters that could end or bend the field) become spaces.
QString OneLine(const QString& text) {
  QString line = text;
  for (QChar& c : line) {
    if (c == u'\r' || c == u'\n' || c == u'\t' || c == u'\0') c = u' ';
  }
  return line;
}

bool IsPlainAscii(const QByteArray& bytes) {
  for (const char c : bytes) {
    const auto u = static_cast<unsigned char>(c);
    if (u >= 0x80 || (u < 0x20 && u != '\t')) return false;
  }
  return true;
}

// The Subject field's value: as it is when it is plain ASCII, otherwise
// UTF-8 encoded-words folded onto continuation lines. A word never splits a
// UTF-8 sequence.
QByteArray SubjectValue(const QString& subject) {
  const QByteArray utf8 = OneLine(subject).toUtf8();
  if (IsPlainAscii(utf8)) return utf8;
  QByteArray value;
  qsizetype start = 0;
  while (start < utf8.size()) {
    const qsizetype room = value.isEmpty() ? kFirstEncodedWordBytes : kEncodedWordBytes;
    qsizetype end = std::min(start + room, utf8.size());
    // Back off to the first byte of a sequence (continuation bytes are 10xxxxxx).
    while (end < utf8.size() && end > start &&
           (static_cast<unsigned char>(utf8[end]) & 0xC0) == 0x80) {
      --end;
    }
    if (!value.isEmpty()) value += "\r\n ";
    value += "=?UTF-8?B?" + utf8.mid(start, end - start).toBase64() + "?=";
    start = end;
  }
  return value;
}

// The addresses of a field, separated by commas.
QByteArray AddressList(const QStringList& addresses) {
  QStringList clean;
  for (const QString& address : addresses) clean.append(OneLine(address).trimmed());
  return clean.join(QStringLiteral(", ")).toUtf8();
}

// The text with CRLF line endings: a lone CR or LF also ends a line.
QByteArray CanonicalText(const QString& text) {
  const QByteArray utf8 = text.toUtf8();
  QByteArray out;
  out.reserve(utf8.size() + utf8.size() / 32 + 2);
  for (qsizetype i = 0; i < utf8.size(); ++i) {
    const char c = utf8[i];
    if (c == '\r') {
      out += "\r\n";
      if (i + 1 < utf8.size() && utf8[i + 1] == '\n') ++i;
    } else if (c == '\n') {
      out += "\r\n";
    } else {
      out += c;
    }
  }
  return out;
}

// RFC 5322 date-time, e.g. "Tue, 10 Dec 2024 14:03:05 +0100", with English
// names whatever the user's language.
QByteArray DateValue(const QDateTime& date) {
  const QLocale c = QLocale::c();
  const int offset = date.offsetFromUtc();
  const int minutes = std::abs(offset) / 60;
  const QString zone = QStringLiteral("%1%2%3")
                           .arg(QChar(offset < 0 ? u'-' : u'+'))
                           .arg(minutes / 60, 2, 10, QLatin1Char('0'))
                           .arg(minutes % 60, 2, 10, QLatin1Char('0'));
  return (c.toString(date, QStringLiteral("ddd, d MMM yyyy HH:mm:ss ")) + zone).toUtf8();
}

// The domain for Message-IDs: the sender's, or a reserved one.
QString IdDomain(const QString& from) {
  const qsizetype at = from.lastIndexOf(u'@');
  QString domain = at >= 0 ? from.mid(at + 1).trimmed() : QString();
  domain.remove(u'<').remove(u'>').remove(u' ');
  return domain.isEmpty() ? QStringLiteral("vantrix.invalid") : domain;
}

}  // namespace

QByteArray EmailMessage::Source() const {
  const QString id =
      QUuid::createUuid().toString(QUuid::WithoutBraces) + u'@' + IdDomain(FromAddress);
  return Source(QDateTime::currentDateTime(), id);
}

QByteArray EmailMessage::Source(const QDateTime& date, const QString& messageId) const {
  QByteArray out;
  out += "Date: " + DateValue(date) + "\r\n";
  out += "Message-ID: <" + OneLine(messageId).toUtf8() + ">\r\n";
  out += "From: " + AddressList({FromAddress}) + "\r\n";
  out += "To: " + AddressList(ToAddresses) + "\r\n";
  out += "Subject: " + SubjectValue(Subject) + "\r\n";
  out += "MIME-Version: 1.0\r\n";
  out += "Content-Type: text/plain; charset=UTF-8\r\n";
  out += "Content-Transfer-Encoding: base64\r\n";
  out += "\r\n";
  const QByteArray body = CanonicalText(BodyPlainText).toBase64();
  for (qsizetype i = 0; i < body.size(); i += kBase64LineLength) {
    out += body.mid(i, kBase64LineLength) + "\r\n";
  }
  return out;
}

}  // namespace vantrix::mail
