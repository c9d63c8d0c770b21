#pragma once

#include <QObject>
#include <QTimer>
#include "upload/ScanTimer.h"

namespace pelvar::app {

// The scan timer Timer1 over a QTimer. Fires only while enabled and with an
// interval other than 0 (a QTimer of interval 0 would fire continuously, so
// it is never started then). Setting a property to its present value changes
// nothing; changing either restarts the period. As stored with the window it
// starts disabled with an interval of 10 000 ms.
class QtScanTimer : public QObject, public upload::PeriodicScanTimer {
  Q_OBJECT

 public:
  explicit QtScanTimer(QObject* parent = nullptr);

  // True while the underlying timer runs: enabled with an interval above 0.
  bool Armed() const { return timer_.isActive(); }

 private:
  void Restart() override;

  QTimer timer_;
};

}  // namespace pelvar::app
