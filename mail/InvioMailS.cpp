#include "mail/InvioMailS.h"

#include <QPointer>

#include "mail/InvioMailGlob.h"
#include "ui/toolkit/Seam.h"

namespace vantrix::mail {

namespace Glob = InvioMailGlob;

namespace {

const QString kEndOfLine = QStringLiteral("\n");

// SMTP replies 4xx: the server refuses for now and asks to try later.
bool Transient(int code) { return code >= 400 && code < 500; }

}  // namespace

InvioMailS::InvioMailS(QObject* parent) : SMTPSecureSocket(parent) {
  connect(this, &SMTPSecureSocket::ConnectionEstablished, this,
          &InvioMailS::ConnectionEstablished_Handler);
  connect(this, &SMTPSecureSocket::MessageSent, this, &InvioMailS::MessageSent_Handler);
  connect(this, &SMTPSecureSocket::MailSent, this, &InvioMailS::MailSent_Handler);
  connect(this, &SMTPSecureSocket::ServerError, this, &InvioMailS::ServerError_Handler);
  connect(this, &SMTPSecureSocket::Error, this, &InvioMailS::Error_Handler);
}

bool InvioMailS::StillCurrent() {
  if (Glob::IsCurrentBatch(BatchNumber)) return true;
  Disconnect();
  deleteLater();
  return false;
}

QList<EmailMessage> InvioMailS::NotSent() const {
  QList<EmailMessage> messages;
  if (std::optional<EmailMessage> inTransit = MessageInTransit()) messages.append(*inTransit);
  messages.append(Messages.Snapshot());
  return messages;
}

void InvioMailS::ConnectionEstablished_Handler() { StillCurrent(); }

void InvioMailS::MessageSent_Handler() {
  if (!StillCurrent()) return;
  if (ProgressDisplay* display = Glob::Display()) display->Step();
}

void InvioMailS::MailSent_Handler() {
  if (!StillCurrent()) return;
  ui::TheSeam().Beep();
  if (Glob::EndBatch(BatchNumber)) {
    if (ProgressDisplay* display = Glob::Display()) display->Close();
  }
  deleteLater();
}

void InvioMailS::ServerError_Handler(int code, const QString& text,
                                     const EmailMessage& /*message*/) {
  if (!StillCurrent()) return;
  if (ProgressDisplay* display = Glob::Display()) display->ShowError(text);
  if (Transient(code)) {
    // Like a lost connection: nothing is dropped, the sending timer tries
    // the batch again.
    Disconnect();
    Glob::RequeueAhead(NotSent());
    Glob::EndBatch(BatchNumber);
    deleteLater();
    return;
  }
  const QPointer<InvioMailS> self(this);
  ui::TheSeam().MsgBox(text + kEndOfLine + QStringLiteral("Invio annullato"));
  // The box was modal: the sender and the display are asked for again.
  if (!self) return;
  Disconnect();
  if (Glob::EndBatch(BatchNumber)) {
    if (ProgressDisplay* display = Glob::Display()) display->Close();
  }
  deleteLater();
}

void InvioMailS::Error_Handler() {
  if (!StillCurrent()) return;
  const int code = LastErrorCode();
  if (code != TransportError::kNone && code != TransportError::kClosedWhenIdle) {
    if (ProgressDisplay* display = Glob::Display()) {
      display->ShowError(QStringLiteral("Errore ") + QString::number(code));
    }
    Disconnect();
    // Nothing is lost: what was on its way goes back first, then what was
    // still waiting, ahead of anything queued since the batch was taken;
    // the sending timer tries them again.
    Glob::RequeueAhead(NotSent());
    Glob::EndBatch(BatchNumber);
  }
  // An error is the end of the batch either way.
  deleteLater();
}

void InvioMailS::Annulla() {
  // Disconnect waits for the sending thread, so what it had not handed over
  // is known for certain afterwards.
  Disconnect();
  Glob::RequeueAhead(NotSent());
  deleteLater();
}

}  // namespace vantrix::mail
