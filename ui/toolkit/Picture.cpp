#include "ui/toolkit/Picture.h"

#include <map>

#include <QDir>

// Registers the compiled-in pictures; outside any namespace, as Qt needs.
static void RegisterPictures() { Q_INIT_RESOURCE(pictures); }

namespace vantrix::ui {

const QPixmap& Picture(const QString& fileName) {
  static const bool registered = (RegisterPictures(), true);
  (void)registered;
  // A node-based map keeps every returned reference valid as more pictures
  // are added. Never destroyed: pixmaps must not outlive the application
  // object, and these are kept for the whole run anyway.
  static auto* loaded = new std::map<QString, QPixmap>();
  auto found = loaded->find(fileName);
  if (found == loaded->end())
    found = loaded->emplace(fileName, QPixmap(QStringLiteral(":/pictures/") + fileName)).first;
  return found->second;
}

}  // namespace vantrix::ui
