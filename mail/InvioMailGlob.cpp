#include "mail/InvioMailGlob.h"

#include <mutex>
#include <utility>

#include <QCoreApplication>
#include <QPointer>
#include <QThread>

#include "Config.h"
#include "mail/InvioMailS.h"

namespace vantrix::mail {

SenderSettings SenderSettings::Defaults() {
  SenderSettings settings;
  settings.Address = QString::fromUtf8(config::kMailRelay);
  settings.Username = QString::fromUtf8(config::kMailAccount);
  settings.Password = QString::fromUtf8(config::kMailPassword);
  return settings;
}

namespace InvioMailGlob {

namespace {

// The sender settings the facility always uses for a batch: STARTTLS, TLS
// with the version negotiated.
constexpr int kStartTls = 0;
constexpr int kTlsNegotiated = 1;

// Everything program-wide, under the one lock.
struct State {
  std::mutex mutex;
  QList<EmailMessage> codaMessaggi;
  QList<EmailMessage> messaggidainviare;
  bool invioInCorso = false;
  // The current batch's number (the last one given out) and its sender
  // while it is on its way. The mail thread sets the pointer as it makes
  // the sender; only the user-interface thread uses it, and only that
  // thread frees senders.
  quint64 batchNumber = 0;
  QPointer<InvioMailS> sender;
  SenderSettings settings = SenderSettings::Defaults();
  ProgressDisplay* display = nullptr;
  std::function<void(bool on)> switchProgressTimer;
};

State& S() {
  static State state;
  return state;
}

// Runs f on the state under the lock and answers what it answers.
template <class F>
auto Locked(F&& f) {
  State& s = S();
  const std::lock_guard lock(s.mutex);
  return f(s);
}

}  // namespace

void Attach(ProgressDisplay* display, std::function<void(bool on)> switchProgressTimer) {
  Locked([&](State& s) {
    s.display = display;
    s.switchProgressTimer = std::move(switchProgressTimer);
  });
}

ProgressDisplay* Display() {
  return Locked([&](State& s) { return s.display; });
}

SenderSettings Settings() {
  return Locked([&](State& s) { return s.settings; });
}

void SetSettings(const SenderSettings& settings) {
  Locked([&](State& s) { s.settings = settings; });
}

void Enqueue(const EmailMessage& message) {
  Locked([&](State& s) { s.codaMessaggi.append(message); });
}

QList<EmailMessage> CodaMessaggi() {
  return Locked([&](State& s) { return s.codaMessaggi; });
}

void ReplaceCodaMessaggi(const QList<EmailMessage>& messages) {
  Locked([&](State& s) {
    s.codaMessaggi.clear();
    s.codaMessaggi.append(messages);
  });
}

void RequeueAhead(const QList<EmailMessage>& messages) {
  Locked([&](State& s) { s.codaMessaggi = messages + s.codaMessaggi; });
}

QList<EmailMessage> messaggidainviare() {
  return Locked([&](State& s) { return s.messaggidainviare; });
}

qsizetype BatchSize() {
  return Locked([&](State& s) { return s.messaggidainviare.size(); });
}

bool InvioInCorso() {
  return Locked([&](State& s) { return s.invioInCorso; });
}

void SetInvioInCorso(bool value) {
  Locked([&](State& s) { s.invioInCorso = value; });
}

void AnnullaInvio() {
  QPointer<InvioMailS> sender;
  Locked([&](State& s) {
    // Whatever is on its way is no longer current from here on.
    ++s.batchNumber;
    s.invioInCorso = false;
    sender = std::exchange(s.sender, nullptr);
  });
  if (sender) sender->Annulla();
}

bool IsCurrentBatch(quint64 number) {
  return Locked([&](State& s) { return number == s.batchNumber && s.invioInCorso; });
}

bool EndBatch(quint64 number) {
  return Locked([&](State& s) {
    if (number != s.batchNumber || !s.invioInCorso) return false;
    s.invioInCorso = false;
    s.sender = nullptr;
    return true;
  });
}

void InvioMailOk() {
  State& s = S();
  InvioMailS* sender = nullptr;
  std::function<void(bool on)> switchProgressTimer;
  {
    const std::lock_guard lock(s.mutex);
    s.messaggidainviare.clear();
    if (s.codaMessaggi.isEmpty()) {
      s.invioInCorso = false;
    } else {
      s.messaggidainviare.append(s.codaMessaggi);
      s.codaMessaggi.clear();
      s.invioInCorso = true;
      // The batch and its sender are made together, under the lock, so a
      // cancel finds either no batch on its way or this one with its sender.
      sender = new InvioMailS;
      sender->BatchNumber = ++s.batchNumber;
      sender->Address = s.settings.Address;
      sender->Port = s.settings.Port;
      sender->SMTPConnectionType = kStartTls;
      sender->ConnectionType = kTlsNegotiated;
      sender->Username = s.settings.Username;
      sender->Password = s.settings.Password;
      sender->CAFile = s.settings.CAFile;
      sender->TimeoutSeconds = s.settings.TimeoutSeconds;
      for (const EmailMessage& message : s.messaggidainviare) sender->Messages.Append(message);
      s.sender = sender;
    }
    switchProgressTimer = s.switchProgressTimer;
  }
  // The switch only queues the change for the user-interface thread, but
  // it is called outside the lock all the same.
  if (switchProgressTimer) switchProgressTimer(sender != nullptr);
  if (sender == nullptr) return;

  // The sender reports to the user-interface thread, so it lives there, and
  // the application owns it: a sender still on its way when the program
  // ends is stopped as the application object goes. It starts sending from
  // there too, so that it is started, cancelled and stopped on one thread;
  // a batch cancelled before that never starts.
  QCoreApplication* app = QCoreApplication::instance();
  if (sender->thread() != app->thread()) sender->moveToThread(app->thread());
  QMetaObject::invokeMethod(
      app,
      [app, weak = QPointer<InvioMailS>(sender)] {
        if (!weak) return;
        weak->setParent(app);
        weak->SendMail();
      },
      Qt::QueuedConnection);
}

void Reset() {
  Locked([&](State& s) {
    s.codaMessaggi.clear();
    s.messaggidainviare.clear();
    s.invioInCorso = false;
    ++s.batchNumber;
    s.sender = nullptr;
    s.settings = SenderSettings::Defaults();
    s.display = nullptr;
    s.switchProgressTimer = {};
  });
}

}  // namespace InvioMailGlob

}  // namespace vantrix::mail
