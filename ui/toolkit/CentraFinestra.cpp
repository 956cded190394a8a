#include "ui/toolkit/CentraFinestra.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace vantrix::ui {

WindowPlace CentredPlace(QSize screen, QSize window) {
  // The conversion to int drops the fraction toward zero.
  WindowPlace place;
  place.top = static_cast<int>(screen.height() * 0.5 - window.height() * 0.5);
  place.left = static_cast<int>(screen.width() * 0.5 - window.width() * 0.5);
  return place;
}

void CentraFinestra(QWidget& window) {
  const auto screens = QGuiApplication::screens();
  if (screens.isEmpty()) return;
  const QRect screen = screens.first()->geometry();
  const WindowPlace place = CentredPlace(screen.size(), window.size());
  // Top and left are those of the content area, as the window's size is.
  QRect geometry = window.geometry();
  geometry.moveTop(place.top);
  geometry.moveLeft(place.left);
  window.setGeometry(geometry);
}

}  // namespace vantrix::ui
