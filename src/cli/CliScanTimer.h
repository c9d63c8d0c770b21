#pragma once

#include <chrono>
#include <functional>
#include <optional>

#include "upload/ScanTimer.h"

namespace pelvar::cli {

// The scan timer of pelvar-cli, driven by the program's own event loop: the
// loop asks when the timer fires next, sleeps until then (or until a signal)
// and calls FireIfDue. It fires only while enabled with an interval other
// than 0; setting a property to the value it has changes nothing; changing
// either restarts the period from that moment. A firing that comes late
// (the loop was busy for longer than a period) fires once, not once per
// missed period. The clock is injectable so tests drive time by hand.
class CliScanTimer : public upload::PeriodicScanTimer {
 public:
  using Clock = std::chrono::steady_clock;

  explicit CliScanTimer(std::function<Clock::time_point()> now = Clock::now);

  // When the timer fires next; nothing while it is silent.
  std::optional<Clock::time_point> NextFiring() const;

  // Calls onTimer once when a firing is due now; returns whether it did.
  bool FireIfDue();

 private:
  void Restart() override { periodStart_ = now_(); }

  std::function<Clock::time_point()> now_;
  Clock::time_point periodStart_;
};

}  // namespace pelvar::cli
