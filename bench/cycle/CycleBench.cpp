// One whole upload cycle of 150 rows (30 per phase) through UploadCycle
// against the same cycle done by hand: the same selections, settle
// statements and identifier update straight on libmariadb, and the same
// request/reply round trips over a plain socket, to the same loopback peer.
//
// Each round refills the relay tables (not timed), runs one engine cycle,
// refills again and runs one hand-made cycle. The engine's connect includes
// the link's first 125 ms connect slice, which is part of its behaviour; it
// is reported apart, and the ratio compares the work outside the connect
// (relay reconnect, greeting to close) on both sides.
//
// Needs the throwaway MariaDB named by PELVAR_TEST_MYSQL_HOST/PORT/USER/
// PASSWORD; without it the bench says so and does nothing.
//
// Usage: cycle_bench [rounds, default 20]
#include <arpa/inet.h>
#include <mysql.h>
#include <netinet/in.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <list>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "common/LoopbackPeer.h"
#include "relay/RelayConnection.h"
#include "support/TempPrefix.h"
#include "support/TestDatabase.h"
#include "upload/Display.h"
#include "upload/ServerLink.h"
#include "upload/SiteProfile.h"
#include "upload/UploadCycle.h"

namespace {

using pelvar::bench::LoopbackListener;
using pelvar::bench::ReadRequests;
using pelvar::bench::Reply;

using Clock = std::chrono::steady_clock;
constexpr int kRowsPerPhase = 30;

double Milliseconds(Clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

// Processor time (user and system) of the calling thread, in milliseconds.
double ThreadCpuMilliseconds() {
  rusage usage{};
  getrusage(RUSAGE_THREAD, &usage);
  auto ms = [](const timeval& t) { return t.tv_sec * 1000.0 + t.tv_usec / 1000.0; };
  return ms(usage.ru_utime) + ms(usage.ru_stime);
}

// The local date and time as the server sends it ("2011-5-2 8:31:15"), from
// the machine's clock, so the offset the cycle takes over stays near zero.
std::string ServerTimeNow() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[64];
  std::snprintf(text, sizeof text, "%d-%d-%d %d:%02d:%02d", local.tm_year + 1900, local.tm_mon + 1,
                local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
  return text;
}

// The server side: greets, answers every announcement with ZQJCJGBUSK, every
// frame with ZQJCJGOK and the identifier with ZQJCJGGUIDOK and the time.
class AcceptingPeer {
 public:
  AcceptingPeer() : listener_(Serve, LoopbackListener::Mode::kThreadPerConnection) {}
  int Port() const { return listener_.Port(); }

 private:
  static void Serve(int fd) {
    Reply(fd, "ZQJCJGSITE2");
    ReadRequests(
        fd,
        [fd](const std::string& line) {
          if (pelvar::protocol::MatchesPrefix(line, pelvar::protocol::kAnnounce)) {
            Reply(fd, "ZQJCJGBUSK");
          } else if (pelvar::protocol::MatchesPrefix(line, pelvar::protocol::kGuid)) {
            Reply(fd, "ZQJCJGGUIDOK " + ServerTimeNow());
          }
          return true;
        },
        [fd](const std::string&) {
          Reply(fd, "ZQJCJGOK");
          return true;
        });
  }

  LoopbackListener listener_;
};

// Counts log lines like a log view and notes when each connection is made:
// the relay light turns green after the relay reconnect, the connection
// light right after the server connect.
class TimingDisplay : public pelvar::upload::Display {
 public:
  Clock::time_point relayConnected{};
  Clock::time_point serverConnected{};
  int lines = 0;
  int sent = 0;

  void AppendLogLine(const std::string&) override { ++lines; }
  void ClearLog() override { lines = 0; }
  int LogLineCount() override { return lines; }
  void SetLight(pelvar::upload::Light light, pelvar::upload::LightColour colour) override {
    if (colour != pelvar::upload::LightColour::kGreen)
      return;
    (light == pelvar::upload::Light::kRelayDatabase ? relayConnected : serverConnected) =
        Clock::now();
  }
  void RaiseSentCounter() override { ++sent; }
  void ShowRemainingTime(int) override {}
  void SetRemainingTimeVisible(bool) override {}
  void SetHeaderLabel(const std::string&) override {}
};

// 30 pending rows for every phase: 30 reports at state 0 (projects phase),
// 30 at state 1 (reports phase) and 30 in each other table.
void Refill(pelvar::test::TestDatabase& database) {
  database.Run(
      "delete from JCJG_RPTINFO; delete from JCJG_GC_RPT; delete from JCJG_ALTER; "
      "delete from JCJG_AUTO");
  std::string reports, links, alters, autos;
  for (int i = 0; i < 2 * kRowsPerPhase; ++i) {
    const std::string n = std::to_string(i);
    reports += std::string(i ? "," : "") + "('J01','Y" + n +
               "','G1','Z1','S1','新城小区3号楼','某某建设公司','某某施工公司','某某监理公司','BG" +
               n + "','2011-05-02','抗压','合格',3,12.50,NULL,'2011-05-02 08:31:15',0," +
               (i < kRowsPerPhase ? "0" : "1") + ")";
  }
  for (int i = 0; i < kRowsPerPhase; ++i) {
    const std::string n = std::to_string(i);
    const std::string second = std::to_string(10 + i);
    links += std::string(i ? "," : "") + "('J01','Y" + n + "','G1','S1','新城小区3号楼',0)";
    alters += std::string(i ? "," : "") + "('J01','Y" + n + "','2011-05-02 09:00:" + second +
              "','R" + n + "','改正强度值','笔误','张三',0)";
    autos += std::string(i ? "," : "") + "('J01','R" + n + "','2011-05-02 10:00:" + second +
             "','2011-05-02 10:01:" + second + "','SB1','SJ1',1.5,NULL,7,0)";
  }
  database.Run("insert into JCJG_RPTINFO values " + reports);
  database.Run("insert into JCJG_GC_RPT values " + links);
  database.Run("insert into JCJG_ALTER values " + alters);
  database.Run("insert into JCJG_AUTO values " + autos);
}

// The same cycle by hand on libmariadb and a plain socket.
class HandCycle {
 public:
  HandCycle(const pelvar::db::ConnectionParameters& parameters, int port,
            std::filesystem::path journalFile)
      : parameters_(parameters), port_(port), journalFile_(std::move(journalFile)) {}
  ~HandCycle() {
    if (mysql_)
      mysql_close(mysql_);
  }

  Clock::duration connectTime{};  // the socket connect of the last cycle
  int uploaded = 0;

  void Run() {
    if (mysql_)
      mysql_close(mysql_);
    mysql_ = mysql_init(nullptr);
    unsigned int protocol = MYSQL_PROTOCOL_TCP;
    mysql_options(mysql_, MYSQL_OPT_PROTOCOL, &protocol);
    mysql_options(mysql_, MYSQL_SET_CHARSET_NAME, "gbk");
    if (!mysql_real_connect(mysql_, parameters_.server.c_str(), parameters_.userName.c_str(),
                            parameters_.password.c_str(), parameters_.database.c_str(),
                            static_cast<unsigned int>(parameters_.port), nullptr, 0)) {
      Fail();
    }
    const auto connectStart = Clock::now();
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port_));
    if (::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
      std::exit(4);
    connectTime = Clock::now() - connectStart;
    pending_.clear();
    if (ReadLine() != "ZQJCJGSITE2")
      std::exit(5);

    std::string journal;
    Phase(
        "select YPDBH,GCBH,ZJZBH,SJH,GCMC,JSDW,SGDW,JLDW from JCJG_RPTINFO where SENDFLAG=0 and "
        "JCDWBH='J01' limit 0,30",
        0, journal);
    Phase("select * from JCJG_RPTINFO where SENDFLAG=1 and JCDWBH='J01' limit 0,30", 1, journal);
    Phase("select * from JCJG_GC_RPT where SENDFLAG=0 and JCDWBH='J01' limit 0,30", 2, journal);
    Phase("select * from JCJG_ALTER where SENDFLAG=0 and JCDWBH='J01' limit 0,30", 3, journal);
    Phase("select * from JCJG_AUTO where SENDFLAG=0 and JCDWBH='J01' limit 0,30", 4, journal);

    journal += "sync\r\n";
    static std::mt19937_64 random{std::random_device{}()};
    char guid[40];
    std::snprintf(guid, sizeof guid, "%016llX%016llX", static_cast<unsigned long long>(random()),
                  static_cast<unsigned long long>(random()));
    SendLine(std::string("ZQJCJGGUID J01 ") + guid);
    if (ReadLine().rfind("ZQJCJGGUIDOK ", 0) != 0)
      std::exit(6);
    Execute(std::string("update JCJG_CUSER set GUID = '") + guid + "' ");
    {
      std::ofstream file(journalFile_, std::ios::binary | std::ios::app);
      file << journal;
    }
    ::shutdown(fd_, SHUT_WR);
    ::close(fd_);
  }

 private:
  [[noreturn]] void Fail() {
    std::fprintf(stderr, "mysql: %s\n", mysql_error(mysql_));
    std::exit(7);
  }
  void Execute(const std::string& sql) {
    if (mysql_real_query(mysql_, sql.data(), sql.size()) != 0)
      Fail();
  }
  void SendLine(const std::string& line) {
    std::string bytes = line + "\r\n";
    ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
  }
  std::string ReadLine() {
    std::size_t lf;
    while ((lf = pending_.find('\n')) == std::string::npos) {
      ssize_t n = ::recv(fd_, buffer_, sizeof buffer_, 0);
      if (n <= 0)
        std::exit(5);
      pending_.append(buffer_, static_cast<std::size_t>(n));
    }
    std::string line = pending_.substr(0, lf);
    pending_.erase(0, lf + 1);
    if (!line.empty() && line.back() == '\r')
      line.pop_back();
    return line;
  }

  static std::string Value(MYSQL_ROW row, unsigned long* lengths, unsigned i) {
    return row[i] ? std::string(row[i], lengths[i]) : std::string();
  }

  // Statement texts of the same shape as the engine's, from the raw columns.
  void Phase(const char* selection, int phase, std::string& journal) {
    Execute(selection);
    MYSQL_RES* result = mysql_store_result(mysql_);
    if (!result)
      Fail();
    const auto rows = mysql_num_rows(result);
    if (rows == 0) {
      mysql_free_result(result);
      return;
    }
    static const char* const kServerTables[] = {"JCJG_JCDW_GC", "JCJG_JCDW_RPTINFO",
                                                "JCJG_JCDW_GC_RPT", "JCJG_JCDW_ALTER",
                                                "JCJG_JCDW_AUTO"};
    static const char* const kRelayTables[] = {"JCJG_RPTINFO", "JCJG_RPTINFO", "JCJG_GC_RPT",
                                               "JCJG_ALTER", "JCJG_AUTO"};
    SendLine("ZQJCJGSEND " + std::to_string(rows));
    if (ReadLine() != "ZQJCJGBUSK")
      std::exit(8);
    const unsigned columns = mysql_num_fields(result);
    MYSQL_FIELD* fields = mysql_fetch_fields(result);
    int success = 0;
    while (MYSQL_ROW row = mysql_fetch_row(result)) {
      unsigned long* lengths = mysql_fetch_lengths(result);
      std::string statement =
          std::string("insert into ") + kServerTables[phase] + " values ('J01',";
      for (unsigned i = 1; i < columns; ++i) {
        if (!row[i] && phase != 0 && IS_NUM(fields[i].type)) {
          statement += "'0',";
        } else {
          statement += "'" + Value(row, lengths, i) + "',";
        }
      }
      std::string key;
      switch (phase) {
        case 0:
          key = "YPDBH='" + Value(row, lengths, 0) + "' ";
          break;
        case 1:
          key = "JCDWBH='J01' and YPDBH='" + Value(row, lengths, 1) + "' ";
          break;
        case 2:
          key = "YPDBH='" + Value(row, lengths, 1) + "' and GCBH='" + Value(row, lengths, 2) + "' ";
          break;
        case 3:
          key = "YPDBH='" + Value(row, lengths, 1) + "' and XGSJ='" + Value(row, lengths, 2) + "' ";
          break;
        default:
          key = "RWDBH='" + Value(row, lengths, 1) + "' and SYSJ='" + Value(row, lengths, 2) +
                "' and CUSTOMSJ='" + Value(row, lengths, 3) + "' ";
      }
      switch (phase) {
        case 0:
          statement += "7);";
          break;
        case 1:
          statement += "CURRENT_TIMESTAMP(),0 ,7);";
          break;
        case 2:
          statement.back() = ')';
          break;
        default:
          statement += "CURRENT_TIMESTAMP(),0,7);";
      }
      std::string frame(4, '\0');
      frame[0] = static_cast<char>(statement.size() >> 24);
      frame[1] = static_cast<char>(statement.size() >> 16);
      frame[2] = static_cast<char>(statement.size() >> 8);
      frame[3] = static_cast<char>(statement.size());
      frame += statement;
      ::send(fd_, frame.data(), frame.size(), MSG_NOSIGNAL);
      const std::string reply = ReadLine();
      if (phase == 0) {
        Execute("update JCJG_RPTINFO set SENDFLAG=1 where " + key);
      } else if (reply == "ZQJCJGOK") {
        Execute(std::string("delete from ") + kRelayTables[phase] + "  where " + key);
        if (mysql_affected_rows(mysql_) >= 1) {
          ++success;
          ++uploaded;
        }
      }
    }
    mysql_free_result(result);
    if (phase != 0) {
      journal += "summary " + std::to_string(rows) + " " + std::to_string(success) + "\r\n";
    }
  }

  pelvar::db::ConnectionParameters parameters_;
  int port_;
  std::filesystem::path journalFile_;
  MYSQL* mysql_ = nullptr;
  int fd_ = -1;
  char buffer_[32768];
  std::string pending_;
};

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

double Sum(const std::vector<double>& values) {
  double sum = 0;
  for (double v : values)
    sum += v;
  return sum;
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::atoi(argv[1]) : 20;
  if (rounds <= 0)
    return 1;
  if (!pelvar::test::TestDatabase::Configured()) {
    std::printf(
        "cycle_bench: no database. Set PELVAR_TEST_MYSQL_HOST, _PORT, _USER and _PASSWORD\n"
        "to a throwaway MariaDB server (scripts/lib/mariadb.sh starts one); nothing measured.\n");
    return 0;
  }
  // Client and peer threads on one CPU, so that neither side pays for a
  // wake-up on another CPU more than the other (see link_bench).
  cpu_set_t one;
  CPU_ZERO(&one);
  CPU_SET(sched_getcpu() < 0 ? 0 : sched_getcpu(), &one);
  const bool pinned = sched_setaffinity(0, sizeof one, &one) == 0;

  pelvar::test::TempPrefix prefix;
  const auto journalBase = prefix.MakeJournalBase();
  pelvar::test::TestDatabase database;
  database.Run(pelvar::test::ReadFileBytes(PELVAR_SOURCE_DIR "/tests/data/relay_schema.sql"));
  database.Run("insert into JCJG_CUSER (dwbh) values ('J01')");
  AcceptingPeer peer;

  TimingDisplay display;
  pelvar::upload::ServerLink link;
  pelvar::relay::RelayConnection relay;
  relay.Configure(database.MySqlParameters());
  const pelvar::upload::SiteProfile profile{"J01", "7", "J01", "127.0.0.1", peer.Port(), "MySQL"};
  HandCycle hand(database.MySqlParameters(), peer.Port(), journalBase / "hand.log");

  std::printf(
      "cycle_bench: %d rounds of one cycle of %d rows (%d per phase), engine and by hand%s\n",
      rounds, 5 * kRowsPerPhase, kRowsPerPhase, pinned ? ", all threads on one CPU" : "");
  std::vector<double> engineWork, engineConnect, handWork, handConnect, engineCpu, handCpu;
  auto runEngine = [&] {
    Refill(database);
    const int sentBefore = display.sent;
    pelvar::upload::UploadCycle cycle(relay, link, display, profile, [] {});
    const double cpuStart = ThreadCpuMilliseconds();
    const auto start = Clock::now();
    cycle.RunUploadCycle();
    const auto end = Clock::now();
    engineCpu.push_back(ThreadCpuMilliseconds() - cpuStart);
    if (display.sent - sentBefore != 4 * kRowsPerPhase) {
      std::fprintf(stderr, "engine cycle uploaded %d rows, expected %d\n",
                   display.sent - sentBefore, 4 * kRowsPerPhase);
      std::exit(2);
    }
    engineConnect.push_back(Milliseconds(display.serverConnected - display.relayConnected));
    engineWork.push_back(Milliseconds(end - start) - engineConnect.back());
  };
  auto runHand = [&] {
    Refill(database);
    const int handBefore = hand.uploaded;
    const double cpuStart = ThreadCpuMilliseconds();
    const auto handStart = Clock::now();
    hand.Run();
    const auto handEnd = Clock::now();
    handCpu.push_back(ThreadCpuMilliseconds() - cpuStart);
    if (hand.uploaded - handBefore != 4 * kRowsPerPhase) {
      std::fprintf(stderr, "hand cycle uploaded %d rows\n", hand.uploaded - handBefore);
      std::exit(2);
    }
    handConnect.push_back(Milliseconds(hand.connectTime));
    handWork.push_back(Milliseconds(handEnd - handStart - hand.connectTime));
  };
  // The two sides take turns in alternating order, so both see the same
  // load on the database server and on the machine.
  for (int round = 0; round < rounds; ++round) {
    if (round % 2 == 0) {
      runEngine();
      runHand();
    } else {
      runHand();
      runEngine();
    }
  }
  const double rows = 5 * kRowsPerPhase;
  const double engineMedian = Median(engineWork);
  const double handMedian = Median(handWork);
  std::printf(
      "  server connect: engine median %.2f ms (one 125 ms connect slice is always waited),\n"
      "                  by hand median %.3f ms\n",
      Median(engineConnect), Median(handConnect));
  std::printf("  cycle without the connect, median: engine %.2f ms, by hand %.2f ms\n",
              engineMedian, handMedian);
  std::printf(
      "  processor time of the client thread per cycle, median: engine %.2f ms, by hand %.2f ms\n",
      Median(engineCpu), Median(handCpu));
  std::printf("  rows per second (150 rows, median cycle): engine %.0f, by hand %.0f\n",
              rows / engineMedian * 1000, rows / handMedian * 1000);
  std::printf("  rows per second (all rounds): engine %.0f, by hand %.0f\n",
              rows * rounds / Sum(engineWork) * 1000, rows * rounds / Sum(handWork) * 1000);
  std::printf("  with the connect, median cycle: engine %.2f ms (%.0f rows/s)\n",
              engineMedian + Median(engineConnect),
              rows / (engineMedian + Median(engineConnect)) * 1000);
  // Each round's two cycles ran back to back, so their ratio is less
  // disturbed by the load of the moment than the ratio of the medians.
  std::vector<double> paired;
  for (int round = 0; round < rounds; ++round)
    paired.push_back(engineWork[round] / handWork[round]);
  std::printf("  ratio engine / by hand %.3f (goal <= 1.15); median of the rounds' ratios %.3f\n",
              engineMedian / handMedian, Median(paired));
  return 0;
}
