#include "ui/Texts.h"

#include <QStringList>

#include "Config.h"

namespace vantrix::ui::texts {

QString D4() { return QString::fromUtf8(kD4Lead) + QString::fromUtf8(config::kFeedbackAddress); }

QString SplashText() {
  const QString eol = QString::fromLatin1(kEndOfLine);
  return QString::fromUtf8(kD1) + eol + QString::fromUtf8(kD2) + eol + QString::fromUtf8(kD3) +
         eol + eol + D4();
}

QString AboutText() {
  return QStringList{QString::fromUtf8(kD1), QString::fromUtf8(kD2), QString::fromUtf8(kD3), D4(),
                     QString::fromUtf8(kD5)}
      .join(QString::fromLatin1(kEndOfLine));
}

QString WebsiteUrl() {
  return QStringLiteral("http://") + QString::fromUtf8(config::kWebHost) +
         QStringLiteral("/index.php?l=2");
}

QString FeedbackMailUrl() {
  return QStringLiteral("mailto:") + QString::fromUtf8(config::kFeedbackAddress);
}

}  // namespace vantrix::ui::texts
