#pragma once

#include <QList>
#include <QString>
#include <QtGlobal>

#include "mail/EmailMessage.h"
#include "mail/SMTPSecureSocket.h"

namespace vantrix::mail {

// The sender of one batch of the outgoing-mail queue: an SMTPSecureSocket
// whose events drive the progress display, the alert sound and the
// program-wide mail values of InvioMailGlob. InvioMailGlob::InvioMailOk
// makes one per batch; it frees itself (deleteLater) once it has reported
// the end of its batch. Its handlers run on the user-interface thread.
//
// Every handler first asks whether its batch is still the current one
// (InvioMailGlob::IsCurrentBatch); when it is not, the sender stops and
// frees itself without touching the display or the program-wide values.
class InvioMailS : public SMTPSecureSocket {
  Q_OBJECT

public:
  explicit InvioMailS(QObject* parent = nullptr);

  // The number of the batch this sender carries (InvioMailGlob).
  quint64 BatchNumber = 0;

  // The handlers, connected to the events by the constructor.
  void ConnectionEstablished_Handler();
  // One step of the progress display.
  void MessageSent_Handler();
  // The alert sound, the batch is over, the progress display closes.
  void MailSent_Handler();
  // A transient refusal (an SMTP 4xx reply: "try later") is handled like a
  // transport failure: the progress display shows the error with the
  // server's text and stays open, and the message in transit followed by
  // the messages not yet sent go back to the front of the queue for the
  // sending timer to retry.
  // A permanent refusal (5xx): the progress display shows the error with the
  // server's text, a box tells the user "<text>\nInvio annullato"; once it
  // is dismissed the connection is closed, the batch is over and the
  // display closes. The rest of the batch is dropped.
  void ServerError_Handler(int code, const QString& text, const EmailMessage& message);
  // Codes 0 and 102 are passed over. Otherwise the progress display shows
  // "Errore <code>" and stays open, the connection is closed and the queue
  // becomes the message in transit followed by the messages not yet sent:
  // the sending timer retries them as a new batch. Either way the sender
  // then frees itself.
  void Error_Handler();

  // The user cancelled the batch (InvioMailGlob::AnnullaInvio): stops at
  // once without reporting anything, puts the messages not known to have
  // arrived back at the front of the queue and frees itself.
  void Annulla();

private:
  // Whether the batch is still the current one; a sender whose batch is
  // not stops and frees itself.
  bool StillCurrent();
  // The message in transit, if any, followed by those not yet sent.
  QList<EmailMessage> NotSent() const;
};

}  // namespace vantrix::mail
