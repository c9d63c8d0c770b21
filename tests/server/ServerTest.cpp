// pelvar-server run as a real process against the throwaway MariaDB, spoken
// to over loopback sockets as the upload client speaks to it.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "support/ChildProcess.h"
#include "support/TestDatabase.h"
#include "text/Gbk.h"

namespace {

using pelvar::test::ChildProcess;
using pelvar::test::TestDatabase;
using pelvar::text::GbkToUtf8;
using pelvar::text::Utf8ToGbk;

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
  int Socket() const { return socket_; }
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
    PELVAR_REQUIRE_TEST_DATABASE();
    database_ = std::make_unique<TestDatabase>();
    access_ = database_->MySqlParameters();
  }

  void TearDown() override {
    if (server_) {
      server_->Signal(SIGTERM);
      server_->Wait();
    }
  }

  // Starts the server on a free port with the test database (creating its
  // tables), or with a database port of its own (creating nothing); returns
  // the port it listens on.
  int StartServer(std::vector<std::string> extra = {}, int databasePort = 0) {
    std::vector<std::string> args = {
        "--port",    "0",
        "--db-host", access_.server,
        "--db-port", std::to_string(databasePort != 0 ? databasePort : access_.port),
        "--db-user", access_.userName,
        "--db-name", database_->Name()};
    if (databasePort == 0)
      args.push_back("--create-schema");
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

  std::string Stored(const std::string& sql) { return database_->Scalar(sql).value_or("NULL"); }

  std::unique_ptr<TestDatabase> database_;
  pelvar::db::ConnectionParameters access_;
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

  EXPECT_EQ(Stored("SELECT GCMC FROM JCJG_JCDW_GC"), "新城小区3号楼");
  EXPECT_EQ(Stored("SELECT COUNT(*) FROM JCJG_JCDW_RPTINFO"), "1");
  EXPECT_EQ(Stored("SELECT CONCAT(BGXGCOUNT, JCXM, BGRQ) FROM JCJG_JCDW_RPTINFO"),
            "1混凝土0000-00-00");

  // A revision whose insert fails leaves the server's rows as they were.
  EXPECT_EQ(client.Exchange("ZQJCJGSEND 1"), "ZQJCJGBUSK");
  std::string failed = client.Frame(revision + "insert into JCJG_JCDW_RPTINFO values ('J01');");
  EXPECT_TRUE(failed.starts_with("ZQJCJGERROR Column count")) << failed;
  EXPECT_EQ(Stored("SELECT COUNT(*) FROM JCJG_JCDW_RPTINFO"), "1");
  EXPECT_EQ(Stored("SELECT COUNT(*) FROM JCJG_JCDW_GC_RPT"), "1");

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
  EXPECT_NE(log.find(" over the limit of 67108864 bytes"), std::string::npos) << log;
  EXPECT_TRUE(log.ends_with(" stopped\n")) << log;
}

TEST_F(ServerTest, RefusesValuesThatDoNotFitAndBoundsEverySession) {
  int port =
      StartServer({"--idle-timeout", "3", "--max-frame", "100000", "--frame-budget", "100000"});
  ASSERT_NE(port, 0);
  WireClient client(port);
  ASSERT_EQ(client.Read(), "ZQJCJGSITE2");

  // A value too long or too large for its column is refused, never cut; an
  // empty text still stands for zero and the zero date.
  EXPECT_EQ(client.Exchange("ZQJCJGSEND 3"), "ZQJCJGBUSK");
  EXPECT_EQ(client.Frame("insert into JCJG_JCDW_GC values ('J01','G1','','','" +
                         std::string(101, 'x') + "','','','',7);"),
            "ZQJCJGERROR Data truncated for column 'GCMC' at row 1");
  EXPECT_EQ(client.Frame("insert into JCJG_JCDW_RPTINFO values ('J01','Y1','G1','','','','',"
                         "'','','BG-1','','','','99999999999','','','','','0','','',7);"),
            "ZQJCJGERROR Out of range value for column 'YPSL' at row 1");
  EXPECT_EQ(client.Frame("insert into JCJG_JCDW_RPTINFO values ('J01','Y1','G1','','','','',"
                         "'','','BG-1','','','','','','','','','0','','',7);"),
            "ZQJCJGOK");
  EXPECT_EQ(Stored("SELECT COUNT(*) FROM JCJG_JCDW_GC"), "0");
  EXPECT_EQ(Stored("SELECT CONCAT(BGRQ, ' ', SYRQ, ' ', YPSL, ' ', DBSL, ' ', QDDJ) "
                   "FROM JCJG_JCDW_RPTINFO"),
            "0000-00-00 0000-00-00 00:00:00 0 0.00 0");

  // Frames wait for room in the budget: the second frame's statement is
  // run only once the first, which holds all of it, has been answered.
  WireClient first(port);
  WireClient second(port);
  ASSERT_EQ(first.Read(), "ZQJCJGSITE2");
  ASSERT_EQ(second.Read(), "ZQJCJGSITE2");
  EXPECT_EQ(first.Exchange("ZQJCJGSEND 1"), "ZQJCJGBUSK");
  EXPECT_EQ(second.Exchange("ZQJCJGSEND 1"), "ZQJCJGBUSK");
  auto padded = [](const std::string& statement, std::size_t size) {
    return statement + std::string(size - statement.size(), ' ');
  };
  std::string firstFrame =
      padded("insert into JCJG_JCDW_GC values ('J01','GA','','','','','','',7);", 100000);
  std::string header{0, 1, static_cast<char>(0x86), static_cast<char>(0xA0)};  // 100000
  first.Send(header + firstFrame.substr(0, 10));
  ::usleep(300 * 1000);
  second.SendFrame(padded("insert into JCJG_JCDW_GC values ('J01','GB','','','','','','',7);",
                          40000));  // more than the server takes in one read
  pollfd waiting{second.Socket(), POLLIN, 0};
  EXPECT_EQ(::poll(&waiting, 1, 500), 0);
  first.Send(firstFrame.substr(10));
  EXPECT_EQ(first.Read(), "ZQJCJGOK");
  EXPECT_EQ(second.Read(), "ZQJCJGOK");

  // A frame over the limit and a silent client end their sessions.
  WireClient oversized(port);
  ASSERT_EQ(oversized.Read(), "ZQJCJGSITE2");
  EXPECT_EQ(oversized.Exchange("ZQJCJGSEND 1"), "ZQJCJGBUSK");
  oversized.Send(std::string{0, 1, static_cast<char>(0x86), static_cast<char>(0xA1)});
  EXPECT_EQ(oversized.ReadRaw(), "");
  WireClient silent(port);
  ASSERT_EQ(silent.Read(), "ZQJCJGSITE2");
  EXPECT_EQ(silent.ReadRaw(), "");

  server_->Signal(SIGTERM);
  EXPECT_EQ(server_->Wait(), 0);
  std::string log = server_->Output();
  EXPECT_NE(log.find("ended: frame length 100001 over the limit of 100000 bytes"),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("ended: idle for 3 s"), std::string::npos) << log;
}

TEST_F(ServerTest, KeepsRowsWhenItsDatabaseIsAwayAndHonoursTrialOptions) {
  int port = StartServer(
      {"--greeting", "ZQJCJGSITE1", "--reject-guid", "未登记的单位", "--max-sessions", "1"});
  ASSERT_NE(port, 0);
  WireClient client(port);
  EXPECT_EQ(client.Read(), "ZQJCJGSITE1");
  WireClient beyondLimit(port);
  EXPECT_EQ(beyondLimit.ReadRaw(), "");  // closed without a greeting
  EXPECT_EQ(client.Exchange("ZQJCJGGUID J01 6F9619FF-8B86-D011-B42D-00C04FC964FF"),
            "ZQJCJGGUIDERROR 未登记的单位");

  // The session's database connection is lost between two frames: that row
  // is answered with neither acceptance nor rejection (the client keeps it
  // for a later cycle), and the next frame reconnects.
  EXPECT_EQ(client.Exchange("ZQJCJGSEND 2"), "ZQJCJGBUSK");
  std::string id = Stored("SELECT ID FROM information_schema.PROCESSLIST WHERE DB = '" +
                          database_->Name() + "' AND ID <> CONNECTION_ID()");
  ASSERT_NE(id, "NULL");
  database_->Kill(std::stoll(id));
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
  port = StartServer({}, closedPort);
  ASSERT_NE(port, 0);
  WireClient away(port);
  EXPECT_EQ(away.Read(), "ZQJCJGSITE2");
  std::string refused = away.Exchange("ZQJCJGSEND 2");
  EXPECT_TRUE(refused.starts_with("ZQJCJGERROR database unavailable: ")) << refused;
  EXPECT_EQ(away.Exchange("ZQJCJG_STARSTOP J01 启动上传"), "ZQJCJG_STARSTOP_OK");
}

}  // namespace
