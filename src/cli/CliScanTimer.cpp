#include "cli/CliScanTimer.h"

#include <utility>

namespace pelvar::cli {

CliScanTimer::CliScanTimer(std::function<Clock::time_point()> now)
    : now_(std::move(now)), periodStart_(now_()) {}

void CliScanTimer::SetInterval(int milliseconds) {
  if (milliseconds == interval_)
    return;
  interval_ = milliseconds;
  periodStart_ = now_();
}

void CliScanTimer::SetEnabled(bool enabled) {
  if (enabled == enabled_)
    return;
  enabled_ = enabled;
  periodStart_ = now_();
}

std::optional<CliScanTimer::Clock::time_point> CliScanTimer::NextFiring() const {
  if (!enabled_ || interval_ <= 0)
    return std::nullopt;
  return periodStart_ + std::chrono::milliseconds(interval_);
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
  periodStart_ = now - *due < std::chrono::milliseconds(interval_) ? *due : now;
  if (onTimer)
    onTimer();
  return true;
}

}  // namespace pelvar::cli
