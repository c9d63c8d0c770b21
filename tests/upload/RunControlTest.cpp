#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <thread>

#include "config/SettingsStore.h"
#include "platform/UploaderLock.h"
#include "support/FakeSupervisionServer.h"
#include "support/RecordingDisplay.h"
#include "support/RecordingMessageBoxes.h"
#include "support/ScriptedPeer.h"
#include "support/TempPrefix.h"
#include "support/TestDatabase.h"
#include "upload/RunControl.h"

namespace pelvar::upload {
namespace {

using testing::FakeSupervisionServer;
using testing::RecordingDisplay;
using testing::ScriptedPeer;

// A scan timer driven by the test: it only records what the run control set.
class HandTimer : public ScanTimer {
 public:
  void SetInterval(int milliseconds) override { interval = milliseconds; }
  int Interval() const override { return interval; }
  void SetEnabled(bool enabled) override { this->enabled = enabled; }
  bool Enabled() const override { return enabled; }
  bool Fires() const { return enabled && interval != 0; }

  int interval = 10000;
  bool enabled = false;
};

std::string Dword(int value) {
  char text[16];
  std::snprintf(text, sizeof text, "dword:%08x", static_cast<unsigned>(value));
  return text;
}

class RunControlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    PELVAR_REQUIRE_TEST_DATABASE();
    prefix_ = std::make_unique<test::TempPrefix>();
    prefix_->MakeJournalBase();
    database_ = std::make_unique<test::TestDatabase>();
    database_->Run(test::ReadFileBytes(PELVAR_SOURCE_DIR "/tests/data/relay_schema.sql"));
    database_->Run("insert into JCJG_CUSER (dwbh) values ('J01')");
    peer_ = std::make_unique<ScriptedPeer>(server_.Script());
    WriteSettings(60, "j01");
    control_ = std::make_unique<RunControl>(
        display_, boxes_, timer_,
        [this] {
          if (stopWanted_ && control_->IsRunning())
            control_->Stop();
        },
        store_);
  }

  void WriteSettings(int scanTime, const std::string& agencyNumber) {
    auto parameters = database_->MySqlParameters();
    prefix_->WriteRegistry(
        "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\ZIRODU\\DAVIV]\r\n"
        "\"Dwbh\"=\"" +
        agencyNumber +
        "\"\r\n"
        "\"RemoteHost\"=\"127.0.0.1\"\r\n"
        "\"RemotePort\"=" +
        Dword(peer_->Port()) +
        "\r\n"
        "\"ScanTime\"=" +
        Dword(scanTime) +
        "\r\n"
        "\"DBType\"=\"MySQL\"\r\n"
        "\"DBHost\"=\"" +
        parameters.server +
        "\"\r\n"
        "\"DBName\"=\"" +
        parameters.database +
        "\"\r\n"
        "\"DBUser\"=\"" +
        parameters.userName +
        "\"\r\n"
        "\"DBPasswd\"=\"" +
        parameters.password +
        "\"\r\n"
        "\"DBPort\"=" +
        Dword(parameters.port) + "\r\n\r\n");
  }

  std::unique_ptr<test::TempPrefix> prefix_;
  std::unique_ptr<test::TestDatabase> database_;
  RecordingDisplay display_;
  test::RecordingMessageBoxes boxes_;
  HandTimer timer_;
  FakeSupervisionServer server_;
  std::unique_ptr<ScriptedPeer> peer_;
  std::atomic<bool> stopWanted_{false};
  config::SettingsStore store_;
  std::unique_ptr<RunControl> control_;
};

TEST_F(RunControlTest, CountsDownAndRunsACycleAtZero) {
  control_->Run();
  EXPECT_TRUE(control_->IsRunning());
  EXPECT_EQ(display_.remainingTimes, std::vector<int>{59});
  EXPECT_TRUE(display_.remainingTimeVisible);
  EXPECT_EQ(display_.headerLabel, "J01");
  EXPECT_EQ(timer_.interval, 1000);
  EXPECT_TRUE(timer_.Fires());
  EXPECT_EQ(server_.CommandLines().front(), "ZQJCJG_STARSTOP J01 启动上传");

  for (int i = 0; i < 58; ++i)
    control_->Tick();
  EXPECT_EQ(display_.remainingTimes.back(), 1);
  EXPECT_EQ(display_.logLines.size(), 1u);
  control_->Tick();  // 0: one cycle, then the countdown starts again at 61
  EXPECT_EQ(display_.remainingTimes.back(), 0);
  EXPECT_EQ(display_.logLines.back().find(" 同步信息完成！") != std::string::npos, true);
  EXPECT_TRUE(timer_.Fires());
  control_->Tick();
  EXPECT_EQ(display_.remainingTimes.back(), 60);

  EXPECT_FALSE(control_->ExitAllowed());
  ASSERT_EQ(boxes_.shown.size(), 1u);
  EXPECT_EQ(boxes_.shown[0].text, "正在运行状态，不能退出！");
  EXPECT_EQ(boxes_.shown[0].icon, platform::MessageIcon::kInformation);

  control_->Stop();
  EXPECT_FALSE(control_->IsRunning());
  EXPECT_TRUE(control_->ExitAllowed());
  EXPECT_FALSE(timer_.Fires());
  EXPECT_FALSE(display_.remainingTimeVisible);
  EXPECT_EQ(display_.headerLabel, "");
  EXPECT_EQ(display_.dbStatus, LightColour::kGray);
  EXPECT_EQ(display_.connectStatus, LightColour::kGray);
  EXPECT_EQ(display_.logLines.back().rfind("用户停止上传数据！", 0), 0u);
  EXPECT_EQ(server_.CommandLines().back(), "ZQJCJG_STARSTOP J01 停止上传");

  // The next Run reads the settings again.
  WriteSettings(100, "k02");
  control_->Run();
  EXPECT_EQ(display_.headerLabel, "K02");
  EXPECT_EQ(display_.remainingTimes.back(), 99);
}

TEST_F(RunControlTest, StopDuringANetworkWaitEndsTheCycleAndNoFurtherCycleStarts) {
  // Reports: no pump runs between a frame and its reply, so the Stop below
  // always lands in the wait for the reply.
  database_->Run(
      "insert into JCJG_RPTINFO (JCDWBH,YPDBH,GCBH,SENDFLAG) values "
      "('J01','Y1','G1',1),('J01','Y2','G1',1)");
  server_.beforeReply = [this] {
    stopWanted_ = true;  // the operator presses Stop while the reply is held
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  };
  control_->Run();
  for (int i = 0; i < 59; ++i)
    control_->Tick();

  EXPECT_FALSE(control_->IsRunning());
  ASSERT_GE(display_.logLines.size(), 4u);
  auto n = display_.logLines.size();
  EXPECT_EQ(display_.logLines[n - 3],
            "无法连接远程服务器。Communication Exception: Already connected.");
  EXPECT_EQ(display_.logLines[n - 2].rfind("用户停止上传数据！", 0), 0u);
  EXPECT_EQ(display_.logLines[n - 1], "Communication Exception: Connection Closed Gracefully.");
  EXPECT_EQ(display_.connectStatus, LightColour::kRed);
  EXPECT_EQ(display_.dbStatus, LightColour::kGray);
  // The cycle enabled the timer on its way out, but the interval of 0 keeps it silent.
  EXPECT_TRUE(timer_.enabled);
  EXPECT_FALSE(timer_.Fires());
  EXPECT_EQ(*database_->Scalar("select group_concat(SENDFLAG) from JCJG_RPTINFO"), "1,1");
}

TEST_F(RunControlTest, MissingSettingsStartNothing) {
  std::filesystem::remove(prefix_->RegistryFile());
  control_->Run();
  EXPECT_FALSE(control_->IsRunning());
  ASSERT_EQ(boxes_.shown.size(), 1u);
  EXPECT_EQ(boxes_.shown[0].text, "请设置 中转库 连接信息！");
  EXPECT_TRUE(display_.logLines.empty());
  EXPECT_FALSE(timer_.Fires());
}

TEST_F(RunControlTest, RunWhileAnotherUploaderRunsStartsNothing) {
  auto other = platform::UploaderLock::TryAcquire();
  ASSERT_NE(other, nullptr);
  EXPECT_EQ(control_->Run(), RunStart::kAnotherUploader);
  EXPECT_FALSE(control_->IsRunning());
  ASSERT_EQ(boxes_.shown.size(), 1u);
  EXPECT_EQ(boxes_.shown[0].text, "另一个上传程序正在运行，不能同时上传！");
  EXPECT_EQ(boxes_.shown[0].icon, platform::MessageIcon::kInformation);
  EXPECT_TRUE(display_.logLines.empty());
  EXPECT_TRUE(server_.CommandLines().empty());
  EXPECT_FALSE(timer_.Fires());

  // Once the other uploader has gone, Run holds the lock until Stop.
  other.reset();
  EXPECT_EQ(control_->Run(), RunStart::kStarted);
  EXPECT_TRUE(platform::UploaderLock::UploaderRunning());
  control_->Stop();
  EXPECT_FALSE(platform::UploaderLock::UploaderRunning());
}

}  // namespace
}  // namespace pelvar::upload
