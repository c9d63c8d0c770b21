#include <gtest/gtest.h>

#include <QDir>
#include <QTest>
#include <cstdlib>

#include "AppTestSupport.h"
#include "app/PelvarMain.h"
#include "config/PelvarSet.h"
#include "config/SettingsStore.h"
#include "relay/RelayConnection.h"
#include "support/TempPrefix.h"

namespace pelvar::apptest {
namespace {

// Pictures of the windows for a person to look at; scripts/screenshot-gui
// runs this under Xvfb with PELVAR_SCREENSHOT_DIR set. Skipped otherwise.
TEST(Screenshot, MainWindow) {
  const char* folder = std::getenv("PELVAR_SCREENSHOT_DIR");
  if (folder == nullptr || *folder == '\0')
    GTEST_SKIP() << "PELVAR_SCREENSHOT_DIR not set";
  QDir().mkpath(folder);

  RecordingBoxes boxes;
  AnsweringInputBoxes inputs;
  app::TfrmPelvarMain window(boxes, inputs);
  window.FormCreate({});
  window.SetRunning(true);
  window.SetHeaderLabel("演示检测站（模拟）");
  window.AppendLogLine("系统进入上传数据状态！2026-12-9 8:30:00");
  window.AppendLogLine("√ 报告编号 BG2026-000123 上传成功！2026-12-9 8:31:15");
  window.AppendLogLine(
      "× 报告编号 BG2026-000124 上传失败！Duplicate entry 'BG2026-000124' for key "
      "'PRIMARY'，该记录已存在于监管平台，本地记录已标记为重复。2026-12-9 8:31:16");
  window.AppendLogLine("Communication Exception: Connection refused");
  for (int i = 0; i < 12; ++i)
    window.RaiseSentCounter();
  window.SetLight(upload::Light::kRelayDatabase, upload::LightColour::kGreen);
  window.SetLight(upload::Light::kConnection, upload::LightColour::kRed);
  window.SetRemainingTimeVisible(true);
  window.ShowRemainingTime(87);
  window.show();
  QTest::qWait(200);
  QString path = QDir(folder).filePath("pelvar-main.png");
  ASSERT_TRUE(window.grab().save(path));
  std::printf("screenshot: %s\n", path.toLocal8Bit().constData());
}

TEST(Screenshot, SettingsDialog) {
  const char* folder = std::getenv("PELVAR_SCREENSHOT_DIR");
  if (folder == nullptr || *folder == '\0')
    GTEST_SKIP() << "PELVAR_SCREENSHOT_DIR not set";
  QDir().mkpath(folder);

  test::TempPrefix prefix;
  RecordingBoxes boxes;
  config::SettingsStore store;
  relay::RelayConnection relay;
  config::TfrmPelvarSet dialog(store, relay, boxes);
  config::SettingsForm form;
  form.agencyNumber = "ZQJC0001";
  form.databaseKind = "MySQL";
  form.dbUser = "relay";
  form.dbPasswd = "secret";
  form.autoSend = true;
  dialog.SetForm(form);
  dialog.show();
  QTest::qWait(200);
  QString path = QDir(folder).filePath("pelvar-settings.png");
  ASSERT_TRUE(dialog.grab().save(path));
  std::printf("screenshot: %s\n", path.toLocal8Bit().constData());
}

}  // namespace
}  // namespace pelvar::apptest
