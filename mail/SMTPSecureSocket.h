#pragma once

#include <QList>
#include <QObject>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

#include "mail/EmailMessage.h"

namespace vantrix::mail {

// Transport error codes, as LastErrorCode reports them after Error. They
// are made from libcurl's results in one table (TransportErrorCode, in
// SMTPSecureSocket.cpp):
//
//   0    no error
//   100  could not connect: the relay refused the connection or is unreachable
//   102  the server closed the connection when nothing was pending (a benign
//        close after the batch)
//   103  the relay's host name could not be resolved
//   104  the connection was lost while messages were pending (the server
//        closed or reset it in the middle of a batch; a batch never opens a
//        second connection, so this includes a close between two messages)
//   105  the relay did not answer in time
//   106  the relay does not offer STARTTLS (or refused it): nothing is sent
//        over an unencrypted connection
//   107  the relay's certificate is not trusted, or the TLS handshake failed
//   199  any other transport failure
//
// Replies of the server itself (a refused login, sender or recipient: SMTP
// 4xx and 5xx) are not transport errors: they come as ServerError.
namespace TransportError {
inline constexpr int kNone = 0;
inline constexpr int kCouldNotConnect = 100;
inline constexpr int kClosedWhenIdle = 102;
inline constexpr int kHostNotResolved = 103;
inline constexpr int kConnectionLost = 104;
inline constexpr int kTimedOut = 105;
inline constexpr int kStartTlsNotOffered = 106;
inline constexpr int kTlsFailed = 107;
inline constexpr int kOther = 199;
}  // namespace TransportError

// The transport code for a libcurl result (a CURLcode). pending: a message
// was being transmitted or was waiting when it happened.
int TransportErrorCode(int curlCode, bool pending);

// A list of messages that two threads share: the user-interface thread and
// the sending thread. Every call takes the list's own lock.
class MessageList {
public:
  void Append(const EmailMessage& message);
  // Takes the first message off the list, or none when it is empty.
  std::optional<EmailMessage> TakeFirst();
  QList<EmailMessage> Snapshot() const;
  qsizetype Count() const;
  void Clear();

private:
  mutable std::mutex mutex_;
  QList<EmailMessage> items_;
};

// An SMTP client on libcurl for one batch of messages: it connects to the
// relay, requires STARTTLS (the relay's certificate and host name are
// verified), logs in and hands over every message of Messages over that one
// connection, on a thread of its own. The envelope sender is each message's
// FromAddress, the envelope recipients its ToAddresses.
//
// The object must live in a thread that runs an event loop (the
// user-interface thread): its events are delivered there, one after the
// other, in the order things happened. A batch ends with exactly one of
// MailSent, ServerError or Error; nothing is reported after that, and
// nothing at all after Disconnect.
class SMTPSecureSocket : public QObject {
  Q_OBJECT

public:
  explicit SMTPSecureSocket(QObject* parent = nullptr);
  // Stops a batch on its way (the transfer is aborted at once; a relay
  // that stopped answering holds it at most TimeoutSeconds) and waits for
  // the sending thread to end.
  ~SMTPSecureSocket() override;
  SMTPSecureSocket(const SMTPSecureSocket&) = delete;
  SMTPSecureSocket& operator=(const SMTPSecureSocket&) = delete;

  // Settings, read when SendMail starts.
  QString Address;             // the relay's host name or address
  int Port = 587;              //
  int SMTPConnectionType = 0;  // 0 = STARTTLS, required (the only kind offered)
  int ConnectionType = 1;      // 1 = TLS, version negotiated (the only kind offered)
  QString Username;
  QString Password;
  // A PEM file of the certificate authorities to trust instead of the
  // system's store; empty: the system's store.
  QString CAFile;
  // How long connecting, and waiting for any one reply, may take.
  int TimeoutSeconds = 60;

  // The messages waiting to be sent. The client takes each one off the list
  // when it begins to transmit it.
  MessageList Messages;

  // The message being transmitted when the batch ended with Error or
  // ServerError (taken off Messages, not known to have arrived); none after
  // MailSent.
  std::optional<EmailMessage> MessageInTransit() const;

  // Starts sending Messages and returns at once. Does nothing while a batch
  // is on its way or after Disconnect.
  void SendMail();
  // Stops the batch, if one is on its way, without reporting anything more,
  // and waits for the sending thread to end.
  void Disconnect();
  // The transport error code (table above) of the Error just reported; 0
  // before any.
  int LastErrorCode() const;

Q_SIGNALS:
  // The relay greeted the client.
  void ConnectionEstablished();
  // One message was accepted by the relay.
  void MessageSent();
  // Every message was accepted: the end of the batch.
  void MailSent();
  // The server refused something (login, sender, recipient or the message),
  // with its reply code and its reply text (the last reply's lines, taken as
  // UTF-8; the code is part of the text too) and the message it was
  // transmitting. The end of the batch: the messages after it are not sent.
  void ServerError(int code, const QString& text, const vantrix::mail::EmailMessage& message);
  // The transport failed (code in LastErrorCode). The end of the batch.
  void Error();

private:
  struct Batch;
  void Run(const std::shared_ptr<Batch>& batch);
  void Post(std::function<void()> event);

  mutable std::mutex mutex_;
  std::optional<EmailMessage> inTransit_;
  int lastErrorCode_ = 0;
  std::shared_ptr<Batch> batch_;
  std::atomic<bool> disconnected_{false};
};

}  // namespace vantrix::mail
