#include "app/QtScanTimer.h"

namespace pelvar::app {

QtScanTimer::QtScanTimer(QObject* parent) : QObject(parent) {
  setObjectName("Timer1");
  timer_.setTimerType(Qt::PreciseTimer);
  connect(&timer_, &QTimer::timeout, this, &QtScanTimer::Fire);
}

void QtScanTimer::SetInterval(int milliseconds) {
  if (milliseconds == interval_)
    return;
  interval_ = milliseconds;
  Apply();
}

void QtScanTimer::SetEnabled(bool enabled) {
  if (enabled == enabled_)
    return;
  enabled_ = enabled;
  Apply();
}

void QtScanTimer::Apply() {
  timer_.stop();
  if (enabled_ && interval_ > 0) {
    timer_.setInterval(interval_);
    timer_.start();
  }
}

void QtScanTimer::Fire() {
  if (!onTimer)
    return;
  try {
    onTimer();
  } catch (const std::exception& error) {
    if (onError)
      onError(error);
  }
}

}  // namespace pelvar::app
