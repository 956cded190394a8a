#pragma once

#include <QSize>

class QWidget;

namespace vantrix::ui {

struct WindowPlace {
  int top = 0;
  int left = 0;
  bool operator==(const WindowPlace&) const = default;
};

// Where a window of the given size goes to sit in the middle of a screen of
// the given size: half the screen less half the window, the fraction
// dropped toward zero. On a screen smaller than the window the values are
// negative, and they are used as they are.
WindowPlace CentredPlace(QSize screen, QSize window);

// Centres a window on the main screen (its full area, menu bar and dock
// included), at the window's current size: first the top, then the left.
void CentraFinestra(QWidget& window);

}  // namespace vantrix::ui
