#pragma once

#include <functional>

namespace pelvar::upload {

// The scan timer Timer1: periodic, with an interval in milliseconds and an
// on/off switch. It fires only while enabled and with an interval other than
// 0. Setting a property to the value it has changes nothing; changing either
// restarts the period from that moment. The GUI implements it over QTimer,
// pelvar-cli over its own loop, tests by hand.
class ScanTimer {
 public:
  virtual ~ScanTimer() = default;
  virtual void SetInterval(int milliseconds) = 0;
  virtual int Interval() const = 0;
  virtual void SetEnabled(bool enabled) = 0;
  virtual bool Enabled() const = 0;

  // Called on every firing (Timer1Timer).
  std::function<void()> onTimer;
};

}  // namespace pelvar::upload
