// Whatever breaks during an upload cycle, the client keeps working and no row
// is lost or silently changed. Every scenario fills the relay tables with 30
// rows each, breaks one thing at one point of the cycle (the server's side of
// the wire, the relay database, the journal), runs the cycle, removes the
// fault, runs one clean cycle and then accounts for every row: still in the
// relay in a known state with its values untouched, or on the server exactly
// once with the statement a clean upload sends. Nothing is left that a clean
// cycle cannot settle: the fill holds rows whose keys are NULL or carry
// blanks and control bytes at their ends, and a report moves past its
// projects phase only after the server answered for its project.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <functional>
#include <iostream>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/Clock.h"
#include "relay/RelayConnection.h"
#include "support/RecordingDisplay.h"
#include "support/ScriptedPeer.h"
#include "support/TcpProxy.h"
#include "support/TempPrefix.h"
#include "support/TestDatabase.h"
#include "text/Gbk.h"
#include "text/Regional.h"
#include "text/Strings.h"
#include "upload/Journal.h"
#include "upload/ServerLink.h"
#include "upload/UploadCycle.h"

namespace pelvar::upload {
namespace {

using testing::PeerClosed;
using testing::PeerConnection;
using testing::RecordingDisplay;
using testing::ScriptedPeer;
using testing::TcpProxy;
namespace fs = std::filesystem;

constexpr int kRowsPerTable = 30;
const char* const kTables[] = {"JCJG_RPTINFO", "JCJG_GC_RPT", "JCJG_ALTER", "JCJG_AUTO"};

// ---------------------------------------------------------------------------
// Totals over the whole program, printed once at the end.

struct Tally {
  int faults = 0;
  int lost = 0;         // neither in the relay nor on the server
  int changed = 0;      // values altered in the relay or on the server, or a stray state
  int leftPending = 0;  // still 0 or 1 after the clean cycle
  int resent = 0;       // accepted rows sent again and answered as duplicates
};
Tally tally;

class SummaryEnvironment : public ::testing::Environment {
 public:
  void TearDown() override {
    std::cout << "fault injection: " << tally.faults << " faults injected, " << tally.lost
              << " rows lost, " << tally.changed << " rows changed, " << tally.leftPending
              << " rows left pending after the clean cycle, " << tally.resent
              << " accepted rows re-sent and settled as duplicates" << std::endl;
  }
};
[[maybe_unused]] ::testing::Environment* const kSummary =
    ::testing::AddGlobalTestEnvironment(new SummaryEnvironment);

// ---------------------------------------------------------------------------
// The supervision server: stateful like a real one (a second insert of the
// same row key is refused as a duplicate of the primary key), and able to
// break the session at any point of the cycle's wire sequence.

enum class FaultPoint {
  kNone,
  kOnAccept,        // right after accepting, before the greeting
  kAfterGreeting,   // greeting sent, nothing read
  kAfterAnnounce,   // the phase-th announcement read, no ready line
  kInFrame,         // `bytes` of the row-th frame of the phase-th phase read
  kInLargeFrame,    // `bytes` of the first frame of 1 MB or more read
  kInsteadOfReply,  // the frame read and stored, the connection ends instead of the reply
  kAfterReply,      // the reply to the row-th frame of the phase-th phase sent
  kBeforeGuid,      // the phase-th phase done, the GUID line not read
  kAfterGuidRead,   // the GUID line read, no reply
  // The first `bytes` bytes of a line and its CR, never its LF:
  kPartialGreeting,
  kPartialReady,  // to the phase-th announcement
  kPartialReply,  // to the row-th frame of the phase-th phase (the row is stored)
  kPartialGuidReply,
  // Instead of a verdict for the row-th frame of the phase-th phase, the line
  // `reply` (a passing failure, garbage); nothing stored, the session goes on.
  kOddReply,
};
enum class Ending { kClose, kReset };

constexpr std::size_t kAllButLast = ~std::size_t{0};

struct PeerFault {
  FaultPoint point = FaultPoint::kNone;
  int phase = 0;          // the phase-th announcement (1 = projects when all tables hold rows)
  int row = 0;            // the row-th frame of that phase
  std::size_t bytes = 0;  // kInFrame: at most all of the frame but its last byte
  Ending ending = Ending::kClose;
  const char* reply = "";  // kOddReply
};

// The row key the fill gave the row: the second value of the insert (the
// first is the agency number); unique over the four tables.
std::string KeyOf(const std::string& statement) {
  std::size_t at = statement.find("values ('");
  if (at == std::string::npos)
    return {};
  at = statement.find("','", at);
  if (at == std::string::npos)
    return {};
  at += 3;
  return statement.substr(at, statement.find('\'', at) - at);
}

class SupervisionServer {
 public:
  SupervisionServer() : peer_([this](PeerConnection& connection) { Serve(connection); }) {
    // Fetching and converting a 10 MB value takes the sanitized client well
    // over the usual limit on a busy machine before its frame's first byte.
    peer_.SetReadLimit(std::chrono::seconds(120));
  }

  std::uint16_t Port() const { return peer_.Port(); }

  void SetFault(const PeerFault& fault) {
    std::lock_guard lock(mutex_);
    fault_ = fault;
  }
  // Empties the server's tables.
  void Clear() {
    std::lock_guard lock(mutex_);
    stored_.clear();
    inserts_.clear();
    projects_.clear();
    refused_.clear();
    duplicates_ = 0;
  }
  // A row the server already holds (its insert is refused as a duplicate).
  void Preload(const std::string& key, const std::string& statement) {
    std::lock_guard lock(mutex_);
    stored_[key] = statement;
  }
  // A row the server refuses for another reason than its key.
  void Refuse(const std::string& key) {
    std::lock_guard lock(mutex_);
    refused_.insert(key);
  }
  std::map<std::string, std::string> Stored() const {
    std::lock_guard lock(mutex_);
    return stored_;
  }
  std::map<std::string, int> Inserts() const {
    std::lock_guard lock(mutex_);
    return inserts_;
  }
  // The projects the server answered for, by their GCBH.
  std::set<std::string> Projects() const {
    std::lock_guard lock(mutex_);
    return projects_;
  }
  int Duplicates() const {
    std::lock_guard lock(mutex_);
    return duplicates_;
  }
  // Waits until the scripts of all accepted connections have ended.
  void WaitIdle() { peer_.WaitForScripts(peer_.AcceptedCount()); }

 private:
  // The verdict a real server gives, with the row stored on acceptance.
  std::string Judge(const std::string& statement) {
    const std::string key = KeyOf(statement);
    std::lock_guard lock(mutex_);
    // A real server may already know the project: always accepted.
    if (statement.rfind("insert into JCJG_JCDW_GC ", 0) == 0) {
      projects_.insert(key);
      return "ZQJCJGOK";
    }
    if (refused_.count(key) != 0)
      return "ZQJCJGERROR Data too long for column 'XGNR' at row 1";
    if (stored_.count(key) != 0) {
      ++duplicates_;
      return "ZQJCJGERROR Duplicate entry '" + key + "' for key 'PRIMARY'";
    }
    stored_[key] = statement;
    ++inserts_[key];
    return "ZQJCJGOK";
  }

  void Serve(PeerConnection& connection) {
    PeerFault fault;
    {
      std::lock_guard lock(mutex_);
      fault = fault_;
    }
    auto end = [&] {
      if (fault.ending == Ending::kClose) {
        connection.Close();
      } else {
        connection.Reset();
      }
    };
    auto at = [&](FaultPoint point, int phase, int row = 0) {
      return fault.point == point && fault.phase == phase && fault.row == row;
    };
    // A line cut short: its first bytes, then the end of the connection.
    auto partial = [&](const std::string& line) {
      connection.Send((line + "\r").substr(0, std::min(fault.bytes, line.size() + 1)));
      end();
    };
    if (fault.point == FaultPoint::kOnAccept)
      return end();
    if (fault.point == FaultPoint::kPartialGreeting)
      return partial("ZQJCJGSITE2");
    connection.Send("ZQJCJGSITE2\r\n");
    if (fault.point == FaultPoint::kAfterGreeting)
      return end();
    int phase = 0;
    for (;;) {
      if (at(FaultPoint::kBeforeGuid, phase))
        return end();
      const std::string line = connection.ReadLine();
      if (line.rfind("ZQJCJGSEND ", 0) == 0) {
        ++phase;
        if (at(FaultPoint::kAfterAnnounce, phase))
          return end();
        if (at(FaultPoint::kPartialReady, phase))
          return partial("ZQJCJGBUSK");
        connection.Send("ZQJCJGBUSK\r\n");
        const int count = std::stoi(line.substr(11));
        for (int row = 1; row <= count; ++row) {
          if (at(FaultPoint::kInFrame, phase, row)) {
            if (fault.bytes <= 4) {
              connection.ReadBytes(fault.bytes);
            } else {
              const std::string header = connection.ReadBytes(4);
              std::uint32_t length = 0;
              for (char c : header)
                length = (length << 8) | static_cast<unsigned char>(c);
              connection.ReadBytes(std::min<std::size_t>(fault.bytes, 4 + length - 1) - 4);
            }
            return end();
          }
          std::string frame = connection.ReadBytes(4);
          std::uint32_t length = 0;
          for (char c : frame)
            length = (length << 8) | static_cast<unsigned char>(c);
          if (fault.point == FaultPoint::kInLargeFrame && length >= (1u << 20)) {
            connection.ReadBytes(fault.bytes);
            // The client is still writing: its frame no longer fits into
            // the socket buffers on the way.
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            return end();
          }
          frame += connection.ReadBytes(length);
          if (at(FaultPoint::kOddReply, phase, row)) {
            connection.Send(std::string(fault.reply) + "\r\n");
            continue;
          }
          const std::string reply = Judge(text::GbkToUtf8(frame.substr(4)));
          if (at(FaultPoint::kInsteadOfReply, phase, row))
            return end();
          if (at(FaultPoint::kPartialReply, phase, row))
            return partial(reply);
          connection.Send(reply + "\r\n");
          if (at(FaultPoint::kAfterReply, phase, row))
            return end();
        }
      } else if (line.rfind("ZQJCJGGUID ", 0) == 0) {
        if (fault.point == FaultPoint::kAfterGuidRead)
          return end();
        const std::string accepted = "ZQJCJGGUIDOK " + text::TimeStamp(platform::Now());
        if (fault.point == FaultPoint::kPartialGuidReply)
          return partial(accepted);
        connection.Send(accepted + "\r\n");
      } else {
        connection.Send("ZQJCJGERROR unknown command\r\n");
      }
    }
  }

  mutable std::mutex mutex_;
  PeerFault fault_;
  std::map<std::string, std::string> stored_;  // row key -> accepted statement
  std::map<std::string, int> inserts_;         // row key -> inserts accepted
  std::set<std::string> refused_;
  std::set<std::string> projects_;  // GCBH of every project answered
  int duplicates_ = 0;
  ScriptedPeer peer_;  // last: its thread stops before the state above goes
};

// ---------------------------------------------------------------------------
// What the faulty cycle must report.

enum class Expect {
  kCommunication,    // "Communication Exception: ...", connection light red
  kRelay,            // "VCL Exception: ...", relay light red
  kJournal,          // "VCL Exception: Cannot ... file ...", relay light red
  kGreetingRefused,  // "请升级上传程序！", connection light stays green
  kUnnoticed,        // a cut-short GUID reply is no answer: the cycle ends as a clean one,
                     // its last line the last row uploaded, without the completion line
  kCompleted,        // the cycle got through as a clean one does
};

// Which tables a scenario fills (30 rows each).
struct Fill {
  bool reports = true;
  bool links = true;
  bool modifications = true;
  bool readings = true;
};

struct Scenario {
  Scenario(std::string name, PeerFault peer = {}) : name(std::move(name)), peer(peer) {}

  std::string name;
  PeerFault peer;
  std::function<void()> inject;  // breaks the relay or the journal before the cycle
  std::function<void()> repair;  // undoes it after the cycle
  Expect expect = Expect::kCommunication;
  Fill fill;
  std::function<void()> prepare;  // after the fill (preloads, refusals, big values)
};

// Everything the scenarios share: one emulated machine, one database, the
// server, the proxy in front of the database, and the client's parts.
struct Bench {
  test::TempPrefix prefix;
  test::TestDatabase database;
  SupervisionServer server;
  TcpProxy proxy;
  RecordingDisplay display;
  ServerLink link;
  relay::RelayConnection relay;
  SiteProfile profile;
  // Row key -> the row's values as filled (all columns but SENDFLAG).
  std::map<std::string, std::string> snapshot;
  std::map<std::string, std::string> standardSnapshot;
  // Row key -> the statement a clean upload sends for it.
  std::map<std::string, std::string> golden;

  Bench()
      : proxy(database.MySqlParameters().server,
              static_cast<std::uint16_t>(database.MySqlParameters().port)) {
    prefix.MakeJournalBase();
    database.Run(test::ReadFileBytes(PELVAR_SOURCE_DIR "/tests/data/relay_schema.sql"));
    // The client's statements are the same whatever the engine; MyISAM
    // spares the hundreds of cycles a disk flush per settled row.
    for (const char* table :
         {"JCJG_RPTINFO", "JCJG_GC_RPT", "JCJG_ALTER", "JCJG_AUTO", "JCJG_CUSER"}) {
      database.Run(std::string("alter table ") + table + " engine=MyISAM");
    }
    database.Run("insert into JCJG_CUSER (dwbh) values ('J01')");
    db::ConnectionParameters parameters = database.MySqlParameters();
    parameters.port = proxy.Port();
    relay.Configure(parameters);
    // Connects complete at once on loopback; the 125 ms least wait would
    // only slow the hundreds of cycles down.
    link.SetConnectLimit(std::chrono::seconds(10), std::chrono::milliseconds(1));
    profile = {"J01", "7", "J01", "127.0.0.1", server.Port(), "MySQL"};
  }

  static std::string Rows(const char* pattern, bool on) {
    if (!on)
      return {};
    std::string values;
    char row[512];
    for (int i = 0; i < kRowsPerTable; ++i) {
      std::snprintf(row, sizeof row, pattern, i, i, i, i, i);
      values += (values.empty() ? "" : ",") + std::string(row);
    }
    return values;
  }

  void FillTables(const Fill& fill) {
    database.Run(
        "delete from JCJG_RPTINFO; delete from JCJG_GC_RPT; delete from JCJG_ALTER; "
        "delete from JCJG_AUTO; update JCJG_CUSER set GUID=NULL");
    const std::string values[] = {
        Rows("('J01','YR%02d','G%d','Z1','S1','新城小区%d号楼','建设','施工','监理','BG%d',"
             "'2011-05-02','抗压','合格',3,12.50,NULL,'2011-05-02 08:31:%02d',0,0)",
             fill.reports),
        Rows("('J01','YL%02d','G%d','S1','新城''小区\\\\%d',0)", fill.links),
        Rows("('J01','YA%02d','2011-05-02 09:%02d:00','RA%d','改',NULL,'张三',0)",
             fill.modifications),
        Rows("('J01','YU%02d','2011-05-02 10:%02d:00','2011-05-02 10:%02d:05','SB1','SJ1',"
             "1.5,NULL,%d,0)",
             fill.readings),
    };
    std::string sql;
    for (int t = 0; t < 4; ++t) {
      if (values[t].empty())
        continue;
      sql += (sql.empty() ? "" : ";") + std::string("insert into ") + kTables[t] + " values " +
             values[t];
    }
    if (!sql.empty())
      database.Run(sql);
    // Keys a clean cycle must settle like any other: NULL dates, blanks and
    // control bytes at the ends of key texts.
    database.Run(
        "update JCJG_RPTINFO set YPDBH=' YR06' where YPDBH='YR06';"
        "update JCJG_GC_RPT set YPDBH='YL06\\t' where YPDBH='YL06';"
        "update JCJG_ALTER set XGSJ=NULL where YPDBH='YA03';"
        "update JCJG_AUTO set SYSJ=NULL, CUSTOMSJ=NULL where RWDBH='YU04'");
  }

  // key -> (values but SENDFLAG, SENDFLAG) for every row in the relay.
  std::map<std::string, std::pair<std::string, std::string>> RelayRows() {
    std::map<std::string, std::pair<std::string, std::string>> rows;
    for (const char* table : kTables) {
      for (const auto& row : database.Rows(std::string("select * from ") + table)) {
        std::string values;
        for (std::size_t i = 0; i + 1 < row.size(); ++i) {
          values += (row[i] ? *row[i] : std::string("<NULL>")) + "|";
        }
        rows[text::Trim(*row[1])] = {values, *row.back()};
      }
    }
    return rows;
  }

  void TakeSnapshot() {
    snapshot.clear();
    for (const auto& [key, row] : RelayRows())
      snapshot[key] = row.first;
  }

  // Runs one cycle; it must return normally whatever happens inside.
  void RunCycle() {
    display.logLines.clear();
    display.dbStatus = LightColour::kGray;
    display.connectStatus = LightColour::kGray;
    UploadCycle cycle(relay, link, display, profile, [] {});
    try {
      cycle.RunUploadCycle();
    } catch (const std::exception& error) {
      ADD_FAILURE() << "the cycle did not return normally: " << error.what();
    } catch (...) {
      ADD_FAILURE() << "the cycle did not return normally";
    }
    EXPECT_FALSE(link.IsSessionOpen()) << "the cycle left its server session open";
    server.WaitIdle();
  }

  std::string LastLine() const {
    return display.logLines.empty() ? std::string("<no line>") : display.logLines.back();
  }

  bool CleanCycleCompleted() const {
    const std::string tail = " 同步信息完成！";
    const std::string last = LastLine();
    return last.size() >= tail.size() &&
           last.compare(last.size() - tail.size(), tail.size(), tail) == 0 &&
           display.connectStatus == LightColour::kGray && display.dbStatus == LightColour::kGreen;
  }

  // Accounts for every row of the fill; adds to the tally and reports each
  // lost or changed row as a failure.
  void CheckEveryRow(const std::string& name) {
    const auto relayRows = RelayRows();
    const auto stored = server.Stored();
    const auto inserts = server.Inserts();
    const auto projects = server.Projects();
    for (const auto& [key, values] : snapshot) {
      // A report past its projects phase (on the server, or in the relay in
      // a state above 0) had its project answered: row n's project is Gn.
      if (key.rfind("YR", 0) == 0) {
        auto row = relayRows.find(key);
        const bool movedOn = row == relayRows.end() || row->second.second != "0";
        if (movedOn && projects.count("G" + std::to_string(std::stoi(key.substr(2)))) == 0) {
          ++tally.changed;
          ADD_FAILURE() << name << ": report " << key << " moved on, its project never answered";
        }
      }
      auto inRelay = relayRows.find(key);
      auto onServer = stored.find(key);
      auto insertCount = inserts.find(key);
      const int accepted = insertCount == inserts.end() ? 0 : insertCount->second;
      if (accepted > 1) {
        ++tally.changed;
        ADD_FAILURE() << name << ": row " << key << " inserted " << accepted << " times";
      }
      if (inRelay != relayRows.end()) {
        const std::string& state = inRelay->second.second;
        if (inRelay->second.first != values) {
          ++tally.changed;
          ADD_FAILURE() << name << ": row " << key
                        << " changed in the relay: " << inRelay->second.first;
        }
        if (state != "0" && state != "1" && state != "10" && state != "100") {
          ++tally.changed;
          ADD_FAILURE() << name << ": row " << key << " in state " << state;
        }
        if (state == "0" || state == "1") {
          ++tally.leftPending;
          ADD_FAILURE() << name << ": row " << key << " still pending after the clean cycle";
        }
        if (state == "10" && onServer == stored.end()) {
          ++tally.lost;
          ADD_FAILURE() << name << ": row " << key << " marked a duplicate, not on the server";
        }
        continue;
      }
      if (onServer == stored.end() || accepted == 0) {
        ++tally.lost;
        ADD_FAILURE() << name << ": row " << key << " gone from the relay, not on the server";
        continue;
      }
      auto clean = golden.find(key);
      auto standard = standardSnapshot.find(key);
      if (clean != golden.end() && standard != standardSnapshot.end() &&
          standard->second == values && clean->second != onServer->second) {
        ++tally.changed;
        ADD_FAILURE() << name << ": row " << key << " reached the server as " << onServer->second
                      << "\ninstead of " << clean->second;
      }
    }
  }

  void Run(const Scenario& scenario) {
    SCOPED_TRACE(scenario.name);
    FillTables(scenario.fill);
    TakeSnapshot();
    server.Clear();
    if (scenario.prepare)
      scenario.prepare();
    const int duplicatesBefore = server.Duplicates();

    server.SetFault(scenario.peer);
    if (scenario.inject)
      scenario.inject();
    RunCycle();
    server.SetFault({});
    if (scenario.repair)
      scenario.repair();
    proxy.Heal();
    ++tally.faults;

    const std::string last = LastLine();
    switch (scenario.expect) {
      case Expect::kCommunication:
        EXPECT_EQ(last.rfind("Communication Exception: ", 0), 0u) << scenario.name << ": " << last;
        EXPECT_EQ(display.connectStatus, LightColour::kRed) << scenario.name;
        EXPECT_EQ(display.dbStatus, LightColour::kGreen) << scenario.name;
        break;
      case Expect::kRelay:
        EXPECT_EQ(last.rfind("VCL Exception: ", 0), 0u) << scenario.name << ": " << last;
        EXPECT_EQ(display.dbStatus, LightColour::kRed) << scenario.name;
        // The server connection stood; its light keeps the green of the connect.
        EXPECT_EQ(display.connectStatus, LightColour::kGreen) << scenario.name;
        break;
      case Expect::kJournal:
        EXPECT_TRUE(last.rfind("VCL Exception: Cannot open file \"", 0) == 0 ||
                    last.rfind("VCL Exception: Cannot write file \"", 0) == 0)
            << scenario.name << ": " << last;
        EXPECT_EQ(display.dbStatus, LightColour::kRed) << scenario.name;
        EXPECT_EQ(display.connectStatus, LightColour::kGreen) << scenario.name;
        break;
      case Expect::kGreetingRefused:
        EXPECT_EQ(display.logLines, std::vector<std::string>{"请升级上传程序！"}) << scenario.name;
        EXPECT_EQ(display.connectStatus, LightColour::kGreen) << scenario.name;
        break;
      case Expect::kCompleted:
        EXPECT_TRUE(CleanCycleCompleted()) << scenario.name << ": " << last;
        break;
      case Expect::kUnnoticed:
        EXPECT_EQ(last.rfind("√ YU", 0), 0u) << scenario.name << ": " << last;
        EXPECT_EQ(display.connectStatus, LightColour::kGray) << scenario.name;
        EXPECT_EQ(display.dbStatus, LightColour::kGreen) << scenario.name;
        break;
    }

    RunCycle();
    EXPECT_TRUE(CleanCycleCompleted())
        << scenario.name << ": clean cycle ended with " << LastLine();
    CheckEveryRow(scenario.name);
    tally.resent += server.Duplicates() - duplicatesBefore;
  }
};

int OpenDescriptors() {
  int count = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator("/proc/self/fd"))
    ++count;
  return count;
}

class FaultInjection : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!test::TestDatabase::Configured())
      return;
    bench_ = new Bench;
    // A clean upload of the standard fill: what every row must look like on
    // the server.
    bench_->FillTables({});
    bench_->TakeSnapshot();
    bench_->standardSnapshot = bench_->snapshot;
    bench_->RunCycle();
    bench_->golden = bench_->server.Stored();
  }
  static void TearDownTestSuite() {
    delete bench_;
    bench_ = nullptr;
  }
  void SetUp() override {
    PELVAR_REQUIRE_TEST_DATABASE();
    ASSERT_NE(bench_, nullptr);
  }

  static Bench* bench_;
};
Bench* FaultInjection::bench_ = nullptr;

const char* EndingName(Ending ending) {
  return ending == Ending::kClose ? "close" : "reset";
}

std::string BytesName(std::size_t bytes) {
  return bytes == kAllButLast ? std::string("all but the last byte")
                              : std::to_string(bytes) + " bytes";
}

TEST_F(FaultInjection, CleanUploadDeliversEveryRowOnce) {
  Bench& bench = *bench_;
  // The baseline of SetUpTestSuite: every row of every table reached the
  // server once, and the relay is empty.
  ASSERT_EQ(bench.golden.size(), 4u * kRowsPerTable);
  EXPECT_EQ(*bench.database.Scalar(
                "select (select count(*) from JCJG_RPTINFO) + (select count(*) from JCJG_GC_RPT) + "
                "(select count(*) from JCJG_ALTER) + (select count(*) from JCJG_AUTO)"),
            "0");
  EXPECT_EQ(bench.golden.at("YL07"),
            "insert into JCJG_JCDW_GC_RPT values ('J01','YL07','G7','S1','新城''小区\\\\7','0')");
}

TEST_F(FaultInjection, ServerBreaksTheSessionAtEveryPointOfTheWireSequence) {
  Bench& bench = *bench_;
  for (Ending ending : {Ending::kClose, Ending::kReset}) {
    const std::string how = EndingName(ending);
    bench.Run({"server " + how + " before the greeting", {FaultPoint::kOnAccept, 0, 0, 0, ending}});
    bench.Run(
        {"server " + how + " after the greeting", {FaultPoint::kAfterGreeting, 0, 0, 0, ending}});
    for (int phase = 1; phase <= 5; ++phase) {
      const std::string where = " in phase " + std::to_string(phase);
      bench.Run({"server " + how + " instead of the ready line" + where,
                 {FaultPoint::kAfterAnnounce, phase, 0, 0, ending}});
      // Part of a frame read: nothing of it, inside the length, the length
      // alone, some statement bytes, all but its last byte.
      for (int row : {1, 17}) {
        for (std::size_t bytes :
             {std::size_t{0}, std::size_t{2}, std::size_t{4}, std::size_t{25}, kAllButLast}) {
          bench.Run({"server " + how + " after " + BytesName(bytes) + " of frame " +
                         std::to_string(row) + where,
                     {FaultPoint::kInFrame, phase, row, bytes, ending}});
        }
      }
      // The row stored on the server, its answer never sent: the client
      // sends it again and the duplicate settles it.
      for (int row : {1, 2, 15, 29, 30}) {
        bench.Run({"server " + how + " instead of answering frame " + std::to_string(row) + where,
                   {FaultPoint::kInsteadOfReply, phase, row, 0, ending}});
      }
    }
    bench.Run({"server " + how + " before reading the GUID line",
               {FaultPoint::kBeforeGuid, 5, 0, 0, ending}});
    bench.Run({"server " + how + " after reading the GUID line",
               {FaultPoint::kAfterGuidRead, 0, 0, 0, ending}});
    Scenario empty{"server " + how + " before reading the GUID line, nothing to send",
                   {FaultPoint::kBeforeGuid, 0, 0, 0, ending}};
    empty.fill = {false, false, false, false};
    bench.Run(empty);
    empty.name = "server " + how + " after reading the GUID line, nothing to send";
    empty.peer.point = FaultPoint::kAfterGuidRead;
    bench.Run(empty);
  }
}

TEST_F(FaultInjection, ServerCutsALineShortAndGoesAway) {
  Bench& bench = *bench_;
  for (Ending ending : {Ending::kClose, Ending::kReset}) {
    const std::string how = EndingName(ending);
    // Nothing, one byte, all but the CR LF, all but the LF.
    for (std::size_t bytes : {std::size_t{0}, std::size_t{1}, std::size_t{8}, kAllButLast}) {
      const std::string cut = " after " + BytesName(bytes) + " of ";
      Scenario greeting{"server " + how + cut + "the greeting",
                        {FaultPoint::kPartialGreeting, 0, 0, bytes, ending}};
      // An orderly close after part of a line hands over an empty line; a
      // reset drops what was buffered and reports itself.
      const bool emptyLine = ending == Ending::kClose && bytes > 0;
      if (emptyLine)
        greeting.expect = Expect::kGreetingRefused;
      bench.Run(greeting);
      for (int phase = 1; phase <= 5; ++phase) {
        const std::string where = " in phase " + std::to_string(phase);
        bench.Run({"server " + how + cut + "the ready line" + where,
                   {FaultPoint::kPartialReady, phase, 0, bytes, ending}});
        for (int row : {1, 30}) {
          bench.Run({"server " + how + cut + "reply " + std::to_string(row) + where,
                     {FaultPoint::kPartialReply, phase, row, bytes, ending}});
        }
      }
      Scenario guid{"server " + how + cut + "the GUID acceptance",
                    {FaultPoint::kPartialGuidReply, 0, 0, bytes, ending}};
      if (emptyLine)
        guid.expect = Expect::kUnnoticed;
      bench.Run(guid);
    }
  }
}

TEST_F(FaultInjection, ServerGoesAwayAfterEveryReplyOfEveryPhase) {
  Bench& bench = *bench_;
  for (int phase = 1; phase <= 5; ++phase) {
    for (int row = 1; row <= kRowsPerTable; ++row) {
      const Ending ending = row % 2 == 0 ? Ending::kReset : Ending::kClose;
      bench.Run({"server " + std::string(EndingName(ending)) + " after reply " +
                     std::to_string(row) + " of phase " + std::to_string(phase),
                 {FaultPoint::kAfterReply, phase, row, 0, ending}});
    }
  }
}

// A reply that is neither acceptance nor rejection settles nothing: the row
// goes again in the clean cycle.
TEST_F(FaultInjection, ServerAnswersNeitherAcceptanceNorRejection) {
  Bench& bench = *bench_;
  for (const char* reply : {"ZQJCJGRETRY Lock wait timeout exceeded", "garbage", "", "ZQJCJGOK "}) {
    for (int phase = 1; phase <= 5; ++phase) {
      for (int row : {1, 30}) {
        Scenario scenario{"server answers '" + std::string(reply) + "' to frame " +
                              std::to_string(row) + " in phase " + std::to_string(phase),
                          {FaultPoint::kOddReply, phase, row, 0, Ending::kClose, reply}};
        scenario.expect = Expect::kCompleted;
        bench.Run(scenario);
      }
    }
  }
}

TEST_F(FaultInjection, ServerGoesAwayWhileALargeFrameIsStillBeingWritten) {
  Bench& bench = *bench_;
  bench.database.Run("alter table JCJG_ALTER modify XGNR MEDIUMTEXT NULL");
  for (Ending ending : {Ending::kClose, Ending::kReset}) {
    for (std::size_t bytes : {std::size_t{4}, std::size_t{4096}}) {
      Scenario scenario{"server " + std::string(EndingName(ending)) + " after " +
                            std::to_string(bytes) + " bytes of a 10 MB frame",
                        {FaultPoint::kInLargeFrame, 0, 0, bytes, ending}};
      scenario.prepare = [&bench] {
        bench.database.Run("update JCJG_ALTER set XGNR=repeat('改', 5000000) where YPDBH='YA03'");
        bench.TakeSnapshot();
      };
      bench.Run(scenario);
    }
  }
  bench.database.Run(
      "delete from JCJG_ALTER; alter table JCJG_ALTER modify XGNR VARCHAR(200) NULL");
}

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

TEST_F(FaultInjection, RelayDatabaseGoesAwayBeforeAndDuringEveryKindOfStatement) {
  Bench& bench = *bench_;
  TcpProxy& proxy = bench.proxy;
  using Moment = TcpProxy::Moment;
  using Matcher = std::function<bool(std::string_view)>;

  {
    Scenario down{"relay database down from the start"};
    down.inject = [&proxy] { proxy.CutAll(); };
    down.expect = Expect::kRelay;
    bench.Run(down);
  }

  // Rejections, so that the settle updates to 10 and 100 happen: the server
  // already holds row 5 of each table and refuses row 7.
  auto withRejections = [&bench] {
    for (const char* key : {"YR05", "YL05", "YA05", "YU05"}) {
      bench.server.Preload(key, bench.golden.at(key));
    }
    for (const char* key : {"YR07", "YL07", "YA07", "YU07"})
      bench.server.Refuse(key);
  };

  struct Kind {
    std::string name;
    Matcher matches;
    std::vector<int> counts;
  };
  const Kind kinds[] = {
      {"selection", [](std::string_view q) { return StartsWith(q, "select "); }, {1, 2, 3, 4, 5}},
      {"projects update",
       [](std::string_view q) { return StartsWith(q, "update JCJG_RPTINFO set SENDFLAG=1 "); },
       {1, 2, 15, 29, 30}},
      {"delete",
       [](std::string_view q) { return StartsWith(q, "delete from "); },
       {1, 2, 9, 16, 23, 29, 30, 31, 45, 58, 59, 60, 61, 75, 88, 89, 90, 91, 105, 110}},
      {"settle update to 10 or 100",
       [](std::string_view q) {
         return StartsWith(q, "update JCJG_") &&
                q.find(" set SENDFLAG=10") != std::string_view::npos;
       },
       {1, 2, 3, 4, 5, 6, 7, 8}},
      {"JCJG_CUSER update",
       [](std::string_view q) { return StartsWith(q, "update JCJG_CUSER "); },
       {1}},
  };
  for (const Kind& kind : kinds) {
    for (Moment moment : {Moment::kBeforeQuery, Moment::kAfterQuery}) {
      for (int count : kind.counts) {
        Scenario scenario{"relay database gone " +
                          std::string(moment == Moment::kBeforeQuery ? "before" : "during") + " " +
                          kind.name + " " + std::to_string(count)};
        scenario.inject = [&proxy, &kind, count, moment] {
          proxy.CutAtQuery(kind.matches, count, moment);
        };
        scenario.expect = Expect::kRelay;
        scenario.prepare = withRejections;
        bench.Run(scenario);
      }
    }
  }

  // Cuts in the middle of the byte streams: in the handshake, in a query,
  // in a selection's result.
  using Direction = TcpProxy::Direction;
  for (std::size_t bytes :
       {std::size_t{40}, std::size_t{150}, std::size_t{700}, std::size_t{2500}}) {
    Scenario scenario{"relay database gone after " + std::to_string(bytes) + " bytes to it"};
    scenario.inject = [&proxy, bytes] { proxy.CutAfterBytes(Direction::kToServer, bytes); };
    scenario.expect = Expect::kRelay;
    bench.Run(scenario);
  }
  for (std::size_t bytes : {std::size_t{30}, std::size_t{120}, std::size_t{1500}, std::size_t{6000},
                            std::size_t{9000}}) {
    Scenario scenario{"relay database gone after " + std::to_string(bytes) + " bytes from it"};
    scenario.inject = [&proxy, bytes] { proxy.CutAfterBytes(Direction::kToClient, bytes); };
    scenario.expect = Expect::kRelay;
    bench.Run(scenario);
  }
}

TEST_F(FaultInjection, JournalCannotBeOpenedOrWritten) {
  Bench& bench = *bench_;
  const fs::path base = bench.prefix.Path() / "var/log/pelvar";
  const fs::path aside = bench.prefix.Path() / "var/log/pelvar.aside";
  auto month = [] { return Journal::MonthFolder(platform::Now()); };
  auto file = [] { return Journal::JournalFilePath(platform::Now()); };
  auto moveAside = [&](const fs::path& path) {
    fs::remove_all(aside);
    if (fs::exists(fs::symlink_status(path)))
      fs::rename(path, aside);
  };
  auto putBack = [&](const fs::path& path) {
    fs::remove_all(path);
    if (fs::exists(fs::symlink_status(aside)))
      fs::rename(aside, path);
    fs::create_directories(month());
  };

  Scenario scenario{"journal base folder missing"};
  scenario.expect = Expect::kJournal;
  scenario.inject = [&] { moveAside(base); };
  scenario.repair = [&] { putBack(base); };
  bench.Run(scenario);

  scenario.name = "journal month folder is a file";
  scenario.inject = [&] {
    moveAside(month());
    test::WriteFileBytes(month(), "not a folder");
  };
  scenario.repair = [&] { putBack(month()); };
  bench.Run(scenario);

  scenario.name = "journal file is a folder";
  scenario.inject = [&] {
    moveAside(file());
    fs::create_directory(file());
  };
  scenario.repair = [&] { putBack(file()); };
  bench.Run(scenario);

  // A link planted in place of the file: nothing goes through it.
  const fs::path target = bench.prefix.Path() / "link-target";
  scenario.name = "journal file is a symbolic link";
  scenario.inject = [&] {
    moveAside(file());
    test::WriteFileBytes(target, "kept\n");
    fs::create_symlink(target, file());
  };
  bench.Run(scenario);
  EXPECT_EQ(test::ReadFileBytes(target), "kept\n");

  // A full disk: the file may grow no further (the process's file size limit
  // stands at its length, far above any other file a cycle writes), so the
  // first line written fails, wherever it comes.
  std::signal(SIGXFSZ, SIG_IGN);
  rlimit usual{};
  getrlimit(RLIMIT_FSIZE, &usual);
  std::string filler;
  for (int i = 0; i < 4096; ++i)
    filler += "filler\r\n";
  scenario.inject = [&] {
    moveAside(file());
    test::WriteFileBytes(file(), filler);
    rlimit full{filler.size(), usual.rlim_max};
    setrlimit(RLIMIT_FSIZE, &full);
  };
  scenario.repair = [&] {
    setrlimit(RLIMIT_FSIZE, &usual);
    putBack(file());
  };
  scenario.name = "journal on a full disk, first line the reports summary";
  bench.Run(scenario);

  scenario.name = "journal on a full disk, first line the synchronisation";
  scenario.fill = {false, false, false, false};
  bench.Run(scenario);

  for (const char* key : {"YR00", "YR14", "YR29", "YL00", "YA14", "YU29"}) {
    scenario.name = std::string("journal on a full disk, first line the rejection of ") + key;
    const char table = key[1];
    scenario.fill = {table == 'R', table == 'L', table == 'A', table == 'U'};
    scenario.prepare = [&bench, key] { bench.server.Preload(key, bench.golden.at(key)); };
    bench.Run(scenario);
  }
}

TEST_F(FaultInjection, NothingLeaksOverManyFaults) {
  Bench& bench = *bench_;
  const int before = OpenDescriptors();
  for (int i = 0; i < 10; ++i) {
    bench.Run(
        {"leak check " + std::to_string(i),
         {FaultPoint::kAfterReply, 1 + i % 5, 1 + i, 0, i % 2 ? Ending::kReset : Ending::kClose}});
  }
  EXPECT_LE(OpenDescriptors(), before + 2);
  // Whatever broke, the journal holds whole lines only.
  const fs::path journals = bench.prefix.Path() / "var/log/pelvar";
  for (const auto& entry : fs::recursive_directory_iterator(journals)) {
    if (!entry.is_regular_file())
      continue;
    const std::string bytes = test::ReadFileBytes(entry.path());
    EXPECT_TRUE(bytes.empty() || bytes.ends_with("\r\n")) << entry.path();
  }
}

}  // namespace
}  // namespace pelvar::upload
