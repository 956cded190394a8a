#include "update/TimerVersione.h"

namespace vantrix::update {

TimerVersione::TimerVersione(QObject* parent) : QTimer(parent) {
  connect(this, &QTimer::timeout, this, &TimerVersione::Action);
}

void TimerVersione::Action() {
  // The check against the support server is not wired in yet: the timer
  // fires and nothing happens.
}

}  // namespace vantrix::update
