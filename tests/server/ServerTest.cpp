// pelvar-server run as a real process against the throwaway MariaDB, spoken
// to over loopback sockets as the upload client speaks to it.

#include <arpa/inet.h>
#include <mysql.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "support/ChildProcess.h"
#include "text/Gbk.h"

namespace {

using pelvar::test::ChildProcess;
using pelvar::text::GbkToUtf8;
using pelvar::text::Utf8ToGbk;

struct MySqlAccess {
  std::string host, user, password;
  unsigned port = 0;
};

// The throwaway server from scripts/test, or nothing (the test is skipped,
// unless the run requires MySQL).
std::string Env(const char* name, const char* fallback) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : fallback;
}

bool FindMySql(MySqlAccess& access) {
  access.host = Env("PELVAR_TEST_MYSQL_HOST", "");
  if (access.host.empty())
    return false;
  access.port = static_cast<unsigned>(std::stoul(Env("PELVAR_TEST_MYSQL_PORT", "3306")));
  access.user = Env("PELVAR_TEST_MYSQL_USER", "root");
  access.password = Env("PELVAR_TEST_MYSQL_PASSWORD", "");
  return true;
}

bool MySqlRequired() {
  const char* required = std::getenv("PELVAR_TEST_REQUIRE_MYSQL");
  return required != nullptr && std::string(required) == "1";
}

// A UTF-8 connection for looking at what the server stored.
class Inspector {
 public:
  explicit Inspector(const MySqlAccess& access) {
    mysql_ = mysql_init(nullptr);
    mysql_options(mysql_, MYSQL_SET_CHARSET_NAME, "utf8mb4");
    if (mysql_real_connect(mysql_, access.host.c_str(), access.user.c_str(),
                           access.password.c_str(), nullptr, access.port, nullptr, 0) == nullptr) {
      ADD_FAILURE() << mysql_error(mysql_);
    }
  }
  ~Inspector() { mysql_close(mysql_); }

  std::vector<std::vector<std::string>> Rows(const std::string& sql) {
    std::vector<std::vector<std::string>> rows;
    if (mysql_query(mysql_, sql.c_str()) != 0) {
      ADD_FAILURE() << sql << ": " << mysql_error(mysql_);
      return rows;
    }
    MYSQL_RES* result = mysql_store_result(mysql_);
    if (result == nullptr)
      return rows;
    unsigned columns = mysql_num_fields(result);
    while (MYSQL_ROW row = mysql_fetch_row(result)) {
      std::vector<std::string>& values = rows.emplace_back();
      for (unsigned i = 0; i < columns; ++i)
        values.push_back(row[i] ? row[i] : "NULL");
    }
    mysql_free_result(result);
    return rows;
  }

  std::string Value(const std::string& sql) {
    auto rows = Rows(sql);
    return rows.empty() || rows[0].empty() ? "" : rows[0][0];
  }

 private:
  MYSQL* mysql_;
};

// The client's side of the wire, in GBK bytes.
class WireClient {
 public:
  explicit WireClient(int port) {
    socket_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    EXPECT_EQ(::connect(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  }
  ~WireClient() { ::close(socket_); }

  void Send(const std::string& bytes) {
    ASSERT_EQ(::send(socket_, bytes.data(), bytes.size(), MSG_NOSIGNAL),
              static_cast<ssize_t>(bytes.size()));
  }
  void SendLine(const std::string& utf8) { Send(Utf8ToGbk(utf8) + "\r\n"); }
  void SendFrame(const std::string& utf8) {
    std::string statement = Utf8ToGbk(utf8);
    auto n = static_cast<uint32_t>(statement.size());
    Send(std::string{static_cast<char>(n >> 24), static_cast<char>(n >> 16),
                     static_cast<char>(n >> 8), static_cast<char>(n)} +
         statement);
  }

  // One reply line as raw bytes, CR LF included; empty when the server
  // closed the session (or sent nothing for a minute).
  std::string ReadRaw() {
    std::string line;
    while (line.empty() || line.back() != '\n') {
      pollfd fd{socket_, POLLIN, 0};
      if (::poll(&fd, 1, 60000) <= 0)
        return line;
      char c;
      if (::recv(socket_, &c, 1, 0) != 1)
        return line;
      line += c;
    }
    return line;
  }
  // One reply line in UTF-8 without its CR LF.
  std::string Read() {
    std::string raw = ReadRaw();
    if (raw.size() >= 2 && raw.ends_with("\r\n"))
      raw.resize(raw.size() - 2);
    return GbkToUtf8(raw);
  }
  std::string Exchange(const std::string& line) {
    SendLine(line);
    return Read();
  }
  std::string Frame(const std::string& statement) {
    SendFrame(statement);
    return Read();
  }

 private:
  int socket_ = -1;
};

class ServerTest : public testing::Test {
 protected:
  void SetUp() override {
    if (!FindMySql(access_)) {
      if (MySqlRequired())
        FAIL() << "PELVAR_TEST_MYSQL_HOST is not set";
      GTEST_SKIP() << "no MySQL server for the tests (PELVAR_TEST_MYSQL_HOST unset)";
    }
    database_ = "pelvar_server_test_" + std::to_string(::getpid());
    inspector_ = std::make_unique<Inspector>(access_);
    inspector_->Rows("DROP DATABASE IF EXISTS " + database_);
  }

  void TearDown() override {
    if (server_) {
      server_->Signal(SIGTERM);
      server_->Wait();
    }
    if (inspector_)
      inspector_->Rows("DROP DATABASE IF EXISTS " + database_);
  }

  // Starts the server on a free port; returns the port.
  int StartServer(std::vector<std::string> extra = {}, unsigned dbPort = 0) {
    std::vector<std::string> args = {
        "--port",         "0",
        "--db-host",      access_.host,
        "--db-port",      std::to_string(dbPort ? dbPort : access_.port),
        "--db-user",      access_.user,
        "--db-name",      database_,
        "--create-schema"};
    args.insert(args.end(), extra.begin(), extra.end());
    server_ = std::make_unique<ChildProcess>(
        PELVAR_SERVER_PATH, args,
        std::map<std::string, std::string>{{"PELVAR_SERVER_DB_PASSWORD", access_.password}});
    EXPECT_TRUE(server_->WaitForOutput("\n")) << server_->Errors();
    std::smatch match;
    std::string output = server_->Output();
    static const std::regex kListening("^pelvar-server listening on 127\\.0\\.0\\.1:(\\d+)\n");
    if (!std::regex_search(output, match, kListening)) {
      ADD_FAILURE() << "first line: " << output << server_->Errors();
      return 0;
    }
    return std::stoi(match[1]);
  }

  std::string Stored(const std::string& sql) { return inspector_->Value(sql); }

  MySqlAccess access_;
  std::string database_;
  std::unique_ptr<Inspector> inspector_;
  std::unique_ptr<ChildProcess> server_;
};

TEST_F(ServerTest, StoresFramesAndAnswersEveryLine) {
  int port = StartServer();
  ASSERT_NE(port, 0);
  WireClient client(port);
  EXPECT_EQ(client.ReadRaw(), "ZQJCJGSITE2\r\n");

  EXPECT_EQ(client.Exchange("ZQJCJGSEND 4"), "ZQJCJGBUSK");
  EXPECT_EQ(client.Frame("insert into JCJG_JCDW_GC values ('J01','G1','','','新城小区3号楼',"
                         "'建设单位','','',7);"),
            "ZQJCJGOK");
  std::string duplicate =
      client.Frame("insert into JCJG_JCDW_GC values ('J01','G1','','','另一个','','','',7);");
  EXPECT_TRUE(duplicate.starts_with("ZQJCJGERROR ")) << duplicate;
  EXPECT_NE(duplicate.find("PRIMARY"), std::string::npos) << duplicate;
  EXPECT_NE(duplicate.find("J01-G1"), std::string::npos) << duplicate;

  // A report with an empty text for its NULL date (stored as the zero date),
  // then its revision: the frame of four statements replaces the server's
  // rows of that report.
  const std::string report =
      "insert into JCJG_JCDW_RPTINFO values ('J01','Y1','G1','','','','','','','BG-1','','混凝土',"
      "'合格','3','0','0','','%d','1',CURRENT_TIMESTAMP(),0 ,7);";
  const std::string key = "JCDWBH='J01' and YPDBH='Y1' ";
  const std::string revision = "delete from JCJG_JCDW_RPTINFO where " + key +
                               "; delete from JCJG_JCDW_GC_RPT where " + key +
                               "; delete from JCJG_JCDW_ALTER where " + key + ";";
  auto withCount = [&](int count) {
    std::string text = report;
    text.replace(text.find("%d"), 2, std::to_string(count));
    return text;
  };
  EXPECT_EQ(client.Frame(withCount(0)), "ZQJCJGOK");
  EXPECT_EQ(client.Frame(revision + withCount(1)), "ZQJCJGOK");
  EXPECT_EQ(client.Exchange("ZQJCJGSEND 1"), "ZQJCJGBUSK");
  EXPECT_EQ(client.Frame("insert into JCJG_JCDW_GC_RPT values ('J01','Y1','G1','S1','新城','0')"),
            "ZQJCJGOK");

  std::string db = database_ + ".";
  EXPECT_EQ(Stored("SELECT GCMC FROM " + db + "JCJG_JCDW_GC"), "新城小区3号楼");
  EXPECT_EQ(Stored("SELECT COUNT(*) FROM " + db + "JCJG_JCDW_RPTINFO"), "1");
  EXPECT_EQ(Stored("SELECT CONCAT(BGXGCOUNT, JCXM, BGRQ) FROM " + db + "JCJG_JCDW_RPTINFO"),
            "1混凝土0000-00-00");

  // A revision whose insert fails leaves the server's rows as they were.
  EXPECT_EQ(client.Exchange("ZQJCJGSEND 1"), "ZQJCJGBUSK");
  std::string failed = client.Frame(revision + "insert into JCJG_JCDW_RPTINFO values ('J01');");
  EXPECT_TRUE(failed.starts_with("ZQJCJGERROR Column count")) << failed;
  EXPECT_EQ(Stored("SELECT COUNT(*) FROM " + db + "JCJG_JCDW_RPTINFO"), "1");
  EXPECT_EQ(Stored("SELECT COUNT(*) FROM " + db + "JCJG_JCDW_GC_RPT"), "1");

  std::string guid = client.Exchange("ZQJCJGGUID J01 6F9619FF-8B86-D011-B42D-00C04FC964FF");
  EXPECT_TRUE(std::regex_match(guid, std::regex("ZQJCJGGUIDOK \\d{4}-[1-9]\\d?-[1-9]\\d? "
                                                "(1?\\d|2[0-3]):[0-5]\\d:[0-5]\\d")))
      << guid;
  EXPECT_EQ(client.Exchange("ZQJCJG_STARSTOP J01 启动上传"), "ZQJCJG_STARSTOP_OK");
  EXPECT_EQ(client.Exchange("zqjcjgsend 1"), "ZQJCJGERROR unknown command");
  EXPECT_EQ(client.Exchange("ZQJCJGSEND x"), "ZQJCJGERROR bad frame count");

  std::string log = server_->Output();
  EXPECT_NE(log.find("#1 frame 1/4 > ZQJCJGOK\n"), std::string::npos) << log;
  EXPECT_NE(log.find("#1 < ZQJCJG_STARSTOP J01 启动上传\n"), std::string::npos) << log;
}

TEST_F(ServerTest, MalformedInputEndsOnlyItsOwnSession) {
  int port = StartServer();
  ASSERT_NE(port, 0);
  WireClient steady(port);
  WireClient longLine(port);
  WireClient badFrame(port);
  ASSERT_EQ(steady.Read(), "ZQJCJGSITE2");
  ASSERT_EQ(longLine.Read(), "ZQJCJGSITE2");
  ASSERT_EQ(badFrame.Read(), "ZQJCJGSITE2");

  EXPECT_EQ(steady.Exchange("ZQJCJGSEND 1"), "ZQJCJGBUSK");
  longLine.Send(std::string(16385, 'A') + "\r\n");
  EXPECT_EQ(longLine.ReadRaw(), "");  // closed without an answer
  EXPECT_EQ(badFrame.Exchange("ZQJCJGSEND 1"), "ZQJCJGBUSK");
  badFrame.Send("ZQJCJGGUID J01 X\r\n");  // a line where a frame belongs
  EXPECT_EQ(badFrame.ReadRaw(), "");

  EXPECT_EQ(steady.Frame("insert into JCJG_JCDW_GC values ('J01','G2','','','','','','',7);"),
            "ZQJCJGOK");
  EXPECT_EQ(steady.Exchange("ZQJCJG_STARSTOP J01 停止上传"), "ZQJCJG_STARSTOP_OK");

  // A line of exactly the limit is still a line.
  WireClient atLimit(port);
  ASSERT_EQ(atLimit.Read(), "ZQJCJGSITE2");
  atLimit.SendLine(std::string(16384, 'B'));
  EXPECT_EQ(atLimit.Read(), "ZQJCJGERROR unknown command");

  server_->Signal(SIGTERM);
  EXPECT_EQ(server_->Wait(), 0);
  std::string log = server_->Output();
  EXPECT_NE(log.find("ended: command line longer than 16384 bytes"), std::string::npos) << log;
  EXPECT_NE(log.find(" over 16 MiB"), std::string::npos) << log;
  EXPECT_TRUE(log.ends_with(" stopped\n")) << log;
}

TEST_F(ServerTest, KeepsRowsWhenItsDatabaseIsAwayAndHonoursTrialOptions) {
  int port = StartServer({"--greeting", "ZQJCJGSITE1", "--reject-guid", "未登记的单位"});
  ASSERT_NE(port, 0);
  WireClient client(port);
  EXPECT_EQ(client.Read(), "ZQJCJGSITE1");
  EXPECT_EQ(client.Exchange("ZQJCJGGUID J01 6F9619FF-8B86-D011-B42D-00C04FC964FF"),
            "ZQJCJGGUIDERROR 未登记的单位");

  // The session's database connection is lost between two frames: that row
  // is answered with neither acceptance nor rejection (the client keeps it
  // for a later cycle), and the next frame reconnects.
  EXPECT_EQ(client.Exchange("ZQJCJGSEND 2"), "ZQJCJGBUSK");
  std::string id =
      Stored("SELECT ID FROM information_schema.PROCESSLIST WHERE DB = '" + database_ + "'");
  ASSERT_FALSE(id.empty());
  inspector_->Rows("KILL CONNECTION " + id);
  std::string lost =
      client.Frame("insert into JCJG_JCDW_GC values ('J01','G3','','','','','','',7);");
  EXPECT_TRUE(lost.starts_with("ZQJCJGRETRY ")) << lost;
  EXPECT_EQ(client.Frame("insert into JCJG_JCDW_GC values ('J01','G3','','','','','','',7);"),
            "ZQJCJGOK");
  server_->Signal(SIGTERM);
  server_->Wait();

  // A database that cannot be reached: the announcement is refused, so the
  // client sends nothing and keeps its rows, instead of rows being refused
  // one by one and marked as rejected for good.
  int closedPort = 0;
  {
    int probe = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address);
    socklen_t length = sizeof address;
    ::getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length);
    closedPort = ntohs(address.sin_port);
    ::close(probe);
  }
  std::vector<std::string> args = {"--port",    "0",      "--db-port", std::to_string(closedPort),
                                   "--db-name", database_};
  server_ = std::make_unique<ChildProcess>(PELVAR_SERVER_PATH, args);
  ASSERT_TRUE(server_->WaitForOutput("\n"));
  std::smatch match;
  std::string output = server_->Output();
  ASSERT_TRUE(std::regex_search(output, match, std::regex(":(\\d+)\n")));
  WireClient away(std::stoi(match[1]));
  EXPECT_EQ(away.Read(), "ZQJCJGSITE2");
  std::string refused = away.Exchange("ZQJCJGSEND 2");
  EXPECT_TRUE(refused.starts_with("ZQJCJGERROR database unavailable: ")) << refused;
  EXPECT_EQ(away.Exchange("ZQJCJG_STARSTOP J01 启动上传"), "ZQJCJG_STARSTOP_OK");
}

}  // namespace
