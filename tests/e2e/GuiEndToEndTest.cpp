// The real pelvar on an X display with a notification area: scripts/test
// starts Xvfb with trayer on it and names the display in PELVAR_TEST_DISPLAY.
// The program runs in a temporary machine prefix, uploads the sample relay
// rows on its own (IsAutoSend) through the real pelvar-server into a second
// database, and is checked from outside only: the X window tree, a second
// start, both databases, the journal and a screenshot.

#include <signal.h>
#include <sys/types.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/Clock.h"
#include "platform/SingleInstance.h"
#include "support/ChildProcess.h"
#include "support/TempPrefix.h"
#include "support/TestDatabase.h"
#include "text/Gbk.h"
#include "upload/Journal.h"

namespace pelvar::e2e {
namespace {

using pelvar::test::ChildProcess;
using pelvar::test::TestDatabase;
using namespace std::chrono_literals;

constexpr const char* kTitle = "检测监管数据上传【V2.0.2】";
constexpr const char* kAgency = "J0001";

std::string SourceFile(const std::string& relative) {
  return pelvar::test::ReadFileBytes(std::filesystem::path(PELVAR_SOURCE_DIR) / relative);
}

// Waits, polling, until done() holds or limit has passed; returns done().
template <typename Condition>
bool WaitUntil(Condition done, std::chrono::seconds limit) {
  auto deadline = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() >= deadline)
      return done();
    std::this_thread::sleep_for(250ms);
  }
  return true;
}

// The program name found along PATH (the name itself when it is not there).
std::string Which(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::istringstream folders(path != nullptr ? path : "/usr/bin:/bin");
  std::string folder;
  while (std::getline(folders, folder, ':')) {
    std::filesystem::path candidate = std::filesystem::path(folder) / name;
    if (!folder.empty() && ::access(candidate.c_str(), X_OK) == 0)
      return candidate.string();
  }
  return name;
}

// An X tool's standard output; names are printed in UTF-8 only under a
// UTF-8 locale.
std::string XTool(const std::vector<std::string>& argv) {
  ChildProcess tool(Which(argv[0]), std::vector<std::string>(argv.begin() + 1, argv.end()),
                    {{"LC_ALL", "C.UTF-8"}});
  int code = tool.Wait();
  EXPECT_EQ(code, 0) << argv[0] << ": " << tool.Errors();
  return tool.Output();
}

// One line of `xwininfo -root -tree`: window id, the rest of the line, and
// its indentation (children are indented deeper than their parent).
struct TreeLine {
  std::string id;
  std::string text;
  std::size_t depth = 0;
};

class WindowTree {
 public:
  explicit WindowTree(const std::string& display) : display_(display) {
    std::istringstream in(XTool({"xwininfo", "-display", display, "-root", "-tree"}));
    std::regex window("^( *)(0x[0-9a-f]+) (.*)$");
    std::string line;
    std::smatch match;
    while (std::getline(in, line)) {
      if (std::regex_match(line, match, window))
        lines_.push_back({match[2], match[3], static_cast<std::size_t>(match[1].length())});
    }
  }

  // Ids of the windows whose line contains piece, in tree order.
  std::vector<std::size_t> Find(const std::string& piece) const {
    std::vector<std::size_t> found;
    for (std::size_t i = 0; i < lines_.size(); ++i) {
      if (lines_[i].text.find(piece) != std::string::npos)
        found.push_back(i);
    }
    return found;
  }

  // The indices of every window below index (its subtree without itself).
  std::set<std::size_t> Below(std::size_t index) const {
    std::set<std::size_t> below;
    for (std::size_t i = index + 1; i < lines_.size() && lines_[i].depth > lines_[index].depth; ++i)
      below.insert(i);
    return below;
  }

  const TreeLine& operator[](std::size_t index) const { return lines_[index]; }

  bool Viewable(std::size_t index) const {
    return XTool({"xwininfo", "-display", display_, "-id", lines_[index].id})
               .find("Map State: IsViewable") != std::string::npos;
  }

  // The process that owns the window by its _NET_WM_PID, or -1.
  pid_t OwnerPid(std::size_t index) const {
    std::smatch match;
    std::string text =
        XTool({"xprop", "-display", display_, "-id", lines_[index].id, "_NET_WM_PID"});
    if (!std::regex_search(text, match, std::regex("= (\\d+)")))
      return -1;
    return static_cast<pid_t>(std::stol(match[1]));
  }

  std::string Text() const {
    std::string text;
    for (const TreeLine& line : lines_)
      text += std::string(line.depth, ' ') + line.id + " " + line.text + "\n";
    return text;
  }

 private:
  std::string display_;
  std::vector<TreeLine> lines_;
};

// Where the program's windows are: the viewable windows of the tray icon
// that it embedded in trayer's panel (identified by the pid the window
// carries), and its viewable windows with the application title elsewhere.
struct Presence {
  int embeddedIcons = 0;
  int visibleTitledWindows = 0;
  std::string iconWindow;  // id of the (last) embedded icon window
};

Presence FindPresence(const std::string& display, pid_t pid, std::string* treeText = nullptr) {
  WindowTree tree(display);
  if (treeText != nullptr)
    *treeText = tree.Text();
  Presence presence;
  std::set<std::size_t> inPanel;
  for (std::size_t panel : tree.Find("(\"panel\" \"trayer\")")) {
    std::set<std::size_t> below = tree.Below(panel);
    inPanel.insert(below.begin(), below.end());
  }
  for (std::size_t icon : tree.Find("(\"pelvar\" \"pelvar\")")) {
    if (inPanel.count(icon) != 0 && tree.OwnerPid(icon) == pid && tree.Viewable(icon)) {
      ++presence.embeddedIcons;
      presence.iconWindow = tree[icon].id;
    }
  }
  for (std::size_t window : tree.Find(std::string("\"") + kTitle + "\"")) {
    if (inPanel.count(window) == 0 && tree.Viewable(window))
      ++presence.visibleTitledWindows;
  }
  return presence;
}

// The processes below pid (children, their children, ...), from /proc.
std::vector<pid_t> Descendants(pid_t pid) {
  std::map<pid_t, std::vector<pid_t>> children;
  for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
    std::string name = entry.path().filename().string();
    if (name.empty() ||
        !std::all_of(name.begin(), name.end(), [](char c) { return c >= '0' && c <= '9'; }))
      continue;
    std::ifstream stat(entry.path() / "stat");
    std::string line;
    if (!std::getline(stat, line))
      continue;
    // "pid (comm) state ppid ...": comm may hold blanks, so read after ')'.
    std::size_t close = line.rfind(')');
    if (close == std::string::npos)
      continue;
    std::istringstream rest(line.substr(close + 1));
    char state = 0;
    pid_t parent = 0;
    rest >> state >> parent;
    children[parent].push_back(static_cast<pid_t>(std::stol(name)));
  }
  std::vector<pid_t> found;
  std::vector<pid_t> open{pid};
  while (!open.empty()) {
    pid_t next = open.back();
    open.pop_back();
    for (pid_t child : children[next]) {
      found.push_back(child);
      open.push_back(child);
    }
  }
  return found;
}

bool Alive(pid_t pid) {
  return std::filesystem::exists("/proc/" + std::to_string(pid));
}

// The day's journal of the emulated machine, in UTF-8.
std::string TodaysJournal() {
  return text::GbkToUtf8(
      pelvar::test::ReadFileBytes(upload::Journal::JournalFilePath(platform::Now())));
}

int Count(const std::string& text, const std::string& piece) {
  int count = 0;
  for (std::size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1))
    ++count;
  return count;
}

// Sums N and k of every table summary "<heading>N <unit>，成功：k <unit>".
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

std::string Dword(int value) {
  char text[20];
  std::snprintf(text, sizeof text, "dword:%08x", static_cast<unsigned>(value));
  return text;
}

TEST(GuiEndToEnd, HiddenInTheTrayOneInstanceUploadsOnItsOwnAndEndsOnSigterm) {
  const char* displayVariable = std::getenv("PELVAR_TEST_DISPLAY");
  if (displayVariable == nullptr || *displayVariable == '\0') {
    if (TestDatabase::Required())
      FAIL() << "PELVAR_TEST_REQUIRE_MYSQL=1 but PELVAR_TEST_DISPLAY is not set";
    GTEST_SKIP() << "no X display with a notification area: PELVAR_TEST_DISPLAY is not set";
  }
  PELVAR_REQUIRE_TEST_DATABASE();
  const std::string display = displayVariable;

  pelvar::test::TempPrefix prefix;
  prefix.MakeJournalBase();

  TestDatabase relay;
  relay.Run(SourceFile("tests/data/relay_schema.sql"));
  relay.Run(SourceFile("tests/data/relay_sample.sql"));
  const db::ConnectionParameters access = relay.MySqlParameters();
  auto relayValue = [&](const std::string& sql) { return relay.Scalar(sql).value_or("NULL"); };

  TestDatabase serverDb;
  ChildProcess server(
      PELVAR_SERVER_PATH,
      {"--port", "0", "--db-host", access.server, "--db-port", std::to_string(access.port),
       "--db-user", access.userName, "--db-name", serverDb.Name(), "--create-schema"},
      {{"PELVAR_SERVER_DB_PASSWORD", access.password}});
  ASSERT_TRUE(server.WaitForOutput("\n")) << server.Errors();
  std::smatch listening;
  std::string serverFirstLine = server.Output();
  ASSERT_TRUE(std::regex_search(serverFirstLine, listening,
                                std::regex("^pelvar-server listening on 127\\.0\\.0\\.1:(\\d+)\n")))
      << serverFirstLine;
  const int serverPort = std::stoi(listening[1]);
  // Rows the server holds from earlier deliveries: two meet duplicates.
  serverDb.Run(SourceFile("tests/data/server_sample.sql"));
  auto serverValue = [&](const std::string& sql) { return serverDb.Scalar(sql).value_or("NULL"); };

  // Scan interval 1: Run's immediate tick starts the first cycle at once,
  // then one every 2 s.
  prefix.WriteRegistry(
      "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\ZIRODU\\DAVIV]\r\n"
      "\"DBType\"=\"MySQL\"\r\n"
      "\"DBHost\"=\"" +
      access.server +
      "\"\r\n"
      "\"DBPort\"=" +
      Dword(access.port) +
      "\r\n"
      "\"DBName\"=\"" +
      relay.Name() +
      "\"\r\n"
      "\"DBUser\"=\"" +
      access.userName +
      "\"\r\n"
      "\"DBPasswd\"=\"" +
      access.password +
      "\"\r\n"
      "\"RemoteHost\"=\"127.0.0.1\"\r\n"
      "\"RemotePort\"=" +
      Dword(serverPort) +
      "\r\n"
      "\"Dwbh\"=\"" +
      std::string(kAgency) +
      "\"\r\n"
      "\"ScanTime\"=" +
      Dword(1) +
      "\r\n"
      "\"IsAutoSend\"=" +
      Dword(1) +
      "\r\n"
      // The refused reading would raise a tray balloon: a window of its own.
      "\"Notify\"=" +
      Dword(0) +
      "\r\n"
      "\"SiteCode\"=\"7\"\r\n"
      "\"SiteName\"=\"演示检测中心\"\r\n\r\n");

  // No session bus is reachable, so Qt docks its icon the X way (XEmbed
  // into the window owning the tray selection, here trayer's panel).
  const std::map<std::string, std::string> guiEnvironment{
      {"DISPLAY", display},
      {"QT_QPA_PLATFORM", "xcb"},
      {"PELVAR_PREFIX", prefix.Path().string()},
      {"DBUS_SESSION_BUS_ADDRESS", "unix:path=" + (prefix.Path() / "no-bus").string()}};
  auto first =
      std::make_unique<ChildProcess>(PELVAR_GUI_PATH, std::vector<std::string>{}, guiEnvironment);
  const pid_t firstPid = first->Pid();

  // 1. Hidden start in the tray: a viewable window of this process sits in
  // trayer's panel, and no window with the title is viewable anywhere else.
  Presence presence;
  std::string tree;
  WaitUntil(
      [&] {
        presence = FindPresence(display, firstPid, &tree);
        return presence.embeddedIcons > 0 || first->WaitAtMost(0ms).has_value();
      },
      30s);
  EXPECT_EQ(presence.embeddedIcons, 1) << tree << first->Errors();
  EXPECT_EQ(presence.visibleTitledWindows, 0) << tree;

  // 2. A second start with the same environment ends at once, silently,
  // and the first goes on.
  {
    ChildProcess second(PELVAR_GUI_PATH, {}, guiEnvironment);
    std::optional<int> code = second.WaitAtMost(20s);
    ASSERT_TRUE(code.has_value()) << "the second instance is still running";
    EXPECT_EQ(*code, 0);
    EXPECT_EQ(second.Output(), "");
    EXPECT_EQ(second.Errors(), "");
  }
  EXPECT_FALSE(first->WaitAtMost(0ms).has_value()) << first->Errors();

  // 3. Autostart uploads: wait until the relay holds no pending row of the
  // agency and a cycle has ended after that, so every summary is written.
  auto pending = [&] {
    std::string where = std::string(" WHERE JCDWBH = '") + kAgency + "' AND SENDFLAG IN (0, 1)";
    return relayValue("SELECT (SELECT COUNT(*) FROM JCJG_RPTINFO" + where +
                      ") + (SELECT COUNT(*) FROM JCJG_GC_RPT" + where +
                      ") + (SELECT COUNT(*) FROM JCJG_ALTER" + where +
                      ") + (SELECT COUNT(*) FROM JCJG_AUTO" + where + ")");
  };
  WaitUntil([&] { return pending() == "0"; }, 60s);
  const int cyclesSeen = Count(TodaysJournal(), " 同步！\r\n");
  WaitUntil([&] { return Count(TodaysJournal(), " 同步！\r\n") > cyclesSeen; }, 20s);
  EXPECT_EQ(pending(), "0");

  // Relay: accepted rows deleted, duplicates 10, the refused reading 100,
  // the other agency's row untouched, a fresh identifier agreed.
  EXPECT_EQ(relayValue("SELECT GROUP_CONCAT(YPDBH, ':', SENDFLAG) FROM JCJG_RPTINFO WHERE "
                       "JCDWBH = 'J0001'"),
            "YP2024-0006:10");
  EXPECT_EQ(relayValue("SELECT COUNT(*) FROM JCJG_ALTER"), "0");
  EXPECT_EQ(relayValue("SELECT GROUP_CONCAT(RWDBH, ':', SENDFLAG ORDER BY SYSJ) FROM JCJG_AUTO "
                       "WHERE JCDWBH = 'J0001'"),
            "RW-0001:10,RW-0003:100,RW-0008:10");
  EXPECT_EQ(relayValue("SELECT COUNT(*) FROM JCJG_RPTINFO WHERE JCDWBH = 'J0002' AND SENDFLAG = 0"),
            "1");
  EXPECT_EQ(relayValue("SELECT LENGTH(GUID) FROM JCJG_CUSER"), "36");

  // Server: the sample rows arrived, next to the two it held before.
  EXPECT_EQ(serverValue("SELECT COUNT(*) FROM JCJG_JCDW_GC"), "5");
  EXPECT_EQ(serverValue("SELECT COUNT(*) FROM JCJG_JCDW_RPTINFO"), "36");
  EXPECT_EQ(serverValue("SELECT COUNT(*) FROM JCJG_JCDW_GC_RPT"), "12");
  EXPECT_EQ(serverValue("SELECT COUNT(*) FROM JCJG_JCDW_ALTER"), "8");
  EXPECT_EQ(serverValue("SELECT COUNT(*) FROM JCJG_JCDW_AUTO"), "39");
  EXPECT_EQ(serverValue("SELECT CONCAT(GCMC, '/', JCXM) FROM JCJG_JCDW_RPTINFO "
                        "WHERE YPDBH = 'YP2024-0005'"),
            "东湖大桥引道/防水卷材拉力");

  // The day's journal: each row counted once in its table's summaries.
  const std::string journal = TodaysJournal();
  EXPECT_EQ(Totals(journal, "上传检测报告信息：", "份"), std::make_pair(36, 35)) << journal;
  EXPECT_EQ(Totals(journal, "上传检测报告适用工程记录：", "条"), std::make_pair(12, 11));
  EXPECT_EQ(Totals(journal, "上传修改记录：", "条"), std::make_pair(8, 8));
  EXPECT_EQ(Totals(journal, "上传自动采集记录：", "条"), std::make_pair(40, 37));
  EXPECT_EQ(Count(journal, " 上传失败："), 5);

  // Still hidden after several cycles, still in the tray: the first look
  // above may have come before a window was mapped.
  presence = FindPresence(display, firstPid, &tree);
  EXPECT_EQ(presence.embeddedIcons, 1) << tree;
  EXPECT_EQ(presence.visibleTitledWindows, 0) << tree;

  // 4. The screen as it is now, kept as an artefact for a person to look at.
  const std::filesystem::path artefacts = PELVAR_E2E_ARTEFACT_DIR;
  std::filesystem::create_directories(artefacts);
  const std::filesystem::path screenshot = artefacts / "pelvar-tray-screen.png";
  std::filesystem::remove(screenshot);
  XTool({"import", "-display", display, "-window", "root", screenshot.string()});
  EXPECT_GT(std::filesystem::exists(screenshot) ? std::filesystem::file_size(screenshot) : 0, 0u);

  // 5. A left click on the icon shows the main window, with the log of the
  //    cycles that ran while it was hidden; its picture is kept as well.
  ASSERT_FALSE(presence.iconWindow.empty()) << tree;
  XTool({"env", "DISPLAY=" + display, "xdotool", "mousemove", "--window", presence.iconWindow, "4",
         "4", "click", "1"});
  EXPECT_TRUE(
      WaitUntil([&] { return FindPresence(display, firstPid).visibleTitledWindows == 1; }, 20s))
      << "a left click on the tray icon did not show the main window";
  std::this_thread::sleep_for(500ms);  // let the window paint before the picture
  const std::filesystem::path windowShot = artefacts / "pelvar-main-window.png";
  std::filesystem::remove(windowShot);
  XTool({"import", "-display", display, "-window", "root", windowShot.string()});
  EXPECT_GT(std::filesystem::exists(windowShot) ? std::filesystem::file_size(windowShot) : 0, 0u);

  // 6. SIGTERM ends the program with everything it started; its icon leaves
  // the tray and its single-instance lock is free again.
  const std::vector<pid_t> started = Descendants(firstPid);
  first->Signal(SIGTERM);
  std::optional<int> code = first->WaitAtMost(30s);
  ASSERT_TRUE(code.has_value()) << "pelvar did not end on SIGTERM";
  EXPECT_TRUE(*code == 0 || *code == 128 + SIGTERM) << *code << "\n" << first->Errors();
  for (pid_t pid : started) {
    EXPECT_TRUE(WaitUntil([&] { return !Alive(pid); }, 10s))
        << "process " << pid << " outlived pelvar";
  }
  EXPECT_TRUE(WaitUntil([&] { return FindPresence(display, firstPid).embeddedIcons == 0; }, 10s));
  EXPECT_TRUE(platform::SingleInstanceLock::Acquire("VodEdav") != nullptr);
  first.reset();

  // The server outlives its client and ends cleanly.
  server.Signal(SIGTERM);
  EXPECT_EQ(server.Wait(), 0) << server.Errors();
}

}  // namespace
}  // namespace pelvar::e2e
