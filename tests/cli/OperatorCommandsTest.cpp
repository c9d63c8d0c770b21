// pelvar-cli check, status, preview, rejected and requeue as the real
// program, against a relay database on the throwaway MariaDB and the real
// pelvar-server (a scripted peer where the bytes on the wire are compared).

#include <signal.h>

#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <map>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "CliTestSettings.h"
#include "support/ChildProcess.h"
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

// True when text is one JSON value and nothing else.
class JsonSyntax {
 public:
  static bool Valid(const std::string& text) {
    JsonSyntax parser{text};
    return parser.Value() && (parser.Blanks(), parser.at_ == text.size());
  }

 private:
  explicit JsonSyntax(const std::string& text) : text_(text) {}
  void Blanks() {
    while (at_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[at_])))
      ++at_;
  }
  bool Take(char c) {
    Blanks();
    if (at_ < text_.size() && text_[at_] == c)
      return ++at_, true;
    return false;
  }
  bool String() {
    if (!Take('"'))
      return false;
    for (; at_ < text_.size(); ++at_) {
      if (text_[at_] == '\\')
        ++at_;
      else if (text_[at_] == '"')
        return ++at_, true;
      else if (static_cast<unsigned char>(text_[at_]) < 0x20)
        return false;
    }
    return false;
  }
  bool Value() {
    Blanks();
    if (Take('{')) {
      if (Take('}'))
        return true;
      do {
        if (!String() || !Take(':') || !Value())
          return false;
      } while (Take(','));
      return Take('}');
    }
    if (Take('[')) {
      if (Take(']'))
        return true;
      do {
        if (!Value())
          return false;
      } while (Take(','));
      return Take(']');
    }
    if (at_ < text_.size() && text_[at_] == '"')
      return String();
    std::smatch match;
    static const std::regex literal(R"(^(true|false|null|-?\d+(\.\d+)?))");
    std::string rest = text_.substr(at_);
    if (!std::regex_search(rest, match, literal))
      return false;
    at_ += match.length(0);
    return true;
  }
  const std::string& text_;
  std::size_t at_ = 0;
};

class OperatorCommandsTest : public ::testing::Test {
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

  pelvar::test::TempPrefix prefix_;
  test::TestSettings settings_;
  db::ConnectionParameters access_;
  std::unique_ptr<TestDatabase> relay_;
  std::unique_ptr<TestDatabase> serverDb_;
  std::unique_ptr<ChildProcess> server_;
};

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
    lines.push_back(text.substr(start, end - start));
  return lines;
}

TEST_F(OperatorCommandsTest, CheckPassesOnAHealthySetUpAndNamesEachFault) {
  StartServer();
  prefix_.WriteRegistry(settings_.RegistryText());
  auto healthy = RunProcess({PELVAR_CLI_PATH, "check"});
  EXPECT_EQ(healthy.exitCode, 0) << healthy.out;
  std::vector<std::string> lines = Lines(healthy.out);
  ASSERT_EQ(lines.size(), 7u) << healthy.out;
  for (const std::string& line : lines)
    EXPECT_EQ(line.substr(0, 5), "ok   ") << line;
  EXPECT_NE(lines[6].find("偏移模式"), std::string::npos);

  // A missing column, another agency in JCJG_CUSER, a server that is gone,
  // no journal folder: each check fails for its own cause, the others pass.
  relay_->Run("ALTER TABLE JCJG_AUTO DROP COLUMN CUSTOMSJ");
  relay_->Run("UPDATE JCJG_CUSER SET dwbh = 'J0009'");
  server_->Signal(SIGTERM);
  EXPECT_EQ(server_->Wait(), 0);
  server_.reset();
  std::filesystem::remove_all(prefix_.MakeJournalBase());
  auto faulty = RunProcess({PELVAR_CLI_PATH, "check"});
  EXPECT_EQ(faulty.exitCode, 1);
  lines = Lines(faulty.out);
  ASSERT_EQ(lines.size(), 7u) << faulty.out;
  EXPECT_EQ(lines[0].substr(0, 5), "ok   ");
  EXPECT_EQ(lines[1].substr(0, 5), "ok   ");
  EXPECT_TRUE(lines[2].starts_with("FAIL 3 ") &&
              lines[2].find("缺少 JCJG_AUTO.CUSTOMSJ。") != std::string::npos)
      << lines[2];
  EXPECT_TRUE(lines[3].starts_with("FAIL 4 ") && lines[3].find("“J0009”") != std::string::npos)
      << lines[3];
  EXPECT_TRUE(lines[4].starts_with("FAIL 5 ") &&
              lines[4].find("无法连接 127.0.0.1:") != std::string::npos)
      << lines[4];
  EXPECT_TRUE(lines[5].starts_with("FAIL 6 ") && lines[5].find("不存在") != std::string::npos)
      << lines[5];
  EXPECT_EQ(lines[6].substr(0, 5), "ok   ");

  // An interval out of range fails the settings; what needs them is not checked.
  settings_.scanTime = 20;
  prefix_.WriteRegistry(settings_.RegistryText());
  lines = Lines(RunProcess({PELVAR_CLI_PATH, "check"}).out);
  ASSERT_EQ(lines.size(), 7u);
  EXPECT_NE(lines[0].find("FAIL 1 设置项 (settings)：ScanTime 20 不在 60–300 秒之内。"),
            std::string::npos)
      << lines[0];
  EXPECT_NE(lines[1].find("未检查"), std::string::npos) << lines[1];
}

TEST_F(OperatorCommandsTest, PreviewPrintsTheBytesTheNextCycleSends) {
  // With every project already sent, no phase depends on another's settling.
  relay_->Run("UPDATE JCJG_RPTINFO SET SENDFLAG = 1 WHERE SENDFLAG = 0");
  std::vector<std::string> received;  // announcements and statements, in order
  testing::ScriptedPeer peer([&](testing::PeerConnection& connection) {
    connection.SendLine("ZQJCJGSITE2\r\n");
    for (;;) {
      std::string line = connection.ReadLine();
      if (!line.starts_with("ZQJCJGSEND ")) {
        connection.SendLine("ZQJCJGGUIDERROR no\r\n");
        return;
      }
      received.push_back(line);
      connection.SendLine("ZQJCJGBUSK\r\n");
      for (int n = std::stoi(line.substr(11)); n > 0; --n) {
        received.push_back(text::GbkToUtf8(connection.ReadFrame().substr(4)));
        connection.SendLine("ZQJCJGERROR kept\r\n");
      }
    }
  });
  settings_.remotePort = peer.Port();
  prefix_.WriteRegistry(settings_.RegistryText());

  auto preview = RunProcess({PELVAR_CLI_PATH, "preview"});
  ASSERT_EQ(preview.exitCode, 0) << preview.err;
  ASSERT_EQ(RunProcess({PELVAR_CLI_PATH, "cycle"}).exitCode, 0);
  ASSERT_TRUE(peer.WaitForScripts(1));

  // The preview without its headings and numbering is what the peer got.
  std::vector<std::string> previewed;
  for (const std::string& line : Lines(preview.out)) {
    if (!line.starts_with("== ") && !line.starts_with("-- "))
      previewed.push_back(line);
  }
  ASSERT_GT(received.size(), 40u);
  EXPECT_EQ(previewed, received);

  auto narrowed = RunProcess({PELVAR_CLI_PATH, "preview", "--phase", "readings", "--limit", "1"});
  EXPECT_TRUE(std::regex_match(narrowed.out,
                               std::regex("== readings: JCJG_AUTO -> JCJG_JCDW_AUTO, \\d+ 行\n"
                                          "ZQJCJGSEND \\d+\n-- 1/\\d+\ninsert into "
                                          "JCJG_JCDW_AUTO values \\('J0001',[^\n]*\n")))
      << narrowed.out;
  EXPECT_EQ(RunProcess({PELVAR_CLI_PATH, "preview", "--phase", "nonsense"}).exitCode, 2);
}

TEST_F(OperatorCommandsTest, ARequeuedRowIsDeliveredByTheNextCycle) {
  StartServer();
  prefix_.WriteRegistry(settings_.RegistryText());
  for (int n = 0; n < 3; ++n)
    ASSERT_EQ(RunProcess({PELVAR_CLI_PATH, "cycle"}).exitCode, 0);

  auto status = RunProcess({PELVAR_CLI_PATH, "status", "--json"});
  EXPECT_EQ(status.exitCode, 0) << status.err;
  EXPECT_TRUE(JsonSyntax::Valid(status.out)) << status.out;
  EXPECT_NE(status.out.find("{\"table\":\"JCJG_AUTO\",\"agency\":\"J0001\",\"pending\":0,"
                            "\"projectSent\":0,\"duplicate\":2,\"refused\":1}"),
            std::string::npos)
      << status.out;
  EXPECT_NE(status.out.find("\"outcome\":\"completed\",\"refused\":0}"), std::string::npos);
  EXPECT_NE(status.out.find("\"uploaderLock\":"), std::string::npos);

  auto rejected = RunProcess({PELVAR_CLI_PATH, "rejected", "--flag", "100"});
  EXPECT_TRUE(std::regex_match(
      rejected.out,
      std::regex("JCJG_AUTO\tRW-0003 2024-6-2 11:17:23 2024-6-2 11:00:00\t100\tRW-0003 "
                 "2024-6-2 11:17:23 上传失败：CONSTRAINT `HZ_NOT_NEGATIVE` failed[^\n]*\n"
                 "共 1 行被拒\n")))
      << rejected.out;

  // The cause removed, the row is set back (after the question) and sent.
  relay_->Run("UPDATE JCJG_AUTO SET HZ = 1 WHERE RWDBH = 'RW-0003'");
  auto declined =
      RunProcess({PELVAR_CLI_PATH, "requeue", "--table", "JCJG_AUTO", "--key", "RW-0003"}, "n\n");
  EXPECT_EQ(declined.exitCode, 1);
  EXPECT_EQ(Relay("SELECT SENDFLAG FROM JCJG_AUTO WHERE RWDBH = 'RW-0003'"), "100");
  auto requeue =
      RunProcess({PELVAR_CLI_PATH, "requeue", "--table", "jcjg_auto", "--key", "RW-0003", "--yes"});
  EXPECT_EQ(requeue.exitCode, 0) << requeue.err;
  EXPECT_EQ(requeue.out, "将把 JCJG_AUTO 中 1 行设回待上传(0)。\n已重新排队 1 行。\n");
  EXPECT_EQ(Relay("SELECT SENDFLAG FROM JCJG_AUTO WHERE RWDBH = 'RW-0003'"), "0");
  ASSERT_EQ(RunProcess({PELVAR_CLI_PATH, "cycle"}).exitCode, 0);
  EXPECT_EQ(Relay("SELECT COUNT(*) FROM JCJG_AUTO WHERE RWDBH = 'RW-0003'"), "0");
  EXPECT_EQ(serverDb_->Scalar("SELECT COUNT(*) FROM JCJG_JCDW_AUTO WHERE RWDBH = 'RW-0003'"), "4");
  EXPECT_EQ(RunProcess({PELVAR_CLI_PATH, "requeue", "--table", "JCJG_AUTO"}).exitCode, 2);
}

}  // namespace
}  // namespace pelvar::cli
