#include "ui/FinestraPrincipale.h"

namespace vantrix::ui {

// The outgoing-mail handlers: the queue is not wired in yet, so the timers
// tick and nothing happens.
void FinestraPrincipale::TimerInvioMail_Action() {}
void FinestraPrincipale::TimerFinestraInvioMail_Action() {}
void FinestraPrincipale::ThreadInvioMail_Run() {}

}  // namespace vantrix::ui
