// Many upload cycles in a row against a peer that accepts most rows, rejects
// some (now and then with PRIMARY in the message) and sometimes drops the
// connection in the middle of a phase, while new rows keep arriving in the
// relay tables. At the end every row ever written to the relay must either
// still be there in a known send state or have been accepted by the peer
// exactly once; it also prints the peak memory and the open descriptors.
//
// Needs the throwaway MariaDB named by PELVAR_TEST_MYSQL_HOST/PORT/USER/
// PASSWORD; without it the bench says so and does nothing.
//
// Usage: soak_bench [cycles, default 1000]
#include <arpa/inet.h>
#include <dirent.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <list>
#include <map>
#include <mutex>
#include <random>
#include <set>
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

std::string ServerTimeNow() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[64];
  std::snprintf(text, sizeof text, "%d-%d-%d %d:%02d:%02d", local.tm_year + 1900, local.tm_mon + 1,
                local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
  return text;
}

// The key the bench gave the row: the second value of the statement (the
// first is the agency number). Every key is unique across the four tables.
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

// Per frame: 0.4 % drop the connection without a reply, 3 % reject with
// PRIMARY, 3 % reject otherwise, the rest accept. Acceptances of the four
// evaluated phases are counted per key.
class RandomPeer {
 public:
  // One connection at a time: the client never opens a second one.
  RandomPeer() : listener_([this](int fd) { Serve(fd); }, LoopbackListener::Mode::kOneAtATime) {}
  int Port() const { return listener_.Port(); }

  std::map<std::string, int> Accepted() {
    std::lock_guard<std::mutex> lock(mutex_);
    return accepted_;
  }
  int drops = 0;
  int rejections = 0;

 private:
  void Serve(int fd) {
    Reply(fd, "ZQJCJGSITE2");
    ReadRequests(
        fd,
        [fd](const std::string& line) {
          if (pelvar::protocol::MatchesPrefix(line, pelvar::protocol::kAnnounce))
            Reply(fd, "ZQJCJGBUSK");
          if (pelvar::protocol::MatchesPrefix(line, pelvar::protocol::kGuid))
            Reply(fd, "ZQJCJGGUIDOK " + ServerTimeNow());
          return true;
        },
        [this, fd](const std::string& statement) { return Answer(fd, statement); });
  }

  // False drops the connection without a reply.
  bool Answer(int fd, const std::string& statement) {
    const int draw = static_cast<int>(random_() % 1000);
    if (draw < 4) {
      ++drops;
      return false;
    }
    if (draw < 34) {
      ++rejections;
      Reply(fd, "ZQJCJGERROR Duplicate entry for key 'PRIMARY'");
    } else if (draw < 64) {
      ++rejections;
      Reply(fd, "ZQJCJGERROR Data too long for column");
    } else {
      if (statement.rfind("insert into JCJG_JCDW_GC ", 0) != 0) {
        std::lock_guard<std::mutex> lock(mutex_);
        ++accepted_[KeyOf(statement)];
      }
      Reply(fd, "ZQJCJGOK");
    }
    return true;
  }

  std::mt19937 random_{12345};
  std::mutex mutex_;
  std::map<std::string, int> accepted_;
  // Last, so that its connections end before the state they use goes.
  LoopbackListener listener_;
};

class CountingDisplay : public pelvar::upload::Display {
 public:
  int lines = 0;
  int sent = 0;
  int communicationErrors = 0;
  int otherErrors = 0;
  void AppendLogLine(const std::string& text) override {
    ++lines;
    if (text.rfind("Communication Exception: ", 0) == 0)
      ++communicationErrors;
    if (text.rfind("VCL Exception: ", 0) == 0) {
      ++otherErrors;
      std::fprintf(stderr, "%s\n", text.c_str());
    }
  }
  void ClearLog() override { lines = 0; }
  int LogLineCount() override { return lines; }
  void SetLight(pelvar::upload::Light, pelvar::upload::LightColour) override {}
  void RaiseSentCounter() override { ++sent; }
  void ShowRemainingTime(int) override {}
  void SetRemainingTimeVisible(bool) override {}
  void SetHeaderLabel(const std::string&) override {}
};

std::string StatusField(const char* name) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind(name, 0) == 0) {
      line.erase(0, line.find_first_not_of(" \t", std::string(name).size()));
      return line;
    }
  }
  return "?";
}

int OpenDescriptors() {
  int count = 0;
  if (DIR* dir = ::opendir("/proc/self/fd")) {
    while (dirent* entry = ::readdir(dir)) {
      if (entry->d_name[0] != '.')
        ++count;
    }
    ::closedir(dir);
  }
  return count - 1;  // the listing's own descriptor
}

}  // namespace

int main(int argc, char** argv) {
  const int cycles = argc > 1 ? std::atoi(argv[1]) : 1000;
  if (cycles <= 0)
    return 1;
  if (!pelvar::test::TestDatabase::Configured()) {
    std::printf(
        "soak_bench: no database. Set PELVAR_TEST_MYSQL_HOST, _PORT, _USER and _PASSWORD\n"
        "to a throwaway MariaDB server (scripts/lib/mariadb.sh starts one); nothing run.\n");
    return 0;
  }
  pelvar::test::TempPrefix prefix;
  prefix.MakeJournalBase();
  pelvar::test::TestDatabase database;
  database.Run(pelvar::test::ReadFileBytes(PELVAR_SOURCE_DIR "/tests/data/relay_schema.sql"));
  database.Run("insert into JCJG_CUSER (dwbh) values ('J01')");
  RandomPeer peer;
  CountingDisplay display;
  pelvar::upload::ServerLink link;
  pelvar::relay::RelayConnection relay;
  relay.Configure(database.MySqlParameters());
  const pelvar::upload::SiteProfile profile{"J01", "7", "J01", "127.0.0.1", peer.Port(), "MySQL"};

  std::mt19937 random(777);
  std::set<std::string> inserted;
  long next = 0;
  const auto begin = std::chrono::steady_clock::now();
  int descriptorsAtStart = -1;
  for (int cycle = 0; cycle < cycles; ++cycle) {
    // New rows as the agency's software would write them: 0 to 30 per table.
    std::string reports, links, alters, autos;
    for (int table = 0; table < 4; ++table) {
      const int count = static_cast<int>(random() % 31);
      std::string values;
      for (int i = 0; i < count; ++i) {
        const std::string n = std::to_string(next++);
        const std::string stamp = "2011-05-02 10:00:" + std::to_string(i % 60);
        std::string key;
        std::string row;
        switch (table) {
          case 0:
            key = "P" + n;
            row = "('J01','" + key + "','G1','Z1','S1','新城小区3号楼','建设','施工','监理','BG" +
                  n + "','2011-05-02','抗压','合格',3,12.50,NULL,'2011-05-02 08:31:15',0,0)";
            break;
          case 1:
            key = "L" + n;
            row = "('J01','" + key + "','G1','S1','新城小区3号楼',0)";
            break;
          case 2:
            key = "A" + n;
            row = "('J01','" + key + "','" + stamp + "','R" + n + "','改',NULL,'张三',0)";
            break;
          default:
            key = "U" + n;
            row = "('J01','" + key + "','" + stamp + "','" + stamp + "','SB1','SJ1',1.5,NULL,7,0)";
        }
        inserted.insert(key);
        values += (values.empty() ? "" : ",") + row;
      }
      if (values.empty())
        continue;
      static const char* const kTables[] = {"JCJG_RPTINFO", "JCJG_GC_RPT", "JCJG_ALTER",
                                            "JCJG_AUTO"};
      database.Run(std::string("insert into ") + kTables[table] + " values " + values);
    }
    pelvar::upload::UploadCycle uploadCycle(relay, link, display, profile, [] {});
    uploadCycle.RunUploadCycle();
    // Descriptors once everything is set up and one cycle has run (the relay
    // connection stays open between cycles).
    if (cycle == 0)
      descriptorsAtStart = OpenDescriptors();
    if ((cycle + 1) % 100 == 0) {
      std::printf("  %d cycles, %d rows uploaded\n", cycle + 1, display.sent);
      std::fflush(stdout);
    }
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
  const int descriptorsAtEnd = OpenDescriptors();

  // Where every row went.
  std::map<std::string, std::string> states;
  for (const char* select :
       {"select YPDBH, SENDFLAG from JCJG_RPTINFO", "select YPDBH, SENDFLAG from JCJG_GC_RPT",
        "select YPDBH, SENDFLAG from JCJG_ALTER", "select RWDBH, SENDFLAG from JCJG_AUTO"}) {
    for (const auto& row : database.Rows(select))
      states[*row[0]] = *row[1];
  }
  const auto accepted = peer.Accepted();
  long lost = 0, twice = 0, keptAfterAcceptance = 0, badState = 0, pending = 0, rejected = 0;
  for (const auto& key : inserted) {
    auto state = states.find(key);
    auto acceptance = accepted.find(key);
    const int acceptances = acceptance == accepted.end() ? 0 : acceptance->second;
    if (acceptances > 1)
      ++twice;
    if (state == states.end()) {
      if (acceptances == 0)
        ++lost;
      continue;
    }
    if (acceptances > 0)
      ++keptAfterAcceptance;
    const std::string& s = state->second;
    if (s == "0" || s == "1") {
      ++pending;
    } else if (s == "10" || s == "100") {
      ++rejected;
    } else {
      ++badState;
    }
  }
  long acceptedRows = 0;
  for (const auto& [key, count] : accepted)
    acceptedRows += count > 0;

  std::printf("soak_bench: %d cycles in %.1f s against a peer that accepts, rejects and drops\n",
              cycles, seconds);
  std::printf("  rows written to the relay  %zu\n", inserted.size());
  std::printf("  rows uploaded (sent counter) %d, accepted by the peer %ld\n", display.sent,
              acceptedRows);
  std::printf(
      "  still in the relay: %ld pending (0/1), %ld rejected (10/100), %ld in another state\n",
      pending, rejected, badState);
  std::printf(
      "  peer: %d rejections, %d dropped connections; cycles ending in "
      "Communication Exception %d, VCL Exception %d\n",
      peer.rejections, peer.drops, display.communicationErrors, display.otherErrors);
  std::printf(
      "  rows lost %ld (must be 0), accepted twice %ld (must be 0), "
      "accepted yet kept %ld (must be 0)\n",
      lost, twice, keptAfterAcceptance);
  std::printf("  peak memory VmHWM %s, open descriptors after the first cycle %d, at the end %d\n",
              StatusField("VmHWM:").c_str(), descriptorsAtStart, descriptorsAtEnd);
  return lost == 0 && twice == 0 && keptAfterAcceptance == 0 && badState == 0 ? 0 : 3;
}
