#include "cli/CliScanTimer.h"

#include <gtest/gtest.h>

#include <chrono>

namespace pelvar::cli {
namespace {

using namespace std::chrono_literals;
using Clock = CliScanTimer::Clock;

TEST(CliScanTimer, FiresOnlyWhileEnabledWithAnIntervalAndRestartsOnChange) {
  Clock::time_point now{};
  CliScanTimer timer([&] { return now; });
  int fired = 0;
  timer.onTimer = [&] { ++fired; };

  // Silent with an interval of 0, and while disabled.
  timer.SetEnabled(true);
  EXPECT_FALSE(timer.NextFiring());
  timer.SetEnabled(false);
  timer.SetInterval(1000);
  EXPECT_FALSE(timer.NextFiring());
  now += 5s;
  EXPECT_FALSE(timer.FireIfDue());

  // Enabling starts the period.
  timer.SetEnabled(true);
  EXPECT_EQ(*timer.NextFiring(), Clock::time_point{} + 6s);
  now += 999ms;
  EXPECT_FALSE(timer.FireIfDue());
  now += 1ms;
  EXPECT_TRUE(timer.FireIfDue());
  EXPECT_EQ(fired, 1);
  // Periods follow one another without drift when the loop wakes late by
  // less than a period.
  EXPECT_EQ(*timer.NextFiring(), Clock::time_point{} + 7s);
  now += 1200ms;
  EXPECT_TRUE(timer.FireIfDue());
  EXPECT_EQ(*timer.NextFiring(), Clock::time_point{} + 8s);

  // Setting the value it has changes nothing; changing one restarts.
  now += 500ms;  // 7.7 s
  timer.SetEnabled(true);
  timer.SetInterval(1000);
  EXPECT_EQ(*timer.NextFiring(), Clock::time_point{} + 8s);
  timer.SetInterval(2000);
  EXPECT_EQ(*timer.NextFiring(), Clock::time_point{} + 9700ms);
  timer.SetInterval(1000);
  timer.SetEnabled(false);
  timer.SetEnabled(true);
  EXPECT_EQ(*timer.NextFiring(), Clock::time_point{} + 8700ms);

  // Far behind: one firing, and the next period runs from now.
  now += 10s;  // 17.7 s
  EXPECT_TRUE(timer.FireIfDue());
  EXPECT_FALSE(timer.FireIfDue());
  EXPECT_EQ(fired, 3);
  EXPECT_EQ(*timer.NextFiring(), Clock::time_point{} + 18700ms);

  // A handler that silences the timer is obeyed at once.
  timer.onTimer = [&] { timer.SetInterval(0); };
  now += 1s;
  EXPECT_TRUE(timer.FireIfDue());
  EXPECT_FALSE(timer.NextFiring());
}

}  // namespace
}  // namespace pelvar::cli
