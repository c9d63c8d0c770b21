#pragma once

#include <QObject>
#include <QTimer>
#include <functional>
#include <stdexcept>

#include "upload/ScanTimer.h"

namespace pelvar::app {

// The scan timer Timer1 over a QTimer. Fires only while enabled and with an
// interval other than 0 (a QTimer of interval 0 would fire continuously, so
// it is never started then). Setting a property to its present value changes
// nothing; changing either restarts the period. As stored with the window it
// starts disabled with an interval of 10 000 ms.
class QtScanTimer : public QObject, public upload::ScanTimer {
  Q_OBJECT

 public:
  explicit QtScanTimer(QObject* parent = nullptr);

  void SetInterval(int milliseconds) override;
  int Interval() const override { return interval_; }
  void SetEnabled(bool enabled) override;
  bool Enabled() const override { return enabled_; }

  // True while the underlying timer runs: enabled with an interval above 0.
  bool Armed() const { return timer_.isActive(); }

  // Receives an error that escapes onTimer (the handler's edge).
  std::function<void(const std::exception&)> onError;

 private:
  void Apply();
  void Fire();

  QTimer timer_;
  int interval_ = 10000;
  bool enabled_ = false;
};

}  // namespace pelvar::app
