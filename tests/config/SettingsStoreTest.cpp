#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <functional>
#include <string>

#include "config/SettingsStore.h"
#include "support/TempPrefix.h"
#include "support/Unprivileged.h"
#include "text/Error.h"
#include "text/Gbk.h"

namespace pelvar::config {
namespace {

using test::TempPrefix;

// A registry file holding the settings key with the given value lines.
void WriteSettings(const TempPrefix& prefix, const std::string& valueLines) {
  prefix.WriteRegistry("REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\ZIRODU\\DAVIV]\r\n" +
                       valueLines + "\r\n");
}

std::string ErrorText(const std::function<void()>& action) {
  try {
    action();
  } catch (const Error& error) {
    return error.what();
  }
  return "(no error)";
}

const std::string kAllButDwbh =
    "\"DBType\"=\"MySQL\"\r\n"
    "\"ScanTime\"=dword:00000064\r\n"
    "\"DBHost\"=\"127.0.0.1\"\r\n"
    "\"DBName\"=\"DAVIV\"\r\n"
    "\"DBUser\"=\"检测\"\r\n"
    "\"DBPasswd\"=\"p\\\"w\"\r\n"
    "\"DBPort\"=dword:00000cea\r\n"
    "\"RemoteHost\"=\"jg.example\"\r\n"
    "\"RemotePort\"=dword:000032e7\r\n";

TEST(SettingsStore, WithoutTheKeyTheRunLoadFailsWithItsMessageAndNothingIsCreated) {
  TempPrefix prefix;
  SettingsStore store;
  RunSettingsLoad load = store.LoadRunSettings();
  EXPECT_FALSE(load.settings.has_value());
  EXPECT_EQ(load.failure, "请设置 中转库 连接信息！");
  EXPECT_FALSE(store.ReadAutoSendFlag());
  EXPECT_FALSE(store.SettingsKeyExists());
  EXPECT_FALSE(store.AutostartPresent());

  // With no key open: texts read empty, numbers and writes fail.
  EXPECT_FALSE(store.OpenSettingsKey(false));
  EXPECT_EQ(store.ReadText("Dwbh"), "");
  EXPECT_FALSE(store.ValueExists("Dwbh"));
  EXPECT_EQ(ErrorText([&] { store.ReadNumber("ScanTime"); }), "Failed to get data for 'ScanTime'");
  EXPECT_EQ(ErrorText([&] { store.ReadFlag("IsAutoSend"); }),
            "Failed to get data for 'IsAutoSend'");
  EXPECT_EQ(ErrorText([&] { store.WriteText("Dwbh", "x"); }), "Failed to set data for 'Dwbh'");
  EXPECT_FALSE(std::filesystem::exists(prefix.Path() / "etc"));
}

TEST(SettingsStore, RunLoadReadsInOrderAndStopsAtTheFirstFailingRead) {
  TempPrefix prefix;
  SettingsStore store;

  WriteSettings(prefix, "\"Dwbh\"=\"abc\"\r\n\"RemoteHost\"=\"h\"\r\n");
  EXPECT_EQ(ErrorText([&] { store.LoadRunSettings(); }), "Failed to get data for 'ScanTime'");
  // DBType is read first; a later number missing is named by the first one.
  WriteSettings(prefix, "\"DBType\"=dword:00000001\r\n");
  EXPECT_EQ(ErrorText([&] { store.LoadRunSettings(); }), "Invalid data type for 'DBType'");
  WriteSettings(prefix, "\"ScanTime\"=dword:00000064\r\n");
  EXPECT_EQ(ErrorText([&] { store.LoadRunSettings(); }), "Failed to get data for 'DBPort'");

  // A missing text is empty; the optional site texts too.
  WriteSettings(prefix, kAllButDwbh);
  auto settings = store.LoadRunSettings().settings;
  ASSERT_TRUE(settings.has_value());
  EXPECT_EQ(settings->databaseKind, "MySQL");
  EXPECT_EQ(settings->ScanTime, 100);
  EXPECT_EQ(settings->agencyNumber, "");
  EXPECT_EQ(settings->DBHost, "127.0.0.1");
  EXPECT_EQ(settings->DBName, "DAVIV");
  EXPECT_EQ(settings->DBUser, "检测");
  EXPECT_EQ(settings->DBPasswd, "p\"w");
  EXPECT_EQ(settings->DBPort, 3306);
  EXPECT_EQ(settings->RemoteHost, "jg.example");
  EXPECT_EQ(settings->RemotePort, 13031);
  EXPECT_EQ(settings->SiteCode, "");
  EXPECT_EQ(settings->SiteName, "");

  WriteSettings(prefix, kAllButDwbh +
                            "\"Dwbh\"=\" ab \"\r\n\"SiteCode\"=\"320100\"\r\n"
                            "\"SiteName\"=\"南京站\"\r\n");
  settings = store.LoadRunSettings().settings;
  ASSERT_TRUE(settings.has_value());
  EXPECT_EQ(settings->agencyNumber, " ab ");
  EXPECT_EQ(settings->SiteCode, "320100");
  EXPECT_EQ(settings->SiteName, "南京站");
  WriteSettings(prefix, kAllButDwbh + "\"SiteCode\"=dword:00000001\r\n");
  EXPECT_EQ(ErrorText([&] { store.LoadRunSettings(); }), "Invalid data type for 'SiteCode'");
}

TEST(SettingsStore, AutoSendFlagReadsAnyNonZeroNumberAsTrue) {
  TempPrefix prefix;
  SettingsStore store;
  const std::pair<std::string, bool> cases[] = {
      {"", false},
      {"\"IsAutoSend\"=dword:00000000\r\n", false},
      {"\"IsAutoSend\"=dword:00000001\r\n", true},
      {"\"IsAutoSend\"=dword:00000007\r\n", true},
  };
  for (const auto& [line, expected] : cases) {
    WriteSettings(prefix, line);
    EXPECT_EQ(store.ReadAutoSendFlag(), expected) << line;
  }
  WriteSettings(prefix, "\"IsAutoSend\"=\"on\"\r\n");
  EXPECT_EQ(ErrorText([&] { store.ReadAutoSendFlag(); }), "Invalid data type for 'IsAutoSend'");
}

TEST(SettingsStore, PathsTypesAndTheWrittenFile) {
  TempPrefix prefix;
  SettingsStore store;
  // The dialog's save: leading backslash, creating the key.
  ASSERT_TRUE(store.OpenSettingsKey(true, "\\SOFTWARE\\ZIRODU\\DAVIV"));
  store.WriteText("Dwbh", " jc01 ");
  store.WriteNumber("ScanTime", 100);
  store.WriteFlag("IsAutoSend", true);
  store.WriteText("DBPasswd", "秘密\\1");
  store.CloseSettingsKey();
  EXPECT_EQ(prefix.ReadRegistryBytes(),
            text::Utf8ToGbk("REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\ZIRODU\\DAVIV]\r\n"
                            "\"Dwbh\"=\" jc01 \"\r\n\"ScanTime\"=dword:00000064\r\n"
                            "\"IsAutoSend\"=dword:00000001\r\n\"DBPasswd\"=\"秘密\\\\1\"\r\n\r\n"));

  // Without the backslash from no open key, and below an open key.
  ASSERT_TRUE(store.OpenSettingsKey(false, "SOFTWARE\\ZIRODU\\DAVIV"));
  EXPECT_EQ(store.ReadText("Dwbh"), " jc01 ");
  EXPECT_EQ(store.ReadNumber("ScanTime"), 100);
  ASSERT_TRUE(store.OpenSettingsKey(false, "\\SOFTWARE\\ZIRODU"));
  ASSERT_TRUE(store.OpenSettingsKey(false, "DAVIV"));
  EXPECT_TRUE(store.ReadFlag("IsAutoSend"));
  // A failed open leaves no key open.
  EXPECT_FALSE(store.OpenSettingsKey(false, "Missing"));
  EXPECT_EQ(store.ReadText("Dwbh"), "");

  WriteSettings(prefix,
                "\"Long\"=hex(4):64,00,00,00,00\r\n"
                "\"Short\"=hex(4):2c,01\r\n"
                "\"Bin\"=hex:64,00,00,00\r\n"
                "\"Expand\"=hex(2):25,50,25,00\r\n"
                "\"Num\"=dword:00000005\r\n");
  ASSERT_TRUE(store.OpenSettingsKey(false));
  EXPECT_EQ(ErrorText([&] { store.ReadNumber("Long"); }), "Failed to get data for 'Long'");
  EXPECT_EQ(store.ReadNumber("Short"), 300);
  EXPECT_EQ(ErrorText([&] { store.ReadNumber("Bin"); }), "Invalid data type for 'Bin'");
  EXPECT_EQ(ErrorText([&] { store.ReadText("Num"); }), "Invalid data type for 'Num'");
  EXPECT_EQ(store.ReadText("Expand"), "%P%");
  EXPECT_TRUE(store.ValueExists("bin"));
  EXPECT_FALSE(store.ValueExists("None"));
}

TEST(SettingsStore, WithoutWriteRightsTheKeyDoesNotOpen) {
  TempPrefix prefix;
  WriteSettings(prefix, kAllButDwbh + "\"IsAutoSend\"=dword:00000001\r\n");
  chmod(prefix.Path().c_str(), 0755);
  chmod(prefix.RegistryFile().c_str(), 0444);
  test::RunUnprivileged([] {
    SettingsStore store;
    EXPECT_TRUE(store.SettingsKeyExists());
    EXPECT_FALSE(store.OpenSettingsKey(false));
    EXPECT_EQ(store.ReadText("DBHost"), "");
    EXPECT_EQ(ErrorText([&] { store.LoadRunSettings(); }), "Failed to get data for 'ScanTime'");
    EXPECT_FALSE(store.ReadAutoSendFlag());
    EXPECT_FALSE(store.OpenSettingsKey(true));
    EXPECT_EQ(ErrorText([&] { store.WriteText("Dwbh", "x"); }), "Failed to set data for 'Dwbh'");
  });
}

TEST(SettingsStore, AutostartEntry) {
  TempPrefix prefix;
  SettingsStore store;
  store.RemoveAutostart();
  EXPECT_FALSE(store.AutostartPresent());
  store.SetAutostart("/opt/pelvar app/pelvar");
  EXPECT_TRUE(store.AutostartPresent());
  EXPECT_NE(test::ReadFileBytes(prefix.Path() / "etc/xdg/autostart/zqjcPelvarAuto.desktop")
                .find("\nExec=\"/opt/pelvar app/pelvar\"\n"),
            std::string::npos);
  store.RemoveAutostart();
  EXPECT_FALSE(store.AutostartPresent());

  std::filesystem::remove_all(prefix.Path() / "etc/xdg/autostart");
  test::WriteFileBytes(prefix.Path() / "etc/xdg/autostart", "not a folder");
  EXPECT_EQ(ErrorText([&] { store.SetAutostart("/usr/bin/pelvar"); }),
            "Failed to set data for 'zqjcPelvarAuto'");
  store.RemoveAutostart();
}

}  // namespace
}  // namespace pelvar::config
