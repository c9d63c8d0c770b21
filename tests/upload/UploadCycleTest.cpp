#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <thread>

#include "platform/Clock.h"
#include "support/CycleTestBase.h"
#include "upload/Journal.h"

namespace pelvar::upload {
namespace {

using testing::FakeSupervisionServer;

using testing::Normalised;

class UploadCycleTest : public testing::CycleTestBase {
 protected:
  void AddReport(const std::string& ypdbh, const std::string& bgbh, int sendFlag = 0,
                 int revisions = 0, const std::string& agency = "J01") {
    database_->Run("insert into JCJG_RPTINFO values ('" + agency + "','" + ypdbh +
                   "','G1','Z1','S1','新城小区3号楼','建设','施工','监理','" + bgbh +
                   "','2011-05-02','抗压','合格',3,12.50,NULL,'2011-05-02 08:31:15'," +
                   std::to_string(revisions) + "," + std::to_string(sendFlag) + ")");
  }

  std::string Count(const std::string& table, const std::string& where = "1=1") {
    return *database_->Scalar("select count(*) from " + table + " where " + where);
  }
};

TEST_F(UploadCycleTest, OrdinaryCycleUploadsEveryTableAndReportsIt) {
  AddReport("Y1", "BG1");
  database_->Run("insert into JCJG_GC_RPT values ('J01','Y1','G1','S1','新城小区3号楼',0)");
  database_->Run(
      "insert into JCJG_ALTER values ('J01','Y1','2011-05-02 09:00:00','R1','改',NULL,'张三',0)");
  database_->Run(
      "insert into JCJG_AUTO values ('J01','R2','2011-05-02 10:00:00','2011-05-02 10:00:05',"
      "'SB1','SJ1',1.5,NULL,NULL,0)");
  // Another agency's rows are never touched.
  AddReport("Y9", "BG9", 0, 0, "J02");
  server_.guidReply = "ZQJCJGGUIDOK 2030-1-2 3:04:05";

  EXPECT_TRUE(RunCycle());

  EXPECT_EQ(Normalised(display_.logLines),
            (std::vector<std::string>{
                "上传检测报告信息记录：", "√ BG1 上传成功！<ts>", "上传检测报告适用工程记录：",
                "√ 新城小区3号楼 上传成功！<ts>", "上传修改记录：", "√ R1 <ts> 上传成功！<ts>",
                "上传自动采集记录：", "√ R2 <ts> 上传成功！<ts>", "<ts> 同步信息完成！"}));
  EXPECT_EQ(display_.logLines[5].rfind("√ R1 2011-5-2 9:00:00 上传成功！", 0), 0u);
  EXPECT_EQ(Normalised(JournalLines()),
            (std::vector<std::string>{"<ts> 上传检测报告信息：1 份，成功：1 份",
                                      "<ts> 上传检测报告适用工程记录：1 条，成功：1 条",
                                      "<ts> 上传修改记录：1 条，成功：1 条",
                                      "<ts> 上传自动采集记录：1 条，成功：1 条", "<ts> 同步！"}));
  EXPECT_EQ(
      server_.Statements(),
      (std::vector<std::string>{
          "insert into JCJG_JCDW_GC values ('J01','G1','Z1','S1','新城小区3号楼','建设','施工',"
          "'监理',7);",
          "insert into JCJG_JCDW_RPTINFO values ('J01','Y1','G1','Z1','S1','新城小区3号楼',"
          "'建设','施工','监理','BG1','2011-5-2','抗压','合格','3','12.5','0','2011-5-2 "
          "8:31:15','0','1',CURRENT_TIMESTAMP(),0 ,7);",
          "insert into JCJG_JCDW_GC_RPT values ('J01','Y1','G1','S1','新城小区3号楼','0')",
          "insert into JCJG_JCDW_ALTER values ('J01','Y1','2011-5-2 "
          "9:00:00','R1','改','','张三','0',CURRENT_TIMESTAMP(),0,7);",
          "insert into JCJG_JCDW_AUTO values ('J01','R2','2011-5-2 10:00:00','2011-5-2 "
          "10:00:05','SB1','SJ1','1.5','0','0','0',CURRENT_TIMESTAMP(),0,7);"}));
  auto lines = server_.CommandLines();
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_EQ(lines[0], "ZQJCJGSEND 1");
  EXPECT_EQ(lines[5].substr(0, 15), "ZQJCJGGUID J01 ");
  std::string guid = lines[5].substr(15);
  EXPECT_EQ(guid.size(), 36u);
  EXPECT_EQ(*database_->Scalar("select GUID from JCJG_CUSER"), guid);

  EXPECT_EQ(Count("JCJG_RPTINFO"), "1");  // only the other agency's row is left
  EXPECT_EQ(Count("JCJG_GC_RPT") + Count("JCJG_ALTER") + Count("JCJG_AUTO"), "000");
  EXPECT_EQ(display_.sentCount, 4);
  EXPECT_EQ(display_.dbStatus, LightColour::kGreen);
  EXPECT_EQ(display_.connectStatus, LightColour::kGray);
  EXPECT_EQ(platform::Now().year, 2030);  // the server's time, as an offset inside the prefix
  EXPECT_FALSE(link_.IsSessionOpen());
}

TEST_F(UploadCycleTest, SettlesEveryReplyFormByItsRule) {
  const char* replies[] = {
      "zqjcjgerror Duplicate entry for key 'PRIMARY'",  // rejection in any case: state 10
      "ZQJCJGERROR duplicate primary key",              // "primary" is not "PRIMARY": 100
      "ZQJCJGERROR ",                                   // empty message: 100
      "ZQJCJGOK ",                                      // neither: untouched
      "zqjcjgok",                                       // neither: untouched
      "ZQJCJGOK\r",                                     // CR CR LF keeps one CR: untouched
  };
  for (int i = 0; i < 6; ++i)
    AddReport("Y" + std::to_string(i), "BG" + std::to_string(i), 1);
  server_.verdict = [&](const std::string& statement) {
    for (int i = 0; i < 6; ++i) {
      if (statement.find("'Y" + std::to_string(i) + "'") != std::string::npos)
        return std::string(replies[i]);
    }
    return std::string("ZQJCJGOK");
  };
  RunCycle();

  EXPECT_EQ(*database_->Scalar("select group_concat(SENDFLAG order by YPDBH) from JCJG_RPTINFO"),
            "10,100,100,1,1,1");
  auto journal = Normalised(JournalLines());
  ASSERT_EQ(journal.size(), 5u);
  EXPECT_EQ(journal[0], "<ts> BG0 上传失败：Duplicate entry for key 'PRIMARY'");
  EXPECT_EQ(journal[2], "<ts> BG2 上传失败：");
  EXPECT_EQ(journal[3], "<ts> 上传检测报告信息：6 份，成功：0 份");
  auto log = Normalised(display_.logLines);
  EXPECT_EQ(log[1], "× BG0 上传失败：Duplicate entry for key 'PRIMARY' <ts>");
  EXPECT_EQ(log[4], "上传检测报告适用工程记录：");
  EXPECT_EQ(display_.sentCount, 0);
}

// The journal names a rejected row by two columns with one blank between
// them, also when the first is empty.
TEST_F(UploadCycleTest, RejectionLinesKeepTheirBlankBesideAnEmptyColumn) {
  database_->Run("insert into JCJG_GC_RPT values ('J01','Y1','G1','','楼',0)");
  server_.verdict = [](const std::string&) { return std::string("ZQJCJGERROR x"); };
  RunCycle();
  auto journal = Normalised(JournalLines());
  ASSERT_FALSE(journal.empty());
  EXPECT_EQ(journal[0], " 楼 上传失败：x");
}

TEST_F(UploadCycleTest, BatchesAreAtMostThirtyAndADeclinedAnnouncementSendsNothing) {
  std::string values;
  for (int i = 0; i < 31; ++i) {
    values += std::string(i ? "," : "") + "('J01','Y" + std::to_string(i) + "','G','S','名',0)";
  }
  database_->Run("insert into JCJG_GC_RPT values " + values);
  RunCycle();
  EXPECT_EQ(server_.CommandLines()[0], "ZQJCJGSEND 30");
  EXPECT_EQ(server_.Statements().size(), 30u);
  EXPECT_EQ(Count("JCJG_GC_RPT"), "1");
  EXPECT_EQ(display_.sentCount, 30);

  server_.announceReply = "ZQJCJGBUSY";
  database_->Run(
      "insert into JCJG_ALTER values ('J01','Y1','2011-05-02 09:00:00','R1','','','',0)");
  RunCycle();
  EXPECT_EQ(server_.Statements().size(), 30u);
  EXPECT_EQ(Count("JCJG_GC_RPT") + Count("JCJG_ALTER"), "11");
  auto journal = Normalised(JournalLines());
  EXPECT_EQ(journal[journal.size() - 3], "<ts> 上传检测报告适用工程记录：1 条，成功：0 条");
  EXPECT_EQ(journal[journal.size() - 2], "<ts> 上传修改记录：1 条，成功：0 条");
}

TEST_F(UploadCycleTest, AcceptedRowThatCannotBeFoundAgainStaysAndIsReported) {
  database_->Run(
      "insert into JCJG_ALTER values ('J01','Y1','2011-05-02 09:00:00','R1','','','',0)");
  // The row is gone from its table by the time the acceptance arrives.
  server_.verdict = [&](const std::string&) {
    database_->Run("update JCJG_ALTER set YPDBH='Y2'");
    return std::string("ZQJCJGOK");
  };
  RunCycle();
  EXPECT_EQ(Normalised(display_.logLines[3]), "×维护已上传的修改记录失败。<ts>");
  EXPECT_EQ(Count("JCJG_ALTER"), "1");
  EXPECT_EQ(display_.sentCount, 0);
}

// Key values as stored find their rows again: NULL dates, and key texts
// with blanks or control bytes at their ends.
TEST_F(UploadCycleTest, RowsWithNullOrUntrimmedKeysSettle) {
  AddReport(" Y1\t", "BG1");
  database_->Run("insert into JCJG_GC_RPT values ('J01',' Y1 ','G1\n','S1','楼',0)");
  database_->Run("insert into JCJG_ALTER values ('J01','Y1',NULL,'R1','','','',0)");
  database_->Run("insert into JCJG_ALTER values ('J01','Y2',NULL,'R2','','','',0)");
  database_->Run("insert into JCJG_AUTO values ('J01','R1',NULL,NULL,NULL,NULL,NULL,NULL,NULL,0)");
  server_.verdict = [](const std::string& statement) {
    return std::string(statement.find("'Y2'") != std::string::npos ? "ZQJCJGERROR x" : "ZQJCJGOK");
  };
  RunCycle();
  EXPECT_EQ(server_.Statements().size(), 6u);
  EXPECT_EQ(Count("JCJG_RPTINFO") + Count("JCJG_GC_RPT") + Count("JCJG_AUTO"), "000");
  EXPECT_EQ(*database_->Scalar("select group_concat(YPDBH, SENDFLAG) from JCJG_ALTER"), "Y2100");
  EXPECT_EQ(display_.sentCount, 4);
}

// Projects: only an acceptance or a rejection moves a report on; any other
// reply leaves it for a later cycle.
TEST_F(UploadCycleTest, ProjectsMoveOnOnlyOnAVerdict) {
  const char* replies[] = {"ZQJCJGOK", "ZQJCJGERROR x", "ZQJCJGRETRY later", "garbage",
                           "ZQJCJGOK "};
  for (int i = 0; i < 5; ++i)
    AddReport("Y" + std::to_string(i), "BG" + std::to_string(i));
  database_->Run("update JCJG_RPTINFO set GCBH=concat('G', YPDBH)");
  server_.verdict = [&](const std::string& statement) {
    if (statement.rfind("insert into JCJG_JCDW_GC ", 0) != 0)
      return std::string("ZQJCJGRETRY");  // reports stay at 1
    for (int i = 0; i < 5; ++i) {
      if (statement.find("'GY" + std::to_string(i) + "'") != std::string::npos)
        return std::string(replies[i]);
    }
    return std::string();
  };
  RunCycle();
  EXPECT_EQ(*database_->Scalar("select group_concat(SENDFLAG order by YPDBH) from JCJG_RPTINFO"),
            "1,1,0,0,0");

  server_.verdict = [](const std::string&) { return std::string("ZQJCJGOK"); };
  RunCycle();
  EXPECT_EQ(Count("JCJG_RPTINFO"), "0");
}

TEST_F(UploadCycleTest, ServerClosingMidPhaseKeepsSettledRowsAndTheRest) {
  for (int i = 0; i < 5; ++i)
    AddReport("Y" + std::to_string(i), "BG" + std::to_string(i), 1);
  int frames = 0;
  server_.verdict = [&](const std::string&) {
    return ++frames <= 3 ? std::string("ZQJCJGOK") : std::string(FakeSupervisionServer::kCloseNow);
  };
  RunCycle();
  EXPECT_EQ(Count("JCJG_RPTINFO"), "2");
  EXPECT_EQ(Count("JCJG_RPTINFO", "SENDFLAG=1"), "2");
  EXPECT_EQ(display_.logLines.back(), "Communication Exception: Connection Closed Gracefully.");
  EXPECT_EQ(display_.connectStatus, LightColour::kRed);
  EXPECT_TRUE(JournalLines().empty());  // no table summary for the broken phase
}

TEST_F(UploadCycleTest, SilentOrTricklingServerEndsTheCycleAndKeepsTheRows) {
  for (int i = 0; i < 3; ++i)
    AddReport("Y" + std::to_string(i), "BG" + std::to_string(i));
  auto expectRowsUntouched = [&] {
    EXPECT_EQ(Count("JCJG_RPTINFO", "SENDFLAG=0"), "3");
    EXPECT_EQ(display_.connectStatus, LightColour::kRed);
    EXPECT_TRUE(JournalLines().empty());
  };

  // Greets, takes the first frame and never answers it.
  peer_->SetScript([](testing::PeerConnection& connection) {
    connection.SendLine("ZQJCJGSITE2\r\n");
    connection.ReadLine();
    connection.SendLine("ZQJCJGBUSK\r\n");
    connection.ReadFrame();
    connection.WaitForClientClose();
  });
  link_.SetReadLimit(std::chrono::milliseconds(600));
  EXPECT_FALSE(RunCycle());
  EXPECT_EQ(display_.logLines.back(), "Communication Exception: Read timed out.");
  expectRowsUntouched();

  // Answers the announcement one byte every 100 ms and never ends the line:
  // the pump still runs, and closing the session from it ends the cycle.
  peer_->SetScript([](testing::PeerConnection& connection) {
    connection.SendLine("ZQJCJGSITE2\r\n");
    connection.ReadLine();
    for (;;) {
      connection.Send("Z");
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
  });
  int pumps = 0;
  link_.SetPump([&] {
    if (++pumps == 4)
      link_.CloseSession();
  });
  EXPECT_FALSE(RunCycle());
  EXPECT_EQ(display_.logLines.back(), "Communication Exception: Connection Closed Gracefully.");
  EXPECT_EQ(pumps, 4);
  expectRowsUntouched();
}

TEST_F(UploadCycleTest, EmptyTablesStillSynchroniseAndLogTheHeadings) {
  RunCycle();
  EXPECT_EQ(
      Normalised(display_.logLines),
      (std::vector<std::string>{"上传检测报告信息记录：", "上传检测报告适用工程记录：",
                                "上传修改记录：", "上传自动采集记录：", "<ts> 同步信息完成！"}));
  EXPECT_EQ(Normalised(JournalLines()), (std::vector<std::string>{"<ts> 同步！"}));
  EXPECT_EQ(server_.CommandLines().size(), 1u);
}

TEST_F(UploadCycleTest, RelayDownOrWrongGreetingEndTheCycleCleanly) {
  db::ConnectionParameters wrong = database_->MySqlParameters();
  wrong.port = 1;
  relay_.Configure(wrong);
  EXPECT_FALSE(RunCycle());
  ASSERT_EQ(display_.logLines.size(), 2u);
  EXPECT_EQ(display_.logLines[0].rfind("MySQL数据库连接：", 0), 0u);
  EXPECT_EQ(display_.logLines[1].rfind("VCL Exception: ", 0), 0u);
  EXPECT_EQ(display_.dbStatus, LightColour::kRed);
  EXPECT_EQ(display_.connectStatus, LightColour::kGreen);
  EXPECT_TRUE(std::filesystem::exists(Journal::JournalFilePath(platform::Now())));
  EXPECT_TRUE(JournalLines().empty());

  std::filesystem::remove(Journal::JournalFilePath(platform::Now()));
  relay_.Configure(database_->MySqlParameters());
  server_.greeting = "ZQJCJGSITE1";
  display_.logLines.clear();
  EXPECT_FALSE(RunCycle());
  EXPECT_EQ(display_.logLines, (std::vector<std::string>{"请升级上传程序！"}));
  EXPECT_EQ(display_.connectStatus, LightColour::kGreen);
  EXPECT_FALSE(std::filesystem::exists(Journal::JournalFilePath(platform::Now())));
}

TEST_F(UploadCycleTest, IdentityAgreementStoresTheIdentifierAndFollowsTheReply) {
  RunCycle();
  std::string first = *database_->Scalar("select GUID from JCJG_CUSER");
  RunCycle();
  EXPECT_NE(*database_->Scalar("select GUID from JCJG_CUSER"), first);

  server_.guidReply = "ZQJCJGGUIDERROR 未注册";
  display_.logLines.clear();
  RunCycle();
  EXPECT_EQ(Normalised(display_.logLines.back()), "<ts> 同步信息失败(未注册)");

  server_.guidReply = "ZQJCJGGUIDOK yesterday";
  display_.logLines.clear();
  RunCycle();
  EXPECT_EQ(display_.logLines.back(), "VCL Exception: 'yesterday' is not a valid date and time");
  EXPECT_EQ(display_.dbStatus, LightColour::kRed);

  database_->Run("delete from JCJG_CUSER");
  server_.guidReply = "zqjcjgguidok 2031-1-2 3:04:05";
  display_.logLines.clear();
  RunCycle();
  EXPECT_EQ(display_.logLines.back(), "上传自动采集记录：");
  EXPECT_LT(platform::Now().year, 2031);  // clock untouched without a stored identifier
}

// An agency number with a line break (a hand-edited settings file) never
// reaches the server as a line of its own.
TEST_F(UploadCycleTest, LineBreakInACommandLineSendsNothingOfIt) {
  profile_.agencyNumber = "J01\r\nZQJCJGSEND 1";
  RunCycle();
  EXPECT_TRUE(server_.CommandLines().empty());
  EXPECT_EQ(display_.logLines.back(), "Communication Exception: Line break inside a command line.");
  EXPECT_EQ(*database_->Scalar("select count(GUID) from JCJG_CUSER"), "0");
}

TEST_F(UploadCycleTest, LogIsClearedOnlyAboveFiveHundredDisplayedLines) {
  display_.wrapWidth = 10;
  for (int i = 0; i < 499; ++i)
    display_.logLines.push_back("x");
  display_.logLines.push_back("0123456789");  // exactly fills one row: 500 lines
  RunCycle();
  EXPECT_EQ(display_.clearCount, 0);
  display_.logLines.assign(499, "x");
  display_.logLines.push_back("01234567890");  // wraps to a second row: 501 lines
  RunCycle();
  EXPECT_EQ(display_.clearCount, 1);
  EXPECT_EQ(display_.logLines.front(), "上传检测报告信息记录：");
}

TEST_F(UploadCycleTest, QuotesBackslashesAndGbkTrailBytesTravelIntactAndSettle) {
  database_->Run(
      "insert into JCJG_RPTINFO values ('J01','Y''1\\\\','G1','Z1','S1','誠''s \\\\ 楼','建设',"
      "'施工','监理','BG''1','2011-05-02','抗压','合格',3,12.50,NULL,NULL,1,1)");
  database_->Run("insert into JCJG_GC_RPT values ('J01','Y''1\\\\','G''1','S1','誠',0)");
  RunCycle();
  auto statements = server_.Statements();
  ASSERT_EQ(statements.size(), 2u);
  // The revision prefix, and every value escaped for the server's MySQL dialect.
  EXPECT_EQ(
      statements[0].rfind(
          "delete from JCJG_JCDW_RPTINFO where JCDWBH='J01' and YPDBH='Y''1\\\\' ; delete", 0),
      0u);
  EXPECT_NE(statements[0].find("'誠''s \\\\ 楼'"), std::string::npos);
  EXPECT_EQ(statements[0].substr(statements[0].size() - 2), ");");
  EXPECT_NE(server_.RawFrames()[1].find(std::string("'\xD5\x5C'")), std::string::npos);
  // Both rows were found again by their key clauses and deleted.
  EXPECT_EQ(Count("JCJG_RPTINFO") + Count("JCJG_GC_RPT"), "00");
  EXPECT_EQ(display_.sentCount, 2);
}

}  // namespace
}  // namespace pelvar::upload
