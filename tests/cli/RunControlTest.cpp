// The run control under pelvar-cli's scan timer, driven by a hand-moved
// clock: the countdown's timing without real waits. The relay database and
// the server are closed loopback ports, so every cycle fails at once and
// leaves its "Communication Exception: " line.

#include "upload/RunControl.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "CliTestSettings.h"
#include "cli/CliScanTimer.h"
#include "config/SettingsStore.h"
#include "support/LoopbackPorts.h"
#include "support/RecordingDisplay.h"
#include "support/RecordingMessageBoxes.h"
#include "support/TempPrefix.h"

namespace pelvar::cli {

namespace {

using namespace std::chrono_literals;

bool IsCycleEnd(const std::string& line) {
  return line.starts_with("Communication Exception: ");
}

class RunControlTest : public ::testing::Test {
 protected:
  RunControlTest() : timer_([this] { return now_; }) {
    settings_.dbPort = pelvar::testing::ClosedLoopbackPort();
    settings_.remotePort = pelvar::testing::ClosedLoopbackPort();
  }

  void WriteSettings() { prefix_.WriteRegistry(settings_.RegistryText()); }

  // One second passes; true when the timer fired.
  bool Second() {
    now_ += 1s;
    return timer_.FireIfDue();
  }

  int Cycles() const {
    int cycles = 0;
    for (const std::string& line : display_.logLines)
      cycles += IsCycleEnd(line);
    return cycles;
  }

  pelvar::test::TempPrefix prefix_;
  test::TestSettings settings_;
  CliScanTimer::Clock::time_point now_{};
  CliScanTimer timer_;
  testing::RecordingDisplay display_;
  pelvar::test::RecordingMessageBoxes boxes_;
  config::SettingsStore store_;
};

TEST_F(RunControlTest, CountsDownAndRestartsThePeriodAfterEachCycle) {
  prefix_.MakeJournalBase();
  settings_.scanTime = 60;
  WriteSettings();
  upload::RunControl control(display_, boxes_, timer_, {}, store_);
  // Each cycle takes 5 s of the clock.
  display_.onAppend = [&](const std::string& line) {
    if (IsCycleEnd(line))
      now_ += 5s;
  };

  control.Run();
  EXPECT_TRUE(control.IsRunning());
  EXPECT_EQ(display_.remainingTimes, std::vector<int>{59});
  EXPECT_TRUE(display_.remainingTimeVisible);
  EXPECT_EQ(display_.headerLabel, "演示检测中心");
  EXPECT_EQ(timer_.Interval(), 1000);
  EXPECT_TRUE(timer_.Enabled());

  // The first cycle starts 59 s after Run.
  for (int second = 1; second <= 58; ++second)
    ASSERT_TRUE(Second());
  EXPECT_EQ(display_.remainingTime, 1);
  EXPECT_EQ(Cycles(), 0);
  ASSERT_TRUE(Second());
  EXPECT_EQ(Cycles(), 1);
  EXPECT_EQ(display_.remainingTimes.back(), 0);
  EXPECT_TRUE(timer_.Enabled());
  // Enabling the timer again at the cycle's end restarted the period.
  EXPECT_EQ(*timer_.NextFiring(), now_ + 1s);

  // Then S, S - 1, ..., 1 and the next cycle 61 s after the previous ended.
  std::size_t shown = display_.remainingTimes.size();
  for (int second = 1; second <= 60; ++second)
    ASSERT_TRUE(Second());
  EXPECT_EQ(Cycles(), 1);
  std::vector<int> expected;
  for (int value = 60; value >= 1; --value)
    expected.push_back(value);
  EXPECT_EQ(
      std::vector<int>(display_.remainingTimes.begin() + shown, display_.remainingTimes.end()),
      expected);
  ASSERT_TRUE(Second());
  EXPECT_EQ(Cycles(), 2);

  control.Stop();
  EXPECT_FALSE(timer_.NextFiring());
  EXPECT_FALSE(Second());
  EXPECT_FALSE(control.IsRunning());
}

TEST_F(RunControlTest, ScanIntervalOfOneRunsACycleBeforeTheTimerIsArmed) {
  prefix_.MakeJournalBase();
  settings_.scanTime = 1;
  WriteSettings();
  upload::RunControl control(display_, boxes_, timer_, {}, store_);
  bool enabledDuringCycle = true;
  int intervalDuringCycle = -1;
  bool runningDuringCycle = true;
  display_.onAppend = [&](const std::string& line) {
    if (!IsCycleEnd(line))
      return;
    enabledDuringCycle = timer_.Enabled();
    intervalDuringCycle = timer_.Interval();
    runningDuringCycle = control.IsRunning();
  };

  control.Run();
  EXPECT_EQ(Cycles(), 1);
  EXPECT_FALSE(enabledDuringCycle);
  EXPECT_EQ(intervalDuringCycle, 0);
  EXPECT_FALSE(runningDuringCycle);
  EXPECT_TRUE(control.IsRunning());
  EXPECT_EQ(timer_.Interval(), 1000);
  EXPECT_TRUE(timer_.Enabled());
  // The countdown went to S + 1 = 2: two ticks to the next cycle.
  EXPECT_EQ(display_.remainingTimes, std::vector<int>{0});
  ASSERT_TRUE(Second());
  EXPECT_EQ(Cycles(), 1);
  ASSERT_TRUE(Second());
  EXPECT_EQ(Cycles(), 2);
  EXPECT_EQ(display_.remainingTimes, (std::vector<int>{0, 1, 0}));
}

TEST_F(RunControlTest, EachRunFillsTheSiteProfileFromTheSettings) {
  prefix_.MakeJournalBase();
  upload::RunControl control(display_, boxes_, timer_, {}, store_);
  settings_.agencyNumber = "j0001";
  WriteSettings();
  control.Run();
  EXPECT_EQ(control.Profile().agencyNumber, "J0001");
  EXPECT_EQ(control.Profile().siteCode, "7");
  EXPECT_EQ(control.Profile().displayName, "演示检测中心");
  EXPECT_EQ(control.Profile().databaseKind, "MySQL");
  control.Stop();

  // Without a site code or a name: "0" and the agency number.
  int newPort = pelvar::testing::ClosedLoopbackPort();
  settings_.agencyNumber = "k02x-é";
  settings_.siteName = "";
  settings_.siteCode = "";
  settings_.remotePort = newPort;
  WriteSettings();
  control.Run();
  EXPECT_TRUE(control.IsRunning());
  EXPECT_EQ(control.Profile().agencyNumber, "K02X-é");
  EXPECT_EQ(control.Profile().displayName, "K02X-é");
  EXPECT_EQ(control.Profile().siteCode, "0");
  EXPECT_EQ(control.Profile().serverPort, newPort);
  EXPECT_EQ(display_.headerLabel, "K02X-é");
}

}  // namespace
}  // namespace pelvar::cli
