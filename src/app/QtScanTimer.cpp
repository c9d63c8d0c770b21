#include "app/QtScanTimer.h"

namespace pelvar::app {

QtScanTimer::QtScanTimer(QObject* parent) : QObject(parent), PeriodicScanTimer(10000) {
  setObjectName("Timer1");
  timer_.setTimerType(Qt::PreciseTimer);
  connect(&timer_, &QTimer::timeout, this, [this] { Fire(); });
}

void QtScanTimer::Restart() {
  timer_.stop();
  if (Fires()) {
    timer_.setInterval(Interval());
    timer_.start();
  }
}

}  // namespace pelvar::app
