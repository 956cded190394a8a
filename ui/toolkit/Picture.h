#pragma once

#include <QPixmap>
#include <QString>

namespace vantrix::ui {

// A picture of the program's resources, by file name ("ok.jpg"). Each one
// is loaded the first time it is asked for and shared from then on, so
// every caller gets the same pixmap (same cacheKey). A name that is not a
// resource gives a null pixmap.
const QPixmap& Picture(const QString& fileName);

}  // namespace vantrix::ui
