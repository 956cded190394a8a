#include <QPointer>
#include <QProgressBar>
#include <QTimer>

#include "mail/InvioMailGlob.h"
#include "ui/FinestraPrincipale.h"
#include "ui/FinestraStatoInvioMail.h"
#include "ui/toolkit/SingleInstance.h"
#include "ui/toolkit/Thread.h"

namespace vantrix::ui {

namespace Glob = mail::InvioMailGlob;

namespace {

// The mail facility's view of the progress window: the operations that
// need a window open one in its initial state.
class MailProgress final : public mail::ProgressDisplay {
public:
  void Step() override { Reach<FinestraStatoInvioMail>().ProgressStep(); }
  void ShowError(const QString& tooltip) override {
    Reach<FinestraStatoInvioMail>().ShowError(tooltip);
  }
  void Close() override { FinestraStatoInvioMail::CloseOpen(); }
};

}  // namespace

void FinestraPrincipale::AttachMail() {
  mailProgress_ = std::make_unique<MailProgress>();
  // The mail thread switches the progress timer; the switching itself runs
  // on this thread, queued, since a timer belongs to its thread.
  QPointer<QTimer> timer = TimerFinestraInvioMail;
  Glob::Attach(mailProgress_.get(), [timer](bool on) {
    QMetaObject::invokeMethod(
        timer,
        [timer, on] {
          if (timer.isNull()) return;
          if (on) {
            timer->start();
          } else {
            timer->stop();
          }
        },
        Qt::QueuedConnection);
  });
}

void FinestraPrincipale::DetachMail() {
  // The mail thread may be about to switch the progress timer: let it end
  // before the timer goes.
  ThreadInvioMail->wait();
  Glob::Attach(nullptr, {});
  mailProgress_.reset();
}

// Every 5 seconds: a new batch is taken when none is on its way.
void FinestraPrincipale::TimerInvioMail_Action() {
  if (!Glob::InvioInCorso() && !ThreadInvioMail->isRunning()) ThreadInvioMail->Start();
}

// The progress timer: a batch still on its way shows the progress window,
// with the bar set to the batch's size.
void FinestraPrincipale::TimerFinestraInvioMail_Action() {
  if (!Glob::InvioInCorso()) return;
  auto& window = Reach<FinestraStatoInvioMail>();
  window.BarraProgresso->setMaximum(static_cast<int>(Glob::BatchSize()));
  window.BarraProgresso->setValue(0);
  TimerFinestraInvioMail->stop();
}

void FinestraPrincipale::ThreadInvioMail_Run() { Glob::InvioMailOk(); }

}  // namespace vantrix::ui
