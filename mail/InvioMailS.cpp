#include "mail/InvioMailS.h"

namespace vantrix::mail {

InvioMailS::InvioMailS(QObject* parent) : SMTPSecureSocket(parent) {}
void InvioMailS::ConnectionEstablished_Handler() {}
void InvioMailS::MessageSent_Handler() {}
void InvioMailS::MailSent_Handler() {}
void InvioMailS::ServerError_Handler(int /*code*/, const QString& /*text*/,
                                     const EmailMessage& /*message*/) {}
void InvioMailS::Error_Handler() {}

}  // namespace vantrix::mail
