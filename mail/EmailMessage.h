#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QMetaType>
#include <QString>
#include <QStringList>

namespace vantrix::mail {

// One outgoing e-mail: a plain-text message in UTF-8 from one sender to one
// or more recipients.
class EmailMessage {
public:
  // The sender's address (also the envelope sender), e.g. "vantrix@mail.example".
  QString FromAddress;
  // The recipients' addresses, in order.
  QStringList ToAddresses;
  QString Subject;
  // The text, any line endings; sent as UTF-8.
  QString BodyPlainText;

  // The message as it goes to the relay: RFC 5322 headers (Date,
  // Message-ID, From, To, Subject as an RFC 2047 encoded-word when it is not
  // plain ASCII, MIME-Version), a text/plain; charset=UTF-8 body in base64,
  // CRLF line endings throughout. Line breaks in the header fields are
  // dropped so that no field can add headers of its own. Dot-stuffing is
  // left to the SMTP client.
  QByteArray Source() const;
  // The same with a given date and Message-ID (without angle brackets).
  QByteArray Source(const QDateTime& date, const QString& messageId) const;

  friend bool operator==(const EmailMessage&, const EmailMessage&) = default;
};

}  // namespace vantrix::mail

Q_DECLARE_METATYPE(vantrix::mail::EmailMessage)
