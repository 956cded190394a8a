#include "mail/EmailMessage.h"

namespace vantrix::mail {

QByteArray EmailMessage::Source() const { return {}; }

QByteArray EmailMessage::Source(const QDateTime& /*date*/, const QString& /*messageId*/) const {
  return {};
}

}  // namespace vantrix::mail
