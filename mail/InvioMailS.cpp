#include "mail/InvioMailS.h"

#include <QList>

#include "mail/InvioMailGlob.h"
#include "ui/Seam.h"

namespace vantrix::mail {

namespace Glob = InvioMailGlob;

namespace {

const QString kEndOfLine = QStringLiteral("\n");

}  // namespace

InvioMailS::InvioMailS(QObject* parent) : SMTPSecureSocket(parent) {
  connect(this, &SMTPSecureSocket::ConnectionEstablished, this,
          &InvioMailS::ConnectionEstablished_Handler);
  connect(this, &SMTPSecureSocket::MessageSent, this, &InvioMailS::MessageSent_Handler);
  connect(this, &SMTPSecureSocket::MailSent, this, &InvioMailS::MailSent_Handler);
  connect(this, &SMTPSecureSocket::ServerError, this, &InvioMailS::ServerError_Handler);
  connect(this, &SMTPSecureSocket::Error, this, &InvioMailS::Error_Handler);
}

void InvioMailS::ConnectionEstablished_Handler() {}

void InvioMailS::MessageSent_Handler() {
  if (ProgressDisplay* display = Glob::Display()) display->Step();
}

void InvioMailS::MailSent_Handler() {
  ui::TheSeam().Beep();
  Glob::SetInvioInCorso(false);
  if (ProgressDisplay* display = Glob::Display()) display->Close();
  deleteLater();
}

void InvioMailS::ServerError_Handler(int /*code*/, const QString& text,
                                     const EmailMessage& /*message*/) {
  if (ProgressDisplay* display = Glob::Display()) display->ShowError(text);
  ui::TheSeam().MsgBox(text + kEndOfLine + QStringLiteral("Invio annullato"));
  // The box was modal: the display is asked for again.
  Disconnect();
  Glob::SetInvioInCorso(false);
  if (ProgressDisplay* display = Glob::Display()) display->Close();
  deleteLater();
}

void InvioMailS::Error_Handler() {
  const int code = LastErrorCode();
  if (code != TransportError::kNone && code != TransportError::kClosedWhenIdle) {
    if (ProgressDisplay* display = Glob::Display()) {
      display->ShowError(QStringLiteral("Errore ") + QString::number(code));
    }
    Disconnect();
    // Nothing is lost: what was on its way goes back first, then what was
    // still waiting, ahead of anything queued since the batch was taken;
    // the sending timer tries them again.
    QList<EmailMessage> back;
    if (std::optional<EmailMessage> inTransit = MessageInTransit()) back.append(*inTransit);
    back.append(Messages.Snapshot());
    Glob::RequeueAhead(back);
    Glob::SetInvioInCorso(false);
  }
  // An error is the end of the batch either way.
  deleteLater();
}

}  // namespace vantrix::mail
