#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include "LinkTestPrefix.h"
#include "platform/Clock.h"
#include "support/LoopbackPorts.h"
#include "support/RecordingDisplay.h"
#include "support/ScriptedPeer.h"
#include "text/Gbk.h"
#include "text/Regional.h"
#include "upload/Protocol.h"
#include "upload/ServerLink.h"
#include "upload/StartStopNotice.h"

#ifdef _WIN32
#include <windows.h>

#include "platform/WindowsText.h"
#endif

namespace pelvar::upload {
namespace {

// Why a file in a missing folder cannot be opened, in the system's words.
#ifdef _WIN32
const std::string kNoSuchFolder =
    pelvar::platform::windows_text::SystemErrorText(ERROR_PATH_NOT_FOUND);
#else
const std::string kNoSuchFolder = "No such file or directory";
#endif

namespace fs = std::filesystem;
using testing::PeerConnection;
using testing::RecordingDisplay;
using testing::ScriptedPeer;
using text::Utf8ToGbk;
using namespace protocol;

template <typename Call>
std::string CommMessage(Call&& call) {
  try {
    call();
  } catch (const CommError& error) {
    return error.what();
  }
  return "";
}

TEST(ServerLink, ResolvesHostTextsWithoutFailing) {
  EXPECT_EQ(ServerLink::ResolveServerHost("127.0.0.1"), "127.0.0.1");
  EXPECT_EQ(ServerLink::ResolveServerHost("localhost"), "127.0.0.1");
  EXPECT_EQ(ServerLink::ResolveServerHost("10.0.0.7"), "10.0.0.7");
  // No entry (a name too long for any DNS query, so nothing leaves the
  // machine): 0.0.0.0.
  const std::string unknown = std::string(70, 'x') + ".invalid";
  EXPECT_EQ(ServerLink::ResolveServerHost(unknown), "0.0.0.0");
  // A text the lookup cannot even take comes back unchanged.
  const std::string withNul("127.0.0.1\0x", 11);
  EXPECT_EQ(ServerLink::ResolveServerHost(withNul), withNul);

  ServerLink link;
  EXPECT_EQ(
      CommMessage([&] { link.OpenSession(unknown, 80); }),
      testing::SocketMessage(testing::kAddressNotAvailable, "Cannot assign requested address."));
  EXPECT_EQ(CommMessage([&] { link.OpenSession("127.0.0.1", testing::ClosedLoopbackPort()); }),
            testing::SocketMessage(testing::kRefused, "Connection refused."));
  EXPECT_FALSE(link.IsSessionOpen());
}

TEST(ServerLink, AcceptsOnlyTheExactGreeting) {
  const std::vector<std::pair<std::string, bool>> greetings = {
      {"ZQJCJGSITE2\r\n", true},  {"ZQJCJGSITE2\n", true},   {"ZQJCJGSITE2 \r\n", false},
      {"zqjcjgsite2\r\n", false}, {"ZQJCJGSITE\r\n", false}, {"ZQJCJGSITE2\r\r\n", false},
  };
  ScriptedPeer peer([&](PeerConnection& c) {
    c.SendLine(greetings[static_cast<std::size_t>(c.Index())].first);
    c.WaitForClientClose();
  });
  ServerLink link;
  for (const auto& [greeting, accepted] : greetings) {
    link.OpenSession("127.0.0.1", peer.Port());
    EXPECT_EQ(link.CheckGreeting(), accepted) << greeting;
    link.CloseSession();
  }
  EXPECT_TRUE(peer.WaitForScripts(static_cast<int>(greetings.size())));
}

TEST(ServerLink, KeywordRecognition) {
  EXPECT_TRUE(MatchesWholeLine("ZQJCJGOK", kAccepted));
  EXPECT_FALSE(MatchesWholeLine("ZQJCJGOK ", kAccepted));
  EXPECT_FALSE(MatchesWholeLine("zqjcjgok", kAccepted));
  EXPECT_FALSE(MatchesPrefixAnyCase("zqjcjgok", kRejected));
  EXPECT_TRUE(MatchesPrefixAnyCase("zqjcjgerror Duplicate entry for key 'PRIMARY'", kRejected));
  EXPECT_TRUE(MatchesPrefixAnyCase("ZQJCJGERROR ", kRejected));
  EXPECT_FALSE(MatchesPrefixAnyCase("ZQJCJGERROR", kRejected));  // the blank belongs to it
  EXPECT_TRUE(MatchesPrefixAnyCase("ZqjcjgGuidOk 2011-5-2 8:31:15", kGuidAccepted));
  EXPECT_FALSE(MatchesPrefixAnyCase("ZQJCJGGUIDOK", kGuidAccepted));
  EXPECT_TRUE(MatchesPrefixAnyCase("zqjcjgguiderror no such agency", kGuidRefused));

  // Over the wire: CR CR LF keeps one CR, so that is no acceptance; reply
  // texts come back from GBK.
  ScriptedPeer peer([](PeerConnection& c) {
    c.SendLine("ZQJCJGSITE2\r\n");
    c.ReadLine();
    c.SendLine("ZQJCJGOK\r\r\n");
    c.ReadLine();
    c.SendLine("ZQJCJGOK\n" + Utf8ToGbk("ZQJCJGERROR 主键重复") + "\r\n");
    c.WaitForClientClose();
  });
  ServerLink link;
  link.OpenSession("127.0.0.1", peer.Port());
  ASSERT_TRUE(link.CheckGreeting());
  link.SendCommandLine("ZQJCJGSEND 2");
  std::string reply = link.ReadReplyLine();
  EXPECT_EQ(reply, "ZQJCJGOK\r");
  EXPECT_FALSE(MatchesWholeLine(reply, kAccepted));
  EXPECT_FALSE(MatchesPrefixAnyCase(reply, kRejected));
  link.SendCommandLine("ZQJCJGSEND 1");
  EXPECT_EQ(link.ReadReplyLine(), "ZQJCJGOK");
  EXPECT_EQ(link.ReadReplyLine(), "ZQJCJGERROR 主键重复");
  link.CloseSession();
  EXPECT_TRUE(peer.WaitForScripts(1));
  EXPECT_EQ(peer.Received(), "ZQJCJGSEND 2\r\nZQJCJGSEND 1\r\n");
}

TEST(ServerLink, FramesAndLinesCountGbkBytes) {
  std::vector<std::string> frames;
  std::string longLine;
  ScriptedPeer peer([&](PeerConnection& c) {
    c.SendLine("ZQJCJGSITE2\r\n");
    frames.push_back(c.ReadFrame());
    c.SendLine("ZQJCJGOK\r\n");
    frames.push_back(c.ReadFrame());
    c.SendLine("ZQJCJGOK\r\n");
    frames.push_back(c.ReadFrame());
    // 8192 Chinese characters: 16384 GBK bytes, the longest line allowed.
    std::string line;
    for (int i = 0; i < 8192; ++i)
      line += "\xD6\xD0";  // 中
    c.SendLine(line + "\n" + line + "x\n");
    c.WaitForClientClose();
  });
  ServerLink link;
  link.OpenSession("127.0.0.1", peer.Port());
  EXPECT_TRUE(link.IsSessionOpen());
  // Opening again is refused and leaves the session as it was.
  EXPECT_EQ(CommMessage([&] { link.OpenSession("127.0.0.1", peer.Port()); }), "Already connected.");
  ASSERT_TRUE(link.CheckGreeting());

  const std::string statement300 =
      "INSERT INTO JCJG_JCDW_GC VALUES ('" + std::string(264, 'a') + "')";
  ASSERT_EQ(statement300.size(), 300u);
  link.SendStatementFrame(statement300);
  EXPECT_EQ(link.ReadReplyLine(), "ZQJCJGOK");
  const std::string chinese = "INSERT INTO T VALUES ('检测报告上传成功了吗')";  // 10 characters
  link.SendStatementFrame(chinese);
  EXPECT_EQ(link.ReadReplyLine(), "ZQJCJGOK");
  link.SendStatementFrame("");
  std::string expectedLong;
  for (int i = 0; i < 8192; ++i)
    expectedLong += "中";
  EXPECT_EQ(link.ReadReplyLine(), expectedLong);
  EXPECT_EQ(CommMessage([&] { link.ReadReplyLine(); }), "Max line length exceeded.");
  link.CloseSession();
  EXPECT_FALSE(link.IsSessionOpen());
  ASSERT_TRUE(peer.WaitForScripts(1));

  ASSERT_EQ(frames.size(), 3u);
  EXPECT_EQ(frames[0].size(), 304u);
  EXPECT_EQ(frames[0], std::string("\x00\x00\x01\x2C", 4) + statement300);
  const std::string gbk =
      "INSERT INTO T VALUES ('\xBC\xEC\xB2\xE2\xB1\xA8\xB8\xE6\xC9\xCF\xB4\xAB\xB3\xC9\xB9\xA6"
      "\xC1\xCB\xC2\xF0')";
  ASSERT_EQ(gbk.size(), 25u + 20u);
  EXPECT_EQ(frames[1], std::string("\x00\x00\x00\x2D", 4) + gbk);
  EXPECT_EQ(frames[2], std::string(4, '\0'));
}

TEST(ServerLink, BrokenConnectionsNeverFailAFrameButFailTheReply) {
  ScriptedPeer peer([](PeerConnection& c) {
    c.SendLine("ZQJCJGSITE2\r\n");
    c.Close();  // right after the greeting
  });
  ServerLink link;
  link.SendStatementFrame("SELECT 1");  // no session: nothing happens
  EXPECT_EQ(CommMessage([&] { link.ReadReplyLine(); }), "Not Connected");
  EXPECT_EQ(CommMessage([&] { link.SendCommandLine("ZQJCJGSEND 1"); }), "Not Connected");
  link.CloseSession();

  link.OpenSession("127.0.0.1", peer.Port());
  ASSERT_TRUE(link.CheckGreeting());
  link.SendCommandLine("ZQJCJGSEND 1");
  EXPECT_EQ(CommMessage([&] { link.ReadReplyLine(); }), "Connection Closed Gracefully.");
  EXPECT_FALSE(link.IsSessionOpen());
  link.SendStatementFrame("INSERT INTO T VALUES ('1')");
  EXPECT_EQ(CommMessage([&] { link.ReadReplyLine(); }), "Connection Closed Gracefully.");
  link.CloseSession();
  EXPECT_EQ(CommMessage([&] { link.ReadReplyLine(); }), "Not Connected");
  EXPECT_TRUE(peer.WaitForScripts(1));
  EXPECT_EQ(peer.Received(), "ZQJCJGSEND 1\r\n");
}

class StartStopNotice : public ::testing::Test {
 protected:
  void SetUp() override { platform::SetLocalTime({2031, 2, 3, 10, 0, 0, 0}); }

  fs::path JournalFile() const {
    return (prefix.Root() / "var/log/pelvar/203102/20310203.log").make_preferred();
  }

  // The journal as UTF-8 lines, each checked to end in CR LF and to start
  // with a plausible time stamp, which is then cut off.
  std::vector<std::string> JournalLines() const {
    std::string bytes = text::GbkToUtf8(LinkTestPrefix::ReadBytes(JournalFile()));
    std::vector<std::string> lines;
    std::size_t at = 0;
    while (at < bytes.size()) {
      std::size_t end = bytes.find("\r\n", at);
      EXPECT_NE(end, std::string::npos) << "line without CR LF";
      if (end == std::string::npos)
        break;
      std::string line = bytes.substr(at, end - at);
      EXPECT_EQ(line.rfind("2031-2-3 10:0", 0), 0u) << line;
      std::size_t blank = line.find(' ', line.find(' ') + 1);
      lines.push_back(line.substr(blank));
      at = end + 2;
    }
    return lines;
  }

  LinkTestPrefix prefix;
  RecordingDisplay display;
  ServerLink link;
};

TEST_F(StartStopNotice, JournalsTheServersAnswer) {
  const std::vector<std::string> answers = {"ZQJCJG_STARSTOP_OK\r\n", "ZQJCJG_STARSTOP_OK \r\n",
                                            "\r\n", "zqjcjg_starstop_ok\n"};
  ScriptedPeer peer([&](PeerConnection& c) {
    c.SendLine("ZQJCJGSITE2\r\n");
    c.ReadLine();
    c.SendLine(answers[static_cast<std::size_t>(c.Index())]);
    c.WaitForClientClose();
  });
  SendStartStopNotice(link, display, "启动上传", "0001", "127.0.0.1", peer.Port());
  for (std::size_t i = 1; i < answers.size(); ++i) {
    SendStartStopNotice(link, display, "停止上传", "0001", "localhost", peer.Port());
  }
  EXPECT_FALSE(link.IsSessionOpen());
  EXPECT_TRUE(display.logLines.empty()) << display.LogText();
  EXPECT_EQ(JournalLines(), (std::vector<std::string>{" 启动上传 成功！", " 停止上传 失败！",
                                                      " 停止上传 失败！", " 停止上传 失败！"}));
  ASSERT_TRUE(peer.WaitForScripts(4));
  EXPECT_EQ(peer.Received(0), "ZQJCJG_STARSTOP 0001 \xC6\xF4\xB6\xAF\xC9\xCF\xB4\xAB\r\n");
  EXPECT_EQ(peer.Received(1), "ZQJCJG_STARSTOP 0001 \xCD\xA3\xD6\xB9\xC9\xCF\xB4\xAB\r\n");
}

TEST_F(StartStopNotice, RefusedGreetingRecordsNothing) {
  ScriptedPeer peer([](PeerConnection& c) {
    c.SendLine("ZQJCJGSITE3\r\n");
    c.WaitForClientClose();
  });
  SendStartStopNotice(link, display, "启动上传", "0001", "127.0.0.1", peer.Port());
  EXPECT_TRUE(display.logLines.empty()) << display.LogText();
  EXPECT_TRUE(fs::is_directory(JournalFile().parent_path()));  // made before connecting
  EXPECT_FALSE(fs::exists(JournalFile()));
  EXPECT_FALSE(link.IsSessionOpen());
  ASSERT_TRUE(peer.WaitForScripts(1));
  EXPECT_EQ(peer.Received(), "");
}

TEST_F(StartStopNotice, ErrorsBecomeOneLogLine) {
  ScriptedPeer peer([](PeerConnection& c) {
    c.SendLine("ZQJCJGSITE2\r\n");
    c.ReadLine();
    c.Close();  // no answer
  });
  SendStartStopNotice(link, display, "停止上传", "0001", "127.0.0.1", peer.Port());
  EXPECT_EQ(display.logLines,
            std::vector<std::string>{
                "无法连接远程服务器。Communication Exception: Connection Closed Gracefully."});
  EXPECT_TRUE(JournalLines().empty());
  EXPECT_FALSE(link.IsSessionOpen());

  display.logLines.clear();
  const std::uint16_t closedPort = testing::ClosedLoopbackPort();
  SendStartStopNotice(link, display, "停止上传", "0001", "127.0.0.1", closedPort);
  EXPECT_EQ(
      display.logLines,
      std::vector<std::string>{"无法连接远程服务器。Communication Exception: " +
                               testing::SocketMessage(testing::kRefused, "Connection refused.")});

  // Stop while a session is open (an upload cycle waits for a reply): the
  // notice cannot connect, and the session is closed on its way out.
  display.logLines.clear();
  peer.SetScript([](PeerConnection& c) { c.WaitForClientClose(); });
  link.OpenSession("127.0.0.1", peer.Port());
  SendStartStopNotice(link, display, "停止上传", "0001", "127.0.0.1", peer.Port());
  EXPECT_EQ(
      display.logLines,
      std::vector<std::string>{"无法连接远程服务器。Communication Exception: Already connected."});
  EXPECT_FALSE(link.IsSessionOpen());

  // A journal that cannot be opened: the general error line, the session closed.
  display.logLines.clear();
  fs::remove_all(prefix.Root() / "var/log/pelvar");
  peer.SetScript([](PeerConnection& c) {
    c.SendLine("ZQJCJGSITE2\r\n");
    c.WaitForClientClose();
  });
  SendStartStopNotice(link, display, "启动上传", "0001", "127.0.0.1", peer.Port());
  EXPECT_EQ(display.logLines,
            std::vector<std::string>{"无法连接远程服务器。VCL Exception: Cannot open file \"" +
                                     JournalFile().string() + "\". " + kNoSuchFolder});
  EXPECT_FALSE(link.IsSessionOpen());
  ASSERT_TRUE(peer.WaitForScripts(3));
  EXPECT_EQ(peer.Received(2), "");
  EXPECT_EQ(display.LogLineCount(), 1);
}

TEST_F(StartStopNotice, StopDuringTheWaitForTheAnswer) {
  ScriptedPeer peer([](PeerConnection& c) {
    c.SendLine("ZQJCJGSITE2\r\n");
    c.WaitForClientClose();  // never answers
  });
  int pumps = 0;
  link.SetPump([&] {
    if (++pumps == 2)
      link.CloseSession();
  });
  SendStartStopNotice(link, display, "启动上传", "0001", "127.0.0.1", peer.Port());
  EXPECT_EQ(display.logLines,
            std::vector<std::string>{
                "无法连接远程服务器。Communication Exception: Connection Closed Gracefully."});
  EXPECT_TRUE(JournalLines().empty());
}

TEST_F(StartStopNotice, StopWhileACycleConnects) {
  // The operator stops while the cycle's connect is unanswered: the stop
  // notice cannot open a second session, the session is closed, and the
  // suspended connect ends with a communication error.
  testing::SilentListener silent;
  link.SetConnectLimit(std::chrono::seconds(20));
  int pumps = 0;
  link.SetPump([&] {
    if (++pumps == 2) {
      SendStartStopNotice(link, display, "停止上传", "0001", "127.0.0.1", silent.Port());
      if (link.IsSessionOpen())
        link.CloseSession();
    }
  });
  EXPECT_EQ(CommMessage([&] { link.OpenSession("127.0.0.1", silent.Port()); }),
            "Connection Closed Gracefully.");
  EXPECT_EQ(pumps, 2);
  EXPECT_FALSE(link.IsSessionOpen());
  EXPECT_EQ(
      display.logLines,
      std::vector<std::string>{"无法连接远程服务器。Communication Exception: Already connected."});

  // Unanswered to the end: the (shortened) limit.
  link.SetPump(nullptr);
  link.SetConnectLimit(std::chrono::milliseconds(300));
  EXPECT_EQ(CommMessage([&] { link.OpenSession("127.0.0.1", silent.Port()); }),
            "Connect timed out.");
  EXPECT_FALSE(link.IsSessionOpen());
}

}  // namespace
}  // namespace pelvar::upload
