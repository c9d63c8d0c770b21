#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "config/SettingsSave.h"
#include "config/SettingsStore.h"
#include "platform/Paths.h"
#include "relay/RelayConnection.h"
#include "support/RecordingMessageBoxes.h"
#include "support/TdsResponder.h"
#include "support/TempPrefix.h"
#include "support/TestDatabase.h"
#include "text/Error.h"
#include "text/Gbk.h"

namespace pelvar::config {
namespace {

using test::RecordingMessageBoxes;
using test::TempPrefix;
using test::TestDatabase;

constexpr const char* kExe = "/opt/pelvar tools/bin/pelvar";

RecordingMessageBoxes::Shown Box(const std::string& text) {
  return {text, "岚秋软件", platform::MessageIcon::kNone};
}

std::string Registry(const TempPrefix& prefix) {
  return text::GbkToUtf8(prefix.ReadRegistryBytes());
}

struct Saver {
  RecordingMessageBoxes boxes;
  SettingsStore store;
  relay::RelayConnection relay;
  SettingsSave save{store, relay, boxes};
};

// A form that passes validation and checks against the test database.
SettingsForm FormFor(const TestDatabase& database, const std::string& agencyNumber) {
  db::ConnectionParameters p = database.MySqlParameters();
  SettingsForm form;
  form.agencyNumber = agencyNumber;
  form.databaseKind = "MySQL";
  form.dbHost = p.server;
  form.dbName = p.database;
  form.dbUser = p.userName;
  form.dbPasswd = p.password;
  form.dbPort = std::to_string(p.port);
  return form;
}

TEST(SettingsSave, ValidationOrderMessagesAndNothingWritten) {
  TempPrefix prefix;
  Saver s;
  SettingsForm form;
  form.agencyNumber = "";
  form.scanTime = "";
  EXPECT_EQ(s.save.Save(form, kExe), SaveResult::kRefused);
  form.agencyNumber = " \t ";
  EXPECT_EQ(s.save.Save(form, kExe), SaveResult::kRefused);
  form.agencyNumber = "x";
  form.scanTime = "   ";
  EXPECT_EQ(s.save.Save(form, kExe), SaveResult::kRefused);
  for (const char* out : {"59", "301", "-100", "0"}) {
    form.scanTime = out;
    EXPECT_EQ(s.save.Save(form, kExe), SaveResult::kRefused) << out;
  }
  ASSERT_EQ(s.boxes.shown.size(), 7u);
  EXPECT_EQ(s.boxes.shown[0], Box("检测机构 监管编号 不能空！"));
  EXPECT_EQ(s.boxes.shown[1], Box("检测机构 监管编号 不能空！"));
  EXPECT_EQ(s.boxes.shown[2], Box("数据上传间隔 不能空！"));
  EXPECT_EQ(s.boxes.shown[3], Box("数据上传间隔 限制在60-300秒之间！"));

  // An interval that is not a whole number fails with the conversion error.
  form.scanTime = "1O0";
  try {
    s.save.Save(form, kExe);
    ADD_FAILURE() << "no error";
  } catch (const Error& error) {
    EXPECT_STREQ(error.what(), "'1O0' is not a valid integer value");
  }
  // An agency number with a control character would break the protocol
  // lines that carry it.
  form.scanTime = "100";
  for (const char* dwbh : {"J01\r\nZQJCJG_STARSTOP X", "J\n", "J\t01", "J01\x7F"}) {
    form.agencyNumber = dwbh;
    EXPECT_EQ(s.save.Save(form, kExe), SaveResult::kRefused);
    EXPECT_EQ(s.boxes.shown.back(), Box("检测机构 监管编号 不能含控制字符！"));
  }
  EXPECT_FALSE(std::filesystem::exists(prefix.RegistryFile()));
  EXPECT_FALSE(std::filesystem::exists(platform::AutostartEntryPath()));
}

TEST(SettingsSave, WritesInOrderAndSurvivesAFailedCheck) {
  TempPrefix prefix;
  Saver s;
  SettingsForm form;  // the dialog's initial contents, no database type chosen
  form.agencyNumber = " zq01 ";
  form.scanTime = "60";
  form.autoSend = true;
  form.autoStart = true;
  form.dbUser = "用户";
  form.dbPasswd = "p\"w";
  EXPECT_EQ(s.save.Save(form, kExe), SaveResult::kSavedCheckFailed);
  EXPECT_EQ(s.boxes.shown, std::vector{Box("中转数据库设置错误！")});
  EXPECT_EQ(Registry(prefix),
            "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\ZIRODU\\DAVIV]\r\n"
            "\"Dwbh\"=\" zq01 \"\r\n"
            "\"RemoteHost\"=\"supervision.example\"\r\n"
            "\"RemotePort\"=dword:000032e7\r\n"
            "\"ScanTime\"=dword:0000003c\r\n"
            "\"IsAutoSend\"=dword:00000001\r\n"
            "\"DBType\"=\"\"\r\n"
            "\"DBHost\"=\"127.0.0.1\"\r\n"
            "\"DBName\"=\"DAVIV\"\r\n"
            "\"DBUser\"=\"用户\"\r\n"
            "\"DBPasswd\"=\"p\\\"w\"\r\n"
            "\"DBPort\"=dword:00000cea\r\n\r\n");
  EXPECT_TRUE(s.store.AutostartPresent());
  EXPECT_NE(test::ReadFileBytes(platform::AutostartEntryPath()).find(kExe), std::string::npos);

  // 300 is admitted; unticking removes the entry, and again when absent.
  form.scanTime = "300";
  form.autoStart = false;
  EXPECT_EQ(s.save.Save(form, kExe), SaveResult::kSavedCheckFailed);
  EXPECT_FALSE(s.store.AutostartPresent());
  EXPECT_EQ(s.save.Save(form, kExe), SaveResult::kSavedCheckFailed);
  EXPECT_EQ(s.boxes.shown.size(), 3u);

  // A port that is not a number stops the save after the values before it.
  TempPrefix fresh;
  form.autoStart = true;
  form.remotePort = "";
  try {
    s.save.Save(form, kExe);
    ADD_FAILURE() << "no error";
  } catch (const Error& error) {
    EXPECT_STREQ(error.what(), "'' is not a valid integer value");
  }
  EXPECT_EQ(Registry(fresh),
            "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\ZIRODU\\DAVIV]\r\n"
            "\"Dwbh\"=\" zq01 \"\r\n\"RemoteHost\"=\"supervision.example\"\r\n\r\n");
  EXPECT_FALSE(s.store.AutostartPresent());
  EXPECT_EQ(s.boxes.shown.size(), 3u);
}

TEST(SettingsSave, LoadFillsInOrderAndStopsAtAFailingRead) {
  TempPrefix prefix;
  Saver s;
  SettingsForm form;
  form.agencyNumber = "typed";
  s.save.Load(form);  // no settings key: only the autostart tick is read
  EXPECT_EQ(form.agencyNumber, "typed");
  EXPECT_EQ(form.remoteHost, "supervision.example");
  EXPECT_FALSE(form.autoStart);
  EXPECT_FALSE(s.store.SettingsKeyExists());

  prefix.WriteRegistry(
      "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\ZIRODU\\DAVIV]\r\n"
      "\"Dwbh\"=\"ab\"\r\n\"RemoteHost\"=\"h\"\r\n\"RemotePort\"=dword:00000010\r\n"
      "\"ScanTime\"=dword:00000078\r\n\"IsAutoSend\"=dword:00000002\r\n"
      "\"DBType\"=\"sql server\"\r\n\"DBHost\"=\"dbh\"\r\n\"DBName\"=\"n\"\r\n"
      "\"DBUser\"=\"u\"\r\n\"DBPasswd\"=\"pw\"\r\n\"DBPort\"=dword:000005dc\r\n\r\n");
  s.store.SetAutostart(kExe);
  s.save.Load(form);
  EXPECT_EQ(form.agencyNumber, "ab");
  EXPECT_EQ(form.remoteHost, "h");
  EXPECT_EQ(form.remotePort, "16");
  EXPECT_EQ(form.scanTime, "120");
  EXPECT_TRUE(form.autoSend);
  EXPECT_EQ(form.databaseKind, "SQL Server");
  EXPECT_EQ(form.dbHost, "dbh");
  EXPECT_EQ(form.dbPasswd, "pw");
  EXPECT_EQ(form.dbPort, "1500");
  EXPECT_TRUE(form.autoStart);

  // ScanTime missing: the fields before it are filled, the rest and the
  // autostart tick keep their contents.
  prefix.WriteRegistry(
      "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\ZIRODU\\DAVIV]\r\n"
      "\"Dwbh\"=\"new\"\r\n\"RemoteHost\"=\"h2\"\r\n\"RemotePort\"=dword:00000011\r\n"
      "\"DBType\"=\"Oracle\"\r\n\r\n");
  s.store.RemoveAutostart();
  try {
    s.save.Load(form);
    ADD_FAILURE() << "no error";
  } catch (const Error& error) {
    EXPECT_STREQ(error.what(), "Failed to get data for 'ScanTime'");
  }
  EXPECT_EQ(form.agencyNumber, "new");
  EXPECT_EQ(form.remoteHost, "h2");
  EXPECT_EQ(form.remotePort, "17");
  EXPECT_EQ(form.scanTime, "120");
  EXPECT_EQ(form.databaseKind, "SQL Server");
  EXPECT_TRUE(form.autoStart);

  EXPECT_EQ(DatabaseKindEntry("Oracle"), "");
  EXPECT_EQ(DatabaseKindEntry("MYSQL"), "MySQL");
  EXPECT_EQ(ProposedDatabasePort("MySQL"), "3306");
  EXPECT_EQ(ProposedDatabasePort("SQL Server"), "1433");
}

TEST(SettingsSave, RelayCheckRecordsTheAgencyNumber) {
  PELVAR_REQUIRE_TEST_DATABASE();
  TempPrefix prefix;
  TestDatabase database;
  Saver s;

  // Table missing: the message, the settings stay saved, the save goes on.
  SettingsForm form = FormFor(database, "ZQ01");
  EXPECT_EQ(s.save.Save(form, kExe), SaveResult::kSavedCheckFailed);
  EXPECT_EQ(s.boxes.shown, std::vector{Box("中转数据库设置错误！")});
  EXPECT_TRUE(s.store.SettingsKeyExists());

  // After the table is made the next save's check succeeds: one row inserted.
  database.Run("create table JCJG_CUSER (dwbh varchar(50), GUID varchar(40))");
  EXPECT_EQ(s.save.Save(form, kExe), SaveResult::kSaved);
  EXPECT_EQ(database.Rows("select dwbh from jcjg_cuser"),
            (std::vector<std::vector<std::optional<std::string>>>{{"ZQ01"}}));
  EXPECT_FALSE(s.relay.Connected());

  // Every row gets the number; quotes and backslashes stay one literal, and
  // the registry keeps the text exactly as typed.
  database.Run("insert into jcjg_cuser values ('a', 'g1'), ('b', 'g2')");
  form.agencyNumber = "检测'站\\1";
  EXPECT_EQ(s.save.Save(form, kExe), SaveResult::kSaved);
  auto rows = database.Rows("select dwbh from jcjg_cuser");
  ASSERT_EQ(rows.size(), 3u);
  for (const auto& row : rows)
    EXPECT_EQ(row[0], "检测'站\\1");
  EXPECT_NE(Registry(prefix).find("\"Dwbh\"=\"检测'站\\\\1\""), std::string::npos);

  // An injection attempt is only text.
  form.agencyNumber = "x'; drop table jcjg_cuser; --";
  EXPECT_EQ(s.save.Save(form, kExe), SaveResult::kSaved);
  EXPECT_EQ(database.Scalar("select count(*) from jcjg_cuser where dwbh = 'x''; drop table "
                            "jcjg_cuser; --'"),
            "3");
  EXPECT_EQ(s.boxes.shown.size(), 1u);
}

// On SQL Server the check spells the identity table as the upload cycle does
// and writes the agency number as a Unicode literal.
TEST(SettingsSave, RelayCheckOnSqlServerUsesTheCyclesSpelling) {
  TempPrefix prefix;
  testing::TdsResponder responder;
  using testing::TdsReply;
  responder.Answer("select * from JCJG_CUSER ",
                   TdsReply().Columns({{"dwbh", testing::TdsType::kVarChar}}).Row({"a"}).Done(1));
  responder.AnswerExecute("update JCJG_CUSER set dwbh=N'检测''站'", 1);
  Saver s;
  db::ConnectionParameters p = responder.Parameters();
  SettingsForm form;
  form.agencyNumber = "检测'站";
  form.databaseKind = "SQL Server";
  form.dbHost = p.server;
  form.dbName = p.database;
  form.dbUser = p.userName;
  form.dbPasswd = p.password;
  form.dbPort = std::to_string(p.port);
  EXPECT_EQ(s.save.Save(form, kExe), SaveResult::kSaved);
  EXPECT_EQ(
      responder.Statements(),
      (std::vector<std::string>{"select * from JCJG_CUSER ",
                                "update JCJG_CUSER set dwbh=N'检测''站'\nselect @@ROWCOUNT"}));
}

}  // namespace
}  // namespace pelvar::config
