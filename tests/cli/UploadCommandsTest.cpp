// pelvar-cli cycle, run and notice as the real programs, against the real
// pelvar-server and a relay database on the throwaway MariaDB, in a
// temporary machine prefix.

#include <signal.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "CliTestSettings.h"
#include "support/ChildProcess.h"
#include "support/LoopbackPorts.h"
#include "support/Process.h"
#include "support/ScriptedPeer.h"
#include "support/TempPrefix.h"
#include "support/TestDatabase.h"
#include "text/Gbk.h"

namespace pelvar::cli {
namespace {

using pelvar::test::ChildProcess;
using pelvar::test::RunProcess;
using pelvar::test::TestDatabase;

std::string SourceFile(const std::string& relative) {
  return pelvar::test::ReadFileBytes(std::filesystem::path(PELVAR_SOURCE_DIR) / relative);
}

// Every journal file of the prefix, in UTF-8, in path order.
std::string Journal(const pelvar::test::TempPrefix& prefix) {
  std::vector<std::filesystem::path> files;
  for (const auto& entry :
       std::filesystem::recursive_directory_iterator(prefix.MakeJournalBase())) {
    if (entry.is_regular_file())
      files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  std::string text;
  for (const auto& file : files)
    text += text::GbkToUtf8(pelvar::test::ReadFileBytes(file));
  return text;
}

int Count(const std::string& text, const std::string& piece) {
  int count = 0;
  for (std::size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1)) {
    ++count;
  }
  return count;
}

// Sums N and k of every table summary "...<heading>N <unit>，成功：k <unit>".
std::pair<int, int> Totals(const std::string& journal, const std::string& heading,
                           const std::string& unit) {
  std::regex summary(heading + "(\\d+) " + unit + "，成功：(\\d+) " + unit + "\r\n");
  std::pair<int, int> totals;
  for (std::sregex_iterator it(journal.begin(), journal.end(), summary), end; it != end; ++it) {
    totals.first += std::stoi((*it)[1]);
    totals.second += std::stoi((*it)[2]);
  }
  return totals;
}

class UploadCommandsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    PELVAR_REQUIRE_TEST_DATABASE();
    relay_ = std::make_unique<TestDatabase>();
    relay_->Run(SourceFile("tests/data/relay_schema.sql"));
    relay_->Run(SourceFile("tests/data/relay_sample.sql"));
    access_ = relay_->MySqlParameters();
    settings_.dbHost = access_.server;
    settings_.dbPort = access_.port;
    settings_.dbName = relay_->Name();
    settings_.dbUser = access_.userName;
    settings_.dbPassword = access_.password;
    prefix_.MakeJournalBase();
  }

  // The real server on its own database, holding the rows of
  // server_sample.sql.
  void StartServer() {
    serverDb_ = std::make_unique<TestDatabase>();
    server_ = std::make_unique<ChildProcess>(
        PELVAR_SERVER_PATH,
        std::vector<std::string>{"--port", "0", "--db-host", access_.server, "--db-port",
                                 std::to_string(access_.port), "--db-user", access_.userName,
                                 "--db-name", serverDb_->Name(), "--create-schema"},
        std::map<std::string, std::string>{{"PELVAR_SERVER_DB_PASSWORD", access_.password}});
    ASSERT_TRUE(server_->WaitForOutput("\n")) << server_->Errors();
    std::smatch match;
    std::string first = server_->Output();
    ASSERT_TRUE(
        std::regex_search(first, match, std::regex("listening on 127\\.0\\.0\\.1:(\\d+)\n")));
    settings_.remotePort = std::stoi(match[1]);
    serverDb_->Run(SourceFile("tests/data/server_sample.sql"));
  }

  void TearDown() override {
    if (server_) {
      server_->Signal(SIGTERM);
      EXPECT_EQ(server_->Wait(), 0);
    }
  }

  std::string Relay(const std::string& sql) { return relay_->Scalar(sql).value_or("NULL"); }
  std::string Server(const std::string& sql) { return serverDb_->Scalar(sql).value_or("NULL"); }

  pelvar::test::TempPrefix prefix_;
  test::TestSettings settings_;
  db::ConnectionParameters access_;
  std::unique_ptr<TestDatabase> relay_;
  std::unique_ptr<TestDatabase> serverDb_;
  std::unique_ptr<ChildProcess> server_;
};

TEST_F(UploadCommandsTest, CyclesUploadEverySampleRowAndSettleTheRefusedOnes) {
  StartServer();
  prefix_.WriteRegistry(settings_.RegistryText());

  std::vector<pelvar::test::ProcessResult> cycles;
  for (int n = 0; n < 3; ++n)
    cycles.push_back(RunProcess({PELVAR_CLI_PATH, "cycle"}));
  for (const auto& cycle : cycles) {
    EXPECT_EQ(cycle.exitCode, 0) << cycle.err;
    EXPECT_EQ(cycle.err, "light db green\nlight server green\nlight server gray\n");
  }
  EXPECT_NE(
      cycles[0].out.find("× BG2024-0006 上传失败：Duplicate entry 'J0001-YP2024-0006' for key "
                         "'PRIMARY' "),
      std::string::npos)
      << cycles[0].out;
  // Nothing left for the third cycle but the identifier.
  EXPECT_TRUE(std::regex_match(cycles[2].out,
                               std::regex("上传检测报告信息记录：\n上传检测报告适用工程记录：\n"
                                          "上传修改记录：\n上传自动采集记录：\n"
                                          "\\d{4}-\\d+-\\d+ \\d+:\\d\\d:\\d\\d 同步信息完成！\n")))
      << cycles[2].out;

  // Relay: accepted rows deleted, duplicates 10, the refused reading 100,
  // the other agency's rows untouched.
  EXPECT_EQ(
      Relay("SELECT GROUP_CONCAT(YPDBH, ':', SENDFLAG) FROM JCJG_RPTINFO WHERE JCDWBH = 'J0001'"),
      "YP2024-0006:10");
  EXPECT_EQ(Relay("SELECT GROUP_CONCAT(YPDBH, ':', SENDFLAG) FROM JCJG_GC_RPT"), "YP2024-0006:10");
  EXPECT_EQ(Relay("SELECT COUNT(*) FROM JCJG_ALTER"), "0");
  EXPECT_EQ(
      Relay("SELECT GROUP_CONCAT(RWDBH, ' ', SYSJ, ':', SENDFLAG ORDER BY SYSJ) FROM JCJG_AUTO "
            "WHERE JCDWBH = 'J0001'"),
      "RW-0001 2024-06-01 11:21:39:10,RW-0003 2024-06-02 11:17:23:100,"
      "RW-0008 2024-06-04 15:37:43:10");
  EXPECT_EQ(Relay("SELECT COUNT(*) FROM JCJG_RPTINFO WHERE JCDWBH = 'J0002' AND SENDFLAG = 0"),
            "1");
  EXPECT_EQ(Relay("SELECT LENGTH(GUID) FROM JCJG_CUSER"), "36");

  // Server: everything received, the revision replaced the earlier report.
  EXPECT_EQ(Server("SELECT COUNT(*) FROM JCJG_JCDW_GC"), "5");
  EXPECT_EQ(Server("SELECT COUNT(*) FROM JCJG_JCDW_RPTINFO"), "36");
  EXPECT_EQ(Server("SELECT COUNT(*) FROM JCJG_JCDW_GC_RPT"), "12");
  EXPECT_EQ(Server("SELECT COUNT(*) FROM JCJG_JCDW_ALTER"), "8");
  EXPECT_EQ(Server("SELECT COUNT(*) FROM JCJG_JCDW_AUTO"), "39");
  EXPECT_EQ(Server("SELECT CONCAT(RECEIVETIME > '2024-03-01 12:00:00', SITECODE) FROM "
                   "JCJG_JCDW_RPTINFO WHERE YPDBH = 'YP2024-0012'"),
            "17");
  EXPECT_EQ(
      Server("SELECT CONCAT(GCMC, '/', JCXM, '/', IFNULL(YPSL, 'NULL')) FROM JCJG_JCDW_RPTINFO "
             "WHERE YPDBH = 'YP2024-0005'"),
      "东湖大桥引道/防水卷材拉力/0");

  // The journal: every refusal, every summary, one synchronisation per cycle.
  std::string journal = Journal(prefix_);
  EXPECT_NE(journal.find("2024-3-19 BG2024-0006 上传失败：Duplicate entry 'J0001-YP2024-0006' for "
                         "key 'PRIMARY'\r\n"),
            std::string::npos)
      << journal;
  EXPECT_NE(journal.find("SJ-101 新城小区3号楼 上传失败：Duplicate entry 'J0001-YP2024-0006-GC-01' "
                         "for key 'PRIMARY'\r\n"),
            std::string::npos);
  EXPECT_NE(journal.find("RW-0003 2024-6-2 11:17:23 上传失败：CONSTRAINT `HZ_NOT_NEGATIVE` failed"),
            std::string::npos);
  EXPECT_EQ(Count(journal, " 上传失败："), 5);
  EXPECT_EQ(Totals(journal, "上传检测报告信息：", "份"), std::make_pair(36, 35));
  EXPECT_EQ(Totals(journal, "上传检测报告适用工程记录：", "条"), std::make_pair(12, 11));
  EXPECT_EQ(Totals(journal, "上传修改记录：", "条"), std::make_pair(8, 8));
  EXPECT_EQ(Totals(journal, "上传自动采集记录：", "条"), std::make_pair(40, 37));
  EXPECT_EQ(Count(journal, " 同步！\r\n"), 3);
}

TEST_F(UploadCommandsTest, RunEndsOnSigtermWithTheStopNotice) {
  StartServer();
  prefix_.WriteRegistry(settings_.RegistryText());

  ChildProcess run(PELVAR_CLI_PATH, {"run"});
  ASSERT_TRUE(run.WaitForOutput("系统进入上传数据状态！")) << run.Errors();
  // A second uploader on the same machine is turned away before it sends.
  for (const char* command : {"cycle", "run"}) {
    auto second = RunProcess({PELVAR_CLI_PATH, command});
    EXPECT_EQ(second.exitCode, 2) << command;
    EXPECT_EQ(second.err, "另一个上传程序正在运行，不能同时上传！\n") << command;
    EXPECT_EQ(second.out, "") << command;
  }
  run.Signal(SIGTERM);
  EXPECT_EQ(run.Wait(), 0) << run.Errors();
  EXPECT_TRUE(std::regex_match(run.Output(), std::regex("系统进入上传数据状态！[-0-9 :]+\n"
                                                        "用户停止上传数据！[-0-9 :]+\n")))
      << run.Output();
  EXPECT_EQ(run.Errors(), "light db gray\nlight server gray\n");
  std::string journal = Journal(prefix_);
  EXPECT_TRUE(std::regex_match(journal, std::regex("[-0-9 :]+ 启动上传 成功！\r\n"
                                                   "[-0-9 :]+ 停止上传 成功！\r\n")))
      << journal;
  EXPECT_TRUE(server_->WaitForOutput("< ZQJCJG_STARSTOP J0001 停止上传\n"));

  // The notice alone, to a server that is there and to one that is not.
  auto notice = RunProcess({PELVAR_CLI_PATH, "notice", "start"});
  EXPECT_EQ(notice.exitCode, 0);
  EXPECT_EQ(notice.out, "");
  EXPECT_EQ(Count(Journal(prefix_), " 启动上传 成功！\r\n"), 2);
  settings_.remotePort = pelvar::testing::ClosedLoopbackPort();
  prefix_.WriteRegistry(settings_.RegistryText());
  notice = RunProcess({PELVAR_CLI_PATH, "notice", "stop"});
  EXPECT_EQ(notice.exitCode, 1);
  EXPECT_EQ(notice.out,
            "无法连接远程服务器。Communication Exception: Socket Error # 111 Connection "
            "refused.\n");
  EXPECT_EQ(RunProcess({PELVAR_CLI_PATH, "notice", "pause"}).exitCode, 2);
}

TEST_F(UploadCommandsTest, SigtermInTheMiddleOfACycleStopsAsTheStopButtonWould) {
  std::unique_ptr<ChildProcess> run;
  std::string announcement;
  testing::ScriptedPeer peer([&](testing::PeerConnection& connection) {
    connection.SendLine("ZQJCJGSITE2\r\n");
    std::string line = connection.ReadLine();
    if (connection.Index() == 0) {  // the start notice
      connection.SendLine("ZQJCJG_STARSTOP_OK\r\n");
      return;
    }
    // The cycle announces its first batch; the stop comes while it waits.
    announcement = line;
    run->Signal(SIGTERM);
    connection.WaitForClientClose();
  });
  settings_.remotePort = peer.Port();
  settings_.scanTime = 2;  // the first cycle one tick after Run
  prefix_.WriteRegistry(settings_.RegistryText());

  run = std::make_unique<ChildProcess>(PELVAR_CLI_PATH, std::vector<std::string>{"run"});
  EXPECT_EQ(run->Wait(), 0) << run->Errors();
  ASSERT_TRUE(peer.WaitForScripts(2));
  EXPECT_EQ(announcement, "ZQJCJGSEND 30");
  std::string output = run->Output();
  EXPECT_TRUE(std::regex_match(output, std::regex("系统进入上传数据状态！[-0-9 :]+\n"
                                                  "无法连接远程服务器。Communication Exception: "
                                                  "Already connected.\n"
                                                  "用户停止上传数据！[-0-9 :]+\n"
                                                  "Communication Exception: Connection Closed "
                                                  "Gracefully.\n")))
      << output;
  EXPECT_EQ(run->Errors(),
            "light db green\nlight server green\nlight db gray\nlight server gray\n"
            "light server red\n");
  // The batch never got an answer: every row is still pending.
  EXPECT_EQ(Relay("SELECT COUNT(*) FROM JCJG_RPTINFO WHERE SENDFLAG = 0"), "37");
  EXPECT_EQ(peer.AcceptedCount(), 2);

  // Without settings: the box on standard error and exit code 1.
  std::filesystem::remove(prefix_.RegistryFile());
  auto cycle = RunProcess({PELVAR_CLI_PATH, "cycle"});
  EXPECT_EQ(cycle.exitCode, 1);
  EXPECT_EQ(cycle.err, "请设置 中转库 连接信息！\n");
  EXPECT_EQ(RunProcess({PELVAR_CLI_PATH, "run"}).exitCode, 1);
}

TEST_F(UploadCommandsTest, SigtermWhileTheServerStopsReadingAFrameStopsTheCycle) {
  // One pending report, holding a value far larger than the socket buffers.
  std::string report =
      Relay("SELECT MIN(YPDBH) FROM JCJG_RPTINFO WHERE JCDWBH = 'J0001' AND SENDFLAG = 0");
  relay_->Run("DELETE FROM JCJG_RPTINFO WHERE YPDBH <> '" + report + "'");
  relay_->Run("ALTER TABLE JCJG_RPTINFO MODIFY JCJL LONGTEXT");
  relay_->Run("UPDATE JCJG_RPTINFO SET JCJL = REPEAT('x', 12000000)");
  std::unique_ptr<ChildProcess> run;
  testing::ScriptedPeer peer([&](testing::PeerConnection& connection) {
    connection.SendLine("ZQJCJGSITE2\r\n");
    connection.ReadLine();
    if (connection.Index() == 0) {  // the start notice
      connection.SendLine("ZQJCJG_STARSTOP_OK\r\n");
      return;
    }
    connection.SendLine("ZQJCJGBUSK\r\n");
    connection.ReadBytes(4);
    // Reads no more of the frame; the client is left with a full send buffer.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    run->Signal(SIGTERM);
    connection.WaitForClientClose();
  });
  settings_.remotePort = peer.Port();
  settings_.scanTime = 2;
  prefix_.WriteRegistry(settings_.RegistryText());

  run = std::make_unique<ChildProcess>(PELVAR_CLI_PATH, std::vector<std::string>{"run"});
  ASSERT_EQ(run->WaitAtMost(std::chrono::seconds(30)), 0) << run->Errors();
  ASSERT_TRUE(peer.WaitForScripts(2));
  EXPECT_TRUE(std::regex_match(run->Output(), std::regex("系统进入上传数据状态！[-0-9 :]+\n"
                                                         "无法连接远程服务器。Communication "
                                                         "Exception: Already connected.\n"
                                                         "用户停止上传数据！[-0-9 :]+\n"
                                                         "Communication Exception: Connection "
                                                         "Closed Gracefully.\n")))
      << run->Output();
  EXPECT_EQ(Relay("SELECT CONCAT(SENDFLAG, ':', LENGTH(JCJL)) FROM JCJG_RPTINFO"), "0:12000000");

  // A cycle that fails ends with exit code 1: greeting refused, server away.
  peer.SetScript(
      [](testing::PeerConnection& connection) { connection.SendLine("ZQJCJGSITE1\r\n"); });
  auto cycle = RunProcess({PELVAR_CLI_PATH, "cycle"});
  EXPECT_EQ(cycle.exitCode, 1);
  EXPECT_EQ(cycle.out, "请升级上传程序！\n");
  settings_.remotePort = pelvar::testing::ClosedLoopbackPort();
  prefix_.WriteRegistry(settings_.RegistryText());
  cycle = RunProcess({PELVAR_CLI_PATH, "cycle"});
  EXPECT_EQ(cycle.exitCode, 1);
  EXPECT_EQ(cycle.out, "Communication Exception: Socket Error # 111 Connection refused.\n");
  EXPECT_EQ(Relay("SELECT SENDFLAG FROM JCJG_RPTINFO"), "0");
}

TEST_F(UploadCommandsTest, SignalsDuringSilentNoticesEndThemAtOnce) {
  // Neither notice is ever greeted; each connection gets one SIGTERM.
  std::unique_ptr<ChildProcess> run;
  testing::ScriptedPeer peer([&](testing::PeerConnection& connection) {
    run->Signal(SIGTERM);
    connection.WaitForClientClose();
  });
  settings_.remotePort = peer.Port();
  prefix_.WriteRegistry(settings_.RegistryText());

  run = std::make_unique<ChildProcess>(PELVAR_CLI_PATH, std::vector<std::string>{"run"});
  // The first ends the start notice and Stop follows; the second ends the
  // stop notice and the program without waiting.
  ASSERT_EQ(run->WaitAtMost(std::chrono::seconds(30)), 1) << run->Errors();
  EXPECT_TRUE(
      std::regex_match(run->Output(), std::regex("无法连接远程服务器。Communication Exception: "
                                                 "Connection Closed Gracefully.\n"
                                                 "系统进入上传数据状态！[-0-9 :]+\n")))
      << run->Output();
  EXPECT_NE(run->Errors().find("pelvar-cli: ended without waiting\n"), std::string::npos);
  EXPECT_EQ(peer.AcceptedCount(), 2);
  EXPECT_EQ(Journal(prefix_), "");
}

}  // namespace
}  // namespace pelvar::cli
