#include <gtest/gtest.h>

#include "platform/Autostart.h"
#include "support/Process.h"
#include "support/TempPrefix.h"

namespace pelvar::cli {
namespace {

using test::RunProcess;

TEST(SettingsCommand, ShowsEveryValueInFileOrderAndTheAutostartEntry) {
  test::TempPrefix prefix;
  prefix.WriteRegistry(
      "REGEDIT4\n\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ZIRODU\\DAVIV]\n"
      "\"Dwbh\"=\"岚秋 01\"\n"
      "\"ScanTime\"=dword:00000064\n"
      "\"Neg\"=dword:ffffffff\n"
      "\"DBPasswd\"=\"p\\\\w\"\n"
      "\"Path\"=hex(2):25,50,25,00\n"
      "\"Bin\"=hex:01,ab,\\\n  ff\n"
      "\"Multi\"=hex(7):61,00,00\n"
      "@=\"默认\"\n\n"
      "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ZIRODU\\DAVIV\\Sub]\n"
      "\"Other\"=\"x\"\n");
  auto result = RunProcess({PELVAR_CLI_PATH, "settings", "show"});
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.out,
            "Dwbh\tREG_SZ\t岚秋 01\n"
            "ScanTime\tREG_DWORD\t100\n"
            "Neg\tREG_DWORD\t-1\n"
            "DBPasswd\tREG_SZ\tp\\w\n"
            "Path\tREG_EXPAND_SZ\t%P%\n"
            "Bin\tREG_BINARY\t01,ab,ff\n"
            "Multi\tREG_MULTI_SZ\t61,00,00\n"
            "@\tREG_SZ\t默认\n"
            "autostart\tabsent\n");

  ASSERT_TRUE(platform::WriteAutostartEntry("/usr/bin/pelvar"));
  result = RunProcess({PELVAR_CLI_PATH, "settings", "show"});
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_NE(result.out.find("\nautostart\tpresent\n"), std::string::npos);
}

TEST(SettingsCommand, FailsWithoutTheKeyAndOnWrongUsage) {
  test::TempPrefix prefix;
  auto result = RunProcess({PELVAR_CLI_PATH, "settings", "show"});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err, "请设置 中转库 连接信息！\n");

  prefix.WriteRegistry("REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\ZIRODU\\DAVIV]\n\"A\"=\"open\n");
  result = RunProcess({PELVAR_CLI_PATH, "settings", "show"});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.err, "Registry file '" + prefix.RegistryFile().string() +
                            "' is malformed at line 4: a quoted text without its closing quote\n");

  result = RunProcess({PELVAR_CLI_PATH, "--help"});
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_NE(result.out.find("  settings show "), std::string::npos);
  EXPECT_EQ(RunProcess({PELVAR_CLI_PATH, "settings"}).exitCode, 2);
  EXPECT_EQ(RunProcess({PELVAR_CLI_PATH, "nonsense"}).exitCode, 2);
  EXPECT_EQ(RunProcess({PELVAR_CLI_PATH}).exitCode, 2);
}

}  // namespace
}  // namespace pelvar::cli
