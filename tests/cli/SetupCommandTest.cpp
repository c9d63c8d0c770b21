#include <gtest/gtest.h>

#include <filesystem>

#include "platform/Autostart.h"
#include "platform/Paths.h"
#include "support/Process.h"
#include "support/TempPrefix.h"
#include "support/TestDatabase.h"
#include "text/Gbk.h"

namespace pelvar::cli {
namespace {

using test::RunProcess;

std::string Stored(const test::TempPrefix& prefix) {
  return text::GbkToUtf8(prefix.ReadRegistryBytes());
}

TEST(SetupCommand, ValidatesAndSavesLikeTheDialog) {
  test::TempPrefix prefix;
  auto result = RunProcess({PELVAR_CLI_PATH, "setup", "--scan-time", ""});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.err, "检测机构 监管编号 不能空！\n");
  result = RunProcess({PELVAR_CLI_PATH, "setup", "--dwbh=zq", "--scan-time=301"});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.err, "数据上传间隔 限制在60-300秒之间！\n");
  result = RunProcess({PELVAR_CLI_PATH, "setup", "--dwbh=zq", "--scan-time=6O"});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.err, "'6O' is not a valid integer value.\n");
  result = RunProcess({PELVAR_CLI_PATH, "setup", "--dwbh=zq\r\nZQJCJGSEND 1"});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.err, "检测机构 监管编号 不能含控制字符！\n");
  EXPECT_FALSE(std::filesystem::exists(prefix.RegistryFile()));

  // Unspecified fields take the dialog's initial contents; no type chosen,
  // so the check fails and the save goes on.
  result = RunProcess({PELVAR_CLI_PATH, "setup", "--dwbh= zq ", "--auto-start", "--auto-send"});
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(result.err, "中转数据库设置错误！\n");
  EXPECT_EQ(Stored(prefix),
            "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\ZIRODU\\DAVIV]\r\n"
            "\"Dwbh\"=\" zq \"\r\n\"RemoteHost\"=\"supervision.example\"\r\n"
            "\"RemotePort\"=dword:000032e7\r\n\"ScanTime\"=dword:00000064\r\n"
            "\"IsAutoSend\"=dword:00000001\r\n\"DBType\"=\"\"\r\n\"DBHost\"=\"127.0.0.1\"\r\n"
            "\"DBName\"=\"DAVIV\"\r\n\"DBUser\"=\"\"\r\n\"DBPasswd\"=\"\"\r\n"
            "\"DBPort\"=dword:00000cea\r\n\r\n");
  EXPECT_TRUE(platform::AutostartEntryPresent());

  // Afterwards the stored values stand in; a type without a port proposes
  // the type's port.
  result = RunProcess({PELVAR_CLI_PATH, "setup", "--db-type", "sql server", "--no-auto-start"});
  EXPECT_EQ(result.exitCode, 0);
  std::string stored = Stored(prefix);
  EXPECT_NE(stored.find("\"Dwbh\"=\" zq \"\r\n"), std::string::npos);
  EXPECT_NE(stored.find("\"IsAutoSend\"=dword:00000001\r\n"), std::string::npos);
  EXPECT_NE(stored.find("\"DBType\"=\"SQL Server\"\r\n"), std::string::npos);
  EXPECT_NE(stored.find("\"DBPort\"=dword:00000599\r\n"), std::string::npos);
  EXPECT_FALSE(platform::AutostartEntryPresent());

  result = RunProcess({PELVAR_CLI_PATH, "setup", "--db-type=Oracle"});
  EXPECT_EQ(result.exitCode, 2);
  result = RunProcess({PELVAR_CLI_PATH, "setup", "--colour=red"});
  EXPECT_EQ(result.exitCode, 2);
  EXPECT_EQ(Stored(prefix), stored);
}

TEST(SetupCommand, ChecksTheRelayDatabase) {
  PELVAR_REQUIRE_TEST_DATABASE();
  test::TempPrefix prefix;
  test::TestDatabase database;
  database.Run("create table jcjg_cuser (dwbh varchar(50), GUID varchar(40))");
  db::ConnectionParameters p = database.MySqlParameters();
  auto result = RunProcess({PELVAR_CLI_PATH, "setup", "--dwbh=ZQ'01", "--db-type=MySQL",
                            "--db-host=" + p.server, "--db-port=" + std::to_string(p.port),
                            "--db-name=" + p.database, "--db-user=" + p.userName,
                            "--db-password=" + p.password});
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(database.Scalar("select dwbh from jcjg_cuser"), "ZQ'01");
}

}  // namespace
}  // namespace pelvar::cli
