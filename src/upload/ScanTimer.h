#pragma once

#include <functional>
#include <stdexcept>

namespace pelvar::upload {

// The scan timer Timer1: periodic, with an interval in milliseconds and an
// on/off switch. It fires only while enabled and with an interval other than
// 0. Setting a property to the value it has changes nothing; changing either
// restarts the period from that moment. Each window program implements it
// over its system's timer (through PeriodicScanTimer), pelvar-cli over its
// own loop, tests by hand.
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

// A scan timer's two properties with the rule above: a change of either
// calls Restart, which stops the system's timer and, when Fires(), starts a
// fresh period.
class PeriodicScanTimer : public ScanTimer {
 public:
  explicit PeriodicScanTimer(int initialInterval) : interval_(initialInterval) {}

  void SetInterval(int milliseconds) final {
    if (milliseconds == interval_)
      return;
    interval_ = milliseconds;
    Restart();
  }
  int Interval() const final { return interval_; }
  void SetEnabled(bool enabled) final {
    if (enabled == enabled_)
      return;
    enabled_ = enabled;
    Restart();
  }
  bool Enabled() const final { return enabled_; }

  // Enabled, with an interval above 0.
  bool Fires() const { return enabled_ && interval_ > 0; }

  // Receives an error that escapes onTimer (the handler's edge); unset, the
  // error goes on to the caller of Fire.
  std::function<void(const std::exception&)> onError;

 protected:
  virtual void Restart() = 0;
  // One firing: onTimer, its error handed to onError.
  void Fire() {
    if (!onTimer)
      return;
    try {
      onTimer();
    } catch (const std::exception& error) {
      if (!onError)
        throw;
      onError(error);
    }
  }

 private:
  int interval_;
  bool enabled_ = false;
};

}  // namespace pelvar::upload
