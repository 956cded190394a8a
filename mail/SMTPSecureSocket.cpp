#include "mail/SMTPSecureSocket.h"

namespace vantrix::mail {

int TransportErrorCode(int /*curlCode*/, bool /*pending*/) { return TransportError::kOther; }

void MessageList::Append(const EmailMessage& message) {
  const std::lock_guard lock(mutex_);
  items_.append(message);
}
std::optional<EmailMessage> MessageList::TakeFirst() {
  const std::lock_guard lock(mutex_);
  if (items_.isEmpty()) return std::nullopt;
  return items_.takeFirst();
}
QList<EmailMessage> MessageList::Snapshot() const {
  const std::lock_guard lock(mutex_);
  return items_;
}
qsizetype MessageList::Count() const {
  const std::lock_guard lock(mutex_);
  return items_.size();
}
void MessageList::Clear() {
  const std::lock_guard lock(mutex_);
  items_.clear();
}

struct SMTPSecureSocket::Batch {};

SMTPSecureSocket::SMTPSecureSocket(QObject* parent) : QObject(parent) {}
SMTPSecureSocket::~SMTPSecureSocket() = default;
std::optional<EmailMessage> SMTPSecureSocket::MessageInTransit() const { return std::nullopt; }
void SMTPSecureSocket::SendMail() {}
void SMTPSecureSocket::Disconnect() {}
int SMTPSecureSocket::LastErrorCode() const { return 0; }
void SMTPSecureSocket::Run(const std::shared_ptr<Batch>& /*batch*/) {}
void SMTPSecureSocket::Post(std::function<void()> /*event*/) {}

}  // namespace vantrix::mail
