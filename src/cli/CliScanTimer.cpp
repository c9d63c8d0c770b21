#include "cli/CliScanTimer.h"

#include <utility>

namespace pelvar::cli {

CliScanTimer::CliScanTimer(std::function<Clock::time_point()> now)
    : PeriodicScanTimer(0), now_(std::move(now)), periodStart_(now_()) {}

std::optional<CliScanTimer::Clock::time_point> CliScanTimer::NextFiring() const {
  if (!Fires())
    return std::nullopt;
  return periodStart_ + std::chrono::milliseconds(Interval());
}

bool CliScanTimer::FireIfDue() {
  std::optional<Clock::time_point> due = NextFiring();
  if (!due)
    return false;
  Clock::time_point now = now_();
  if (now < *due)
    return false;
  // The next period runs from the due moment, or from now when the loop
  // has fallen more than a whole period behind.
  periodStart_ = now - *due < std::chrono::milliseconds(Interval()) ? *due : now;
  Fire();
  return true;
}

}  // namespace pelvar::cli
