#include <gtest/gtest.h>

#include <QAction>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "AppTestSupport.h"
#include "app/PelvarMain.h"
#include "app/RunBinding.h"
#include "config/SettingsStore.h"
#include "support/LoopbackPorts.h"
#include "support/TempPrefix.h"
#include "upload/RunControl.h"

namespace pelvar::apptest {
namespace {

bool Enabled(QObject& window, const char* name) {
  if (auto* action = window.findChild<QAction*>(name))
    return action->isEnabled();
  return window.findChild<QWidget*>(name)->isEnabled();
}

TEST(RunBinding, ControlsFollowTheRunControl) {
  test::TempPrefix prefix;
  prefix.MakeJournalBase();
  SetMachineClock({2026, 12, 9, 12, 0, 0, 0});
  RecordingBoxes boxes;
  AnsweringInputBoxes inputs;
  app::TfrmPelvarMain window(boxes, inputs);
  config::SettingsStore store;
  upload::RunControl control(
      window, boxes, window.Timer1(), [] { QCoreApplication::processEvents(); }, store);
  app::BindRunControl(window, control);

  // Autostart without settings: the store's box, start-up goes on idle.
  window.FormCreate([] { return true; });
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0].text, "请设置 中转库 连接信息！");
  EXPECT_FALSE(window.IsRunning());
  EXPECT_TRUE(Enabled(window, "btnRun"));

  prefix.WriteRegistry(
      "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\ZIRODU\\DAVIV]\r\n"
      "\"Dwbh\"=\"zq01\"\r\n\"RemoteHost\"=\"127.0.0.1\"\r\n\"RemotePort\"=dword:" +
      QString::number(pelvar::testing::ClosedLoopbackPort(), 16)
          .rightJustified(8, '0')
          .toStdString() +
      "\r\n\"ScanTime\"=dword:0000003c\r\n\"IsAutoSend\"=dword:00000000\r\n"
      "\"DBType\"=\"MySQL\"\r\n\"DBHost\"=\"127.0.0.1\"\r\n\"DBName\"=\"DAVIV\"\r\n"
      "\"DBUser\"=\"\"\r\n\"DBPasswd\"=\"\"\r\n\"DBPort\"=dword:00000cea\r\n\r\n");
  QTest::mouseClick(window.findChild<QPushButton*>("btnRun"), Qt::LeftButton);
  EXPECT_TRUE(window.IsRunning());
  EXPECT_FALSE(Enabled(window, "btnRun"));
  EXPECT_FALSE(Enabled(window, "popMenuStar"));
  EXPECT_TRUE(Enabled(window, "btnStop"));
  EXPECT_TRUE(Enabled(window, "popMenuStop"));
  auto* remaining = window.findChild<QLineEdit*>("leWtRemainTime");
  EXPECT_FALSE(remaining->isHidden());
  EXPECT_EQ(remaining->text(), "59");
  EXPECT_EQ(window.Timer1().Interval(), 1000);
  EXPECT_TRUE(window.Timer1().Armed());
  EXPECT_EQ(window.findChild<QLabel*>("Label2")->text(), "ZQ01");

  // While running: the settings guard and Exit refuse without a password.
  window.btnSetClick();
  window.findChild<QAction*>("popMenuExit")->trigger();
  ASSERT_EQ(boxes.shown.size(), 3u);
  EXPECT_EQ(boxes.shown[1].text, "正在运行状态，禁止设置！");
  EXPECT_EQ(boxes.shown[2].text, "正在运行状态，不能退出！");
  EXPECT_TRUE(inputs.asked.empty());

  // A tick through the timer's hook counts down.
  window.Timer1().onTimer();
  EXPECT_EQ(remaining->text(), "58");

  window.findChild<QAction*>("popMenuStop")->trigger();
  EXPECT_FALSE(window.IsRunning());
  EXPECT_TRUE(Enabled(window, "btnRun"));
  EXPECT_TRUE(Enabled(window, "popMenuStar"));
  EXPECT_FALSE(Enabled(window, "btnStop"));
  EXPECT_TRUE(remaining->isHidden());
  EXPECT_EQ(window.findChild<QLabel*>("Label2")->text(), "");
  EXPECT_FALSE(window.Timer1().Armed());
  EXPECT_EQ(window.findChild<QLabel*>("igConnectStatus")->pixmap().toImage(),
            window.findChild<QLabel*>("igGray")->pixmap().toImage());

  // Idle: Exit asks for the close password.
  window.btnExitClick();
  ASSERT_EQ(inputs.asked.size(), 1u);
  EXPECT_EQ(inputs.asked[0].prompt, "请输入密码关闭软件");
}

}  // namespace
}  // namespace pelvar::apptest
