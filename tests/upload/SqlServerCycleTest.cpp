// A whole upload cycle with the relay on SQL Server, as the TDS responder
// plays it through FreeTDS: the exact statements the relay receives.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "relay/RelayConnection.h"
#include "support/FakeSupervisionServer.h"
#include "support/RecordingDisplay.h"
#include "support/ScriptedPeer.h"
#include "support/TdsResponder.h"
#include "support/TempPrefix.h"
#include "upload/ServerLink.h"
#include "upload/SiteProfile.h"
#include "upload/UploadCycle.h"

namespace pelvar::upload {
namespace {

using testing::TdsColumn;
using testing::TdsReply;
using testing::TdsResponder;
using testing::TdsType;
using testing::TdsValue;

TdsReply Rows(const std::vector<TdsColumn>& columns, const std::vector<TdsValue>& row) {
  return TdsReply().Columns(columns).Row(row).Done(1);
}

TEST(SqlServerCycle, SelectsSettlesAndStoresTheIdentityWithSqlServerTexts) {
  test::TempPrefix prefix;
  prefix.MakeJournalBase();
  testing::RecordingDisplay display;
  ServerLink link;
  relay::RelayConnection relay;
  testing::FakeSupervisionServer server;
  server.guidReply = "ZQJCJGGUIDOK 2030-1-2 3:04:05";
  testing::ScriptedPeer peer(server.Script());
  SiteProfile profile{"J01", "7", "J01", "127.0.0.1", peer.Port(), "SQL Server"};
  TdsResponder responder;
  relay.Configure(responder.Parameters());

  using T = TdsType;
  const std::string suffix(TdsResponder::kRowCountQuery);
  responder.Answer(
      "select top 30 YPDBH,GCBH,ZJZBH,SJH,GCMC,JSDW,SGDW,JLDW from JCJG_RPTINFO where "
      "SENDFLAG=0 and JCDWBH=N'J01' ",
      Rows({{"YPDBH", T::kVarChar},
            {"GCBH", T::kVarChar},
            {"ZJZBH", T::kVarChar},
            {"SJH", T::kVarChar},
            {"GCMC", T::kNVarChar},
            {"JSDW", T::kVarChar},
            {"SGDW", T::kVarChar},
            {"JLDW", T::kVarChar}},
           {"Y1", "G1", "Z1", "S1", "新城小区3号楼", "建设", "施工", "监理"}));
  responder.AnswerExecute("update JCJG_RPTINFO set SENDFLAG=1 where YPDBH=N'Y1' ", 1);
  responder.Answer("select top 30 * from JCJG_RPTINFO where SENDFLAG=1 and JCDWBH=N'J01' ",
                   Rows({{"JCDWBH", T::kVarChar},
                         {"YPDBH", T::kVarChar},
                         {"BGBH", T::kVarChar},
                         {"BGRQ", T::kDate},
                         {"YPSL", T::kInt},
                         {"DBSL", T::kDecimal, 10, 2},
                         {"QDDJ", T::kFloat},
                         {"SYRQ", T::kDateTime},
                         {"BGXGCOUNT", T::kInt},
                         {"SENDFLAG", T::kInt}},
                        {"J01", "Y1", "BG1", "2011-05-02", "3", "12.50", std::nullopt,
                         "2011-05-02 08:31:15", "0", "1"}));
  // A trigger on the table reports its own count first.
  responder.AnswerExecute("delete from JCJG_RPTINFO  where JCDWBH=N'J01' and YPDBH=N'Y1' ", 1,
                          TdsReply().DoneInProc(4).Done(1, true));
  responder.Answer("select top 30 * from JCJG_GC_RPT where SENDFLAG=0 and JCDWBH=N'J01'",
                   Rows({{"JCDWBH", T::kVarChar},
                         {"YPDBH", T::kVarChar},
                         {"GCBH", T::kVarChar},
                         {"GCMC", T::kNText},
                         {"SENDFLAG", T::kInt}},
                        {"J01", "Y1", "G1", "新城小区3号楼", "0"}));
  responder.AnswerExecute("delete from JCJG_GC_RPT  where YPDBH=N'Y1' and GCBH=N'G1' ", 1);
  responder.Answer("select top 30 * from JCJG_ALTER where SENDFLAG=0 and JCDWBH=N'J01'",
                   Rows({{"JCDWBH", T::kVarChar},
                         {"YPDBH", T::kVarChar},
                         {"XGSJ", T::kDateTime2, 18, 7},
                         {"RWDBH", T::kVarChar},
                         {"SENDFLAG", T::kInt}},
                        {"J01", "Y1", "2011-05-02 09:00:00.0456789", "R1", "0"}));
  responder.AnswerExecute(
      "delete from JCJG_ALTER  where YPDBH=N'Y1' and XGSJ='2011-05-02 09:00:00.0456789' ", 1);
  responder.Answer(
      "select top 30 * from JCJG_AUTO where SENDFLAG=0 and JCDWBH=N'J01'",
      Rows({{"JCDWBH", T::kVarChar},
            {"RWDBH", T::kVarChar},
            {"SYSJ", T::kDateTime},
            {"CUSTOMSJ", T::kDateTime2, 18, 7},
            {"HZ", T::kReal},
            {"SENDFLAG", T::kInt}},
           {"J01", "R2", "2011-05-02 10:00:00.047", "2011-05-02 10:00:05.1230000", "1.5", "0"}));
  responder.AnswerExecute(
      "delete from JCJG_AUTO  where RWDBH=N'R2' and SYSJ='2011-05-02 10:00:00:047' and "
      "CUSTOMSJ='2011-05-02 10:00:05:123' ",
      1);
  responder.AnswerStartingWith(
      "update JCJG_CUSER set GUID = '",
      TdsReply().Done(1, true).Columns({{"", T::kInt}}).Row({"1"}).Done(1));

  UploadCycle cycle(relay, link, display, profile, [] {});
  cycle.RunUploadCycle();

  std::vector<std::string> statements = responder.Statements();
  ASSERT_EQ(statements.size(), 11u);
  std::string guid = server.CommandLines().back().substr(15);
  EXPECT_EQ(
      statements,
      (std::vector<std::string>{
          "select top 30 YPDBH,GCBH,ZJZBH,SJH,GCMC,JSDW,SGDW,JLDW from JCJG_RPTINFO where "
          "SENDFLAG=0 and JCDWBH=N'J01' ",
          "update JCJG_RPTINFO set SENDFLAG=1 where YPDBH=N'Y1' " + suffix,
          "select top 30 * from JCJG_RPTINFO where SENDFLAG=1 and JCDWBH=N'J01' ",
          "delete from JCJG_RPTINFO  where JCDWBH=N'J01' and YPDBH=N'Y1' " + suffix,
          "select top 30 * from JCJG_GC_RPT where SENDFLAG=0 and JCDWBH=N'J01'",
          "delete from JCJG_GC_RPT  where YPDBH=N'Y1' and GCBH=N'G1' " + suffix,
          "select top 30 * from JCJG_ALTER where SENDFLAG=0 and JCDWBH=N'J01'",
          "delete from JCJG_ALTER  where YPDBH=N'Y1' and XGSJ='2011-05-02 09:00:00.0456789' " +
              suffix,
          "select top 30 * from JCJG_AUTO where SENDFLAG=0 and JCDWBH=N'J01'",
          "delete from JCJG_AUTO  where RWDBH=N'R2' and SYSJ='2011-05-02 10:00:00:047' and "
          "CUSTOMSJ='2011-05-02 10:00:05:123' " +
              suffix,
          "update JCJG_CUSER set GUID = '" + guid + "' " + suffix}));
  // The statements for the server keep their plain literals.
  EXPECT_EQ(server.Statements().at(2),
            "insert into JCJG_JCDW_GC_RPT values ('J01','Y1','G1','新城小区3号楼','0')");
  std::size_t successes = 0;
  for (const std::string& line : display.logLines)
    successes += line.starts_with("√ ");
  EXPECT_EQ(successes, 4u);
  EXPECT_TRUE(display.logLines.back().ends_with(" 同步信息完成！"));
}

}  // namespace
}  // namespace pelvar::upload
