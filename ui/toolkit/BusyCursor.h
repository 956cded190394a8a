#pragma once

#include <QGuiApplication>

namespace vantrix::ui {

// Shows the wait cursor over the whole program while it lives, for work
// that holds the user-interface thread (connecting, reading schemas).
class BusyCursor {
public:
  BusyCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
  ~BusyCursor() { QGuiApplication::restoreOverrideCursor(); }
  BusyCursor(const BusyCursor&) = delete;
  BusyCursor& operator=(const BusyCursor&) = delete;
};

}  // namespace vantrix::ui
