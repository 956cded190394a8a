#pragma once

#include <functional>

#include <QList>
#include <QString>
#include <QtGlobal>

#include "mail/EmailMessage.h"

// The outgoing-mail facility: a program-wide queue of messages and the
// sending of whatever it holds as one batch.
//
// The main window's sending timer (every 5 s) starts the mail thread when
// no batch is on its way (InvioInCorso() is false) and the thread is not
// running; the thread runs InvioMailOk() once. InvioMailOk takes the whole
// queue as the batch (messaggidainviare) and hands it to a new InvioMailS,
// which sends it on a thread of its own and reports on the user-interface
// thread. While a batch is on its way the progress timer of the main window
// runs and the progress display shows how it goes.
//
// Every batch has a number of its own. Only the sender of the current batch
// (the last one taken, not cancelled) may act on the display and the
// program-wide values: a cancelled batch's sender is stopped, and a sender
// whose batch is no longer current stops at its next event without showing
// anything, so an old batch can never close, reopen or move the display of
// a newer one, nor end it.
namespace vantrix::mail {

// What the facility needs of the progress window. Called on the
// user-interface thread only.
class ProgressDisplay {
public:
  ProgressDisplay() = default;
  ProgressDisplay(const ProgressDisplay&) = delete;
  ProgressDisplay& operator=(const ProgressDisplay&) = delete;
  virtual ~ProgressDisplay() = default;
  // One message was sent.
  virtual void Step() = 0;
  // The batch failed: the error display (its label with the tooltip, and
  // the cancel button).
  virtual void ShowError(const QString& tooltip) = 0;
  // The batch is over: the window closes.
  virtual void Close() = 0;
};

// Where batches go and as whom. The defaults come from the build settings
// (Config.h); the tests point them at their test server.
struct SenderSettings {
  QString Address;  // the relay: config::kMailRelay
  int Port = 587;
  QString Username;  // the sender account: config::kMailAccount
  QString Password;  // config::kMailPassword
  // A PEM file of the certificate authorities to trust instead of the
  // system's store; empty: the system's store.
  QString CAFile;
  // How long connecting, and waiting for any one reply, may take.
  int TimeoutSeconds = 60;

  // The settings of the build.
  static SenderSettings Defaults();
};

// The program-wide values CodaMessaggi (the queue), messaggidainviare (the
// batch taken from it last) and InvioInCorso (a batch is on its way) are
// consistent under one lock: every function here may be called from any
// thread unless it says otherwise.
namespace InvioMailGlob {

// Installs the progress display (not owned; nullptr: none) and the switch
// of the progress timer. switchProgressTimer(true) starts the main window's
// progress timer (repeating, 5 s), switchProgressTimer(false) stops it. It
// is called on the mail thread, so it must be safe to call from any thread
// and must not wait for the user-interface thread: the main window passes a
// function that queues the switching to the user-interface thread (e.g.
// QMetaObject::invokeMethod(timer, ..., Qt::QueuedConnection)). Call it on
// the user-interface thread, before the mail thread first runs.
void Attach(ProgressDisplay* display, std::function<void(bool on)> switchProgressTimer);
// The progress display installed, or nullptr. For the user-interface thread.
ProgressDisplay* Display();

// The sender settings that the next batch uses.
SenderSettings Settings();
void SetSettings(const SenderSettings& settings);

// Adds a message at the end of the queue.
void Enqueue(const EmailMessage& message);
// CodaMessaggi, as it is now.
QList<EmailMessage> CodaMessaggi();
// Empties CodaMessaggi and fills it with the messages, in order.
void ReplaceCodaMessaggi(const QList<EmailMessage>& messages);
// Puts the messages, in order, ahead of whatever CodaMessaggi holds: a
// failed batch goes back in front of messages queued while it was on its way.
void RequeueAhead(const QList<EmailMessage>& messages);
// messaggidainviare, as it is now.
QList<EmailMessage> messaggidainviare();
// The number of messages in messaggidainviare: the progress window's total.
qsizetype BatchSize();

bool InvioInCorso();
// Sets the flag as it is, whatever batch is on its way.
void SetInvioInCorso(bool value);

// The progress window's cancel button: the batch on its way, if any, is
// cancelled. Its sender is stopped at once and reports nothing more; the
// messages it had not yet handed over (the one on its way included) go back
// to the front of the queue, in order, for the next batch, since the
// cancel only gives up this attempt. No batch is on its way afterwards, so
// the sending timer starts the next one. For the user-interface thread.
void AnnullaInvio();

// Whether the batch with this number is the current one: the last batch
// taken, neither ended nor cancelled since.
bool IsCurrentBatch(quint64 number);
// Ends the batch with this number when it is the current one (no batch on
// its way any more) and answers whether it was; nothing changes otherwise.
bool EndBatch(quint64 number);

// The mail thread's body: takes the queue as a new batch, numbered, and
// makes its sender (an InvioMailS that lives in the application's main
// thread and starts sending there, from its event loop); with an empty
// queue, ends the batch instead and stops the progress timer. Returns at
// once. Needs the application object.
void InvioMailOk();

// Back to the start: empty queue and batch, no batch on its way (a sender
// still alive is no longer current), no display or timer switch, the
// build's sender settings. For tests.
void Reset();

}  // namespace InvioMailGlob

}  // namespace vantrix::mail
