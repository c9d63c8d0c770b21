// Bad input through the whole client: real upload cycles against MariaDB and
// a scripted supervision server, and run starts over a damaged settings
// file. Every case either delivers the row intact (the frame bytes the peer
// received are checked) or ends with a clear log line or error and the row
// in a defined state (its SENDFLAG is checked).
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "config/SettingsStore.h"
#include "relay/RelayConnection.h"
#include "support/CycleTestBase.h"
#include "support/FakeSupervisionServer.h"
#include "support/RecordingDisplay.h"
#include "support/RecordingMessageBoxes.h"
#include "support/ScriptedPeer.h"
#include "support/TempPrefix.h"
#include "support/TestDatabase.h"
#include "text/Error.h"
#include "text/Gbk.h"
#include "upload/RunControl.h"
#include "upload/ServerLink.h"
#include "upload/UploadCycle.h"

namespace pelvar::upload {
namespace {

using testing::FakeSupervisionServer;
using testing::RecordingDisplay;
using testing::ScriptedPeer;

using testing::Normalised;

// The frame a statement travels in: its GBK bytes behind their big-endian count.
std::string Frame(const std::string& utf8Statement) {
  std::string gbk = text::Utf8ToGbk(utf8Statement);
  std::string frame(4, '\0');
  for (int i = 0; i < 4; ++i)
    frame[i] = static_cast<char>((gbk.size() >> (24 - 8 * i)) & 0xFF);
  return frame + gbk;
}

// The statement of a JCJG_ALTER row ('J01', ypdbh, 2011-05-02 09:00:00,
// 'R1', xgnr, NULL, '张三', 0) in the server's dialect; quote and backslash
// doubling is written out by the caller.
std::string AlterStatement(const std::string& escapedYpdbh, const std::string& escapedXgnr) {
  return "insert into JCJG_JCDW_ALTER values ('J01','" + escapedYpdbh +
         "','2011-5-2 9:00:00','R1','" + escapedXgnr + "','','张三','0',CURRENT_TIMESTAMP(),0,7);";
}

const std::vector<std::string> kAcceptedAlterLog = {
    "上传检测报告信息记录：",   "上传检测报告适用工程记录：", "上传修改记录：",
    "√ R1 <ts> 上传成功！<ts>", "上传自动采集记录：",         "<ts> 同步信息完成！"};

class BadInputTest : public testing::CycleTestBase {
 protected:
  // A JCJG_ALTER row; ypdbh and xgnr are SQL expressions.
  void AddAlter(const std::string& ypdbhSql, const std::string& xgnrSql) {
    database_->Run("insert into JCJG_ALTER values ('J01'," + ypdbhSql +
                   ",'2011-05-02 09:00:00','R1'," + xgnrSql + ",NULL,'张三',0)");
  }

  std::string AlterStates() {
    auto value = database_->Scalar("select group_concat(SENDFLAG) from JCJG_ALTER");
    return value ? *value : "(no row)";
  }
};

TEST_F(BadInputTest, QuotesBackslashesGbkTrailBytesAndNulTravelIntactAndFindTheirRow) {
  // Y'\誠<NUL> as the key and it's \ 誠<NUL>end as a value.
  AddAlter("'Y''\\\\誠\\0'", "'it''s \\\\ 誠\\0end'");
  RunCycle();

  // Values are trimmed of control bytes at their ends, so the key's final
  // NUL is not among the values; the inner one is.
  const std::string nul(1, '\0');
  ASSERT_EQ(server_.RawFrames().size(), 1u);
  EXPECT_EQ(server_.RawFrames()[0],
            Frame(AlterStatement("Y''\\\\誠", "it''s \\\\ 誠" + nul + "end")));
  // 誠 is D5 5C in GBK: its trail byte is not doubled, a real backslash is.
  EXPECT_NE(server_.RawFrames()[0].find("'Y''\\\\\xD5\x5C'"), std::string::npos);
  EXPECT_EQ(Normalised(display_.logLines), kAcceptedAlterLog);
  EXPECT_EQ(AlterStates(), "(no row)");  // the key clause found the row again
}

TEST_F(BadInputTest, AReportKeyEndingInAControlByteIsSentOnceAndSettled) {
  // The key clause looks for the key as stored, 'Y1<TAB>', so the projects
  // phase marks the row and the reports phase delivers it in the same cycle.
  database_->Run(
      "insert into JCJG_RPTINFO (JCDWBH,YPDBH,GCBH,SENDFLAG) values ('J01','Y1\t','G1',0)");
  RunCycle();
  RunCycle();
  const std::vector<std::string> statements = server_.Statements();
  ASSERT_EQ(statements.size(), 2u);
  EXPECT_EQ(statements[0], "insert into JCJG_JCDW_GC values ('J01','G1','','','','','','',7);");
  EXPECT_EQ(statements[1].rfind("insert into JCJG_JCDW_RPTINFO values ('J01','Y1',", 0), 0u);
  EXPECT_EQ(*database_->Scalar("select count(*) from JCJG_RPTINFO"), "0");
}

TEST_F(BadInputTest, AOneMegabyteTextTravelsInOneFrame) {
  database_->Run("alter table JCJG_ALTER modify XGNR mediumtext");
  AddAlter("'Y1'", "concat(repeat('誠', 524288), '''\\\\')");
  RunCycle();

  ASSERT_EQ(server_.RawFrames().size(), 1u);
  std::string big;
  for (int i = 0; i < 524288; ++i)
    big += "誠";
  const std::string expected = Frame(AlterStatement("Y1", big + "''\\\\"));
  EXPECT_GT(expected.size(), 4u + 1048576u);
  EXPECT_EQ(server_.RawFrames()[0].size(), expected.size());
  EXPECT_TRUE(server_.RawFrames()[0] == expected);  // no 1 MB diff on failure
  EXPECT_EQ(Normalised(display_.logLines), kAcceptedAlterLog);
  EXPECT_EQ(AlterStates(), "(no row)");
}

TEST_F(BadInputTest, CharactersGbkCannotHoldArriveAsQuestionMarks) {
  // The relay server converts to the connection's GBK before the client sees
  // the value: an emoji in a value is delivered as "?" without a word...
  database_->Run(
      "alter table JCJG_ALTER modify XGNR text character set utf8mb4, "
      "modify YPDBH varchar(30) character set utf8mb4 not null");
  AddAlter("'Y1'", "'温度😀高'");
  RunCycle();
  ASSERT_EQ(server_.Statements().size(), 1u);
  EXPECT_EQ(server_.Statements()[0], AlterStatement("Y1", "温度?高"));
  EXPECT_EQ(Normalised(display_.logLines), kAcceptedAlterLog);
  EXPECT_EQ(AlterStates(), "(no row)");

  // ...and one in a key column makes the key clause miss its row: the
  // accepted row stays pending with the maintenance failure line.
  AddAlter("'Y😀'", "'x'");
  display_.logLines.clear();
  RunCycle();
  ASSERT_EQ(server_.Statements().size(), 2u);
  EXPECT_EQ(server_.Statements()[1], AlterStatement("Y?", "x"));
  EXPECT_EQ(Normalised(display_.logLines[3]), "×维护已上传的修改记录失败。<ts>");
  EXPECT_EQ(display_.sentCount, 1);
  EXPECT_EQ(AlterStates(), "0");

  // A rejection cannot mark it either: it stays 0 and is offered again.
  server_.verdict = [](const std::string&) {
    return std::string("ZQJCJGERROR Duplicate entry for key 'PRIMARY'");
  };
  display_.logLines.clear();
  RunCycle();
  EXPECT_EQ(Normalised(display_.logLines[3]),
            "× R1 上传失败：Duplicate entry for key 'PRIMARY' <ts>");
  EXPECT_EQ(AlterStates(), "0");
}

TEST_F(BadInputTest, OverlongAndGarbageRepliesLeaveTheRowPending) {
  AddAlter("'Y1'", "'x'");

  // 16385 bytes before the LF: the cycle ends, the row is untouched.
  server_.verdict = [](const std::string&) { return std::string(16385, 'A'); };
  RunCycle();
  EXPECT_EQ(display_.logLines.back(), "Communication Exception: Max line length exceeded.");
  EXPECT_EQ(display_.connectStatus, LightColour::kRed);
  EXPECT_EQ(AlterStates(), "0");
  EXPECT_FALSE(link_.IsSessionOpen());

  // Binary garbage with a line end is neither acceptance nor rejection: the
  // row stays pending without a row line, the summary counts no success,
  // and the cycle goes on to the identity agreement.
  server_.rawVerdict = [](const std::string&) {
    return std::string("\x00\xFF\xD5\x5C\x80\x1B[2J\xFE", 10) + "\r\n";
  };
  display_.logLines.clear();
  RunCycle();
  EXPECT_EQ(
      Normalised(display_.logLines),
      (std::vector<std::string>{"上传检测报告信息记录：", "上传检测报告适用工程记录：",
                                "上传修改记录：", "上传自动采集记录：", "<ts> 同步信息完成！"}));
  EXPECT_EQ(AlterStates(), "0");
  EXPECT_EQ(server_.RawFrames().size(), 2u);
}

TEST_F(BadInputTest, ALineThatNeverEndsIsEndedByStop) {
  AddAlter("'Y1'", "'x'");
  server_.rawVerdict = [](const std::string&) { return std::string("ZQJCJGO"); };
  int pumps = 0;
  link_.SetPump([&] {
    if (++pumps == 3)
      link_.CloseSession();  // as Stop does while the reply is awaited
  });
  RunCycle();
  EXPECT_EQ(pumps, 3);
  EXPECT_EQ(display_.logLines.back(), "Communication Exception: Connection Closed Gracefully.");
  EXPECT_EQ(display_.connectStatus, LightColour::kRed);
  EXPECT_EQ(AlterStates(), "0");
  EXPECT_FALSE(link_.IsSessionOpen());
}

// Run over a settings file that was cut short or edited by hand: a clear
// error, nothing started, nothing sent, and the file left exactly as it was.
TEST(BadSettingsTest, DamagedSettingsFileStopsTheRunWithItsErrorAndIsNeverRewritten) {
  test::TempPrefix prefix;
  prefix.MakeJournalBase();
  RecordingDisplay display;
  test::RecordingMessageBoxes boxes;
  struct IdleTimer : ScanTimer {
    void SetInterval(int value) override { interval = value; }
    int Interval() const override { return interval; }
    void SetEnabled(bool value) override { enabled = value; }
    bool Enabled() const override { return enabled; }
    int interval = 0;
    bool enabled = false;
  } timer;
  FakeSupervisionServer server;
  ScriptedPeer peer(server.Script());
  config::SettingsStore store;
  RunControl control(
      display, boxes, timer, [] {}, store);

  const std::string head = "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\ZIRODU\\DAVIV]\r\n";
  char port[9];
  std::snprintf(port, sizeof port, "%08x", peer.Port());
  const std::string good =
      "\"DBType\"=\"MySQL\"\r\n\"ScanTime\"=dword:00000064\r\n"
      "\"Dwbh\"=\"J01\"\r\n\"DBHost\"=\"127.0.0.1\"\r\n\"DBName\"=\"DAVIV\"\r\n"
      "\"DBUser\"=\"u\"\r\n\"DBPasswd\"=\"p\"\r\n\"DBPort\"=dword:00000cea\r\n"
      "\"RemoteHost\"=\"127.0.0.1\"\r\n\"RemotePort\"=dword:" +
      std::string(port) + "\r\n";
  const std::string file = prefix.RegistryFile().string();
  const std::string malformed = "Registry file '" + file + "' is malformed at line ";
  struct Case {
    std::string bytes;
    std::string error;  // empty: the run starts, with these log lines
    std::vector<std::string> log = {};
  };
  const std::vector<Case> cases = {
      // Cut in the middle of a text, of a number, after a whole line.
      {head + good.substr(0, good.find("DAVIV") + 3),
       malformed + "8: a quoted text without its closing quote"},
      {head + good.substr(0, good.rfind("dword:") + 10),
       "",  // "dword:0000" reads as port 0
       {"无法连接远程服务器。Communication Exception: Socket Error # 111\r\nConnection refused.",
        "系统进入上传数据状态！<ts>"}},
      {head + good.substr(0, good.find("\"RemoteHost\"")), "Failed to get data for 'RemotePort'"},
      {head.substr(0, 20), malformed + "3: a key line without its closing bracket"},
      // Edited by hand with the wrong types.
      {head + "\"ScanTime\"=\"100\"\r\n" + good.substr(good.find("\"Dwbh\"")),
       "Invalid data type for 'ScanTime'"},
      {head + "\"DBType\"=dword:00000001\r\n" + good.substr(good.find("\"ScanTime\"")),
       "Invalid data type for 'DBType'"},
      {head + good + "\"RemotePort\"=hex:01,02,03,04,05\r\n",
       "Failed to get data for 'RemotePort'"},
      // Hexadecimal 0x3306, not 3306: nothing to tell them apart.
      {head + good + "\"DBPort\"=dword:3306\r\n", "", {"系统进入上传数据状态！<ts>"}},
      {head + good + "\"DBPort\"=3306\r\n", malformed + "14: value data of an unknown form"},
      {head +
           "\"Dwbh\"=\"J\xff"
           "01\"\r\n" +
           good,
       malformed + "4: bytes that are not GBK text"},
  };
  for (const Case& c : cases) {
    test::WriteFileBytes(prefix.RegistryFile(), c.bytes);
    std::string error;
    display.logLines.clear();
    const int connectionsBefore = peer.AcceptedCount();
    try {
      control.Run();
    } catch (const Error& e) {
      error = e.what();
    }
    if (c.error.empty()) {
      // A file that still reads as a whole starts the run with what it holds;
      // a wrong port shows in the notice's log line.
      EXPECT_EQ(error, "") << c.bytes;
      EXPECT_TRUE(control.IsRunning());
      EXPECT_EQ(Normalised(display.logLines), c.log) << c.bytes;
      control.Stop();
    } else {
      // The front end shows the error in its general error box.
      EXPECT_EQ(error, c.error) << c.bytes;
      EXPECT_FALSE(control.IsRunning());
      EXPECT_TRUE(display.logLines.empty());
      EXPECT_EQ(peer.AcceptedCount(), connectionsBefore);  // not even a start notice
    }
    EXPECT_EQ(test::ReadFileBytes(prefix.RegistryFile()), c.bytes);
  }
  EXPECT_TRUE(boxes.shown.empty());
}

}  // namespace
}  // namespace pelvar::upload
