#include "mail/InvioMailGlob.h"

#include "Config.h"

namespace vantrix::mail {

SenderSettings SenderSettings::Defaults() {
  SenderSettings settings;
  settings.Address = QString::fromUtf8(config::kMailRelay);
  settings.Username = QString::fromUtf8(config::kMailAccount);
  settings.Password = QString::fromUtf8(config::kMailPassword);
  return settings;
}

namespace InvioMailGlob {

void Attach(ProgressDisplay* /*display*/, std::function<void(bool on)> /*switchProgressTimer*/) {}
ProgressDisplay* Display() { return nullptr; }
SenderSettings Settings() { return SenderSettings::Defaults(); }
void SetSettings(const SenderSettings& /*settings*/) {}
void Enqueue(const EmailMessage& /*message*/) {}
QList<EmailMessage> CodaMessaggi() { return {}; }
void ReplaceCodaMessaggi(const QList<EmailMessage>& /*messages*/) {}
QList<EmailMessage> messaggidainviare() { return {}; }
qsizetype BatchSize() { return 0; }
bool InvioInCorso() { return false; }
void SetInvioInCorso(bool /*value*/) {}
void InvioMailOk() {}
void Reset() {}

}  // namespace InvioMailGlob

}  // namespace vantrix::mail
