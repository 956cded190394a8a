#pragma once

#include <QTimer>

namespace vantrix::update {

// The version-check timer of the main window. Its Action is the check of
// the running version against the one the support server offers; each
// check sets the timer's next period itself.
class TimerVersione : public QTimer {
public:
  explicit TimerVersione(QObject* parent = nullptr);

  // The offered update is mandatory: the offer cannot be postponed.
  bool ObbligoQuit = false;

  // Runs on every timeout, on the user-interface thread.
  void Action();
};

}  // namespace vantrix::update
