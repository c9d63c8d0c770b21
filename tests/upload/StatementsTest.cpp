#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/CycleTestBase.h"
#include "upload/Statements.h"

namespace pelvar::upload {
namespace {

class StatementsTest : public testing::CycleTestBase {
 protected:
  SiteProfile Profile(const std::string& agency, const std::string& kind) {
    SiteProfile profile = profile_;
    profile.agencyNumber = agency;
    profile.databaseKind = kind;
    return profile;
  }
};

// Every phase's selection, server statement and key clause, in both dialects.
TEST_F(StatementsTest, EveryPhaseInBothDialects) {
  struct Case {
    Phase phase;
    std::string relayRow;
    std::string mySqlSelection;
    std::string sqlServerSelection;
    std::string statement;
    std::string mySqlKey;
    std::string sqlServerKey;
  };
  const std::vector<Case> cases = {
      {Phase::kProjects,
       "insert into JCJG_RPTINFO (JCDWBH,YPDBH,GCBH,ZJZBH,SJH,GCMC,JSDW,SGDW,JLDW,SENDFLAG) "
       "values ('J01','Y0 ','G0','Z0','S0','楼',NULL,'施工','监理',0)",
       "select YPDBH,GCBH,ZJZBH,SJH,GCMC,JSDW,SGDW,JLDW from JCJG_RPTINFO where SENDFLAG=0 and "
       "JCDWBH='J01' limit 0,30",
       "select top 30 YPDBH,GCBH,ZJZBH,SJH,GCMC,JSDW,SGDW,JLDW from JCJG_RPTINFO where SENDFLAG=0 "
       "and JCDWBH=N'J01' ",
       "insert into JCJG_JCDW_GC values ('J01','G0','Z0','S0','楼','','施工','监理',7);",
       "YPDBH='Y0 ' ", "YPDBH=N'Y0 ' "},
      {Phase::kReports,
       "insert into JCJG_RPTINFO values ('J01','Y1','G1','Z1','S1','楼','建设','施工','监理','BG1',"
       "'2011-05-02','抗压','合格',3,12.50,NULL,'2011-05-02 08:31:15',1,1)",
       "select * from JCJG_RPTINFO where SENDFLAG=1 and JCDWBH='J01' limit 0,30",
       "select top 30 * from JCJG_RPTINFO where SENDFLAG=1 and JCDWBH=N'J01' ",
       "delete from JCJG_JCDW_RPTINFO where JCDWBH='J01' and YPDBH='Y1' ; delete from "
       "JCJG_JCDW_GC_RPT where JCDWBH='J01' and YPDBH='Y1' ; delete from JCJG_JCDW_ALTER where "
       "JCDWBH='J01' and YPDBH='Y1' ;insert into JCJG_JCDW_RPTINFO values ('J01','Y1','G1','Z1',"
       "'S1','楼','建设','施工','监理','BG1','2011-5-2','抗压','合格','3','12.5','0','2011-5-2 "
       "8:31:15','1','1',CURRENT_TIMESTAMP(),0 ,7);",
       "JCDWBH='J01' and YPDBH='Y1' ", "JCDWBH=N'J01' and YPDBH=N'Y1' "},
      {Phase::kReportProjectLinks, "insert into JCJG_GC_RPT values ('J01','Y1 ','G1','S1','楼',0)",
       "select * from JCJG_GC_RPT where SENDFLAG=0 and JCDWBH='J01' limit 0,30",
       "select top 30 * from JCJG_GC_RPT where SENDFLAG=0 and JCDWBH=N'J01'",
       "insert into JCJG_JCDW_GC_RPT values ('J01','Y1','G1','S1','楼','0')",
       "YPDBH='Y1 ' and GCBH='G1' ", "YPDBH=N'Y1 ' and GCBH=N'G1' "},
      {Phase::kModifications,
       "insert into JCJG_ALTER values ('J01','Y1','2011-05-02 09:00:00','R1','改',NULL,'张三',0)",
       "select * from JCJG_ALTER where SENDFLAG=0 and JCDWBH='J01' limit 0,30",
       "select top 30 * from JCJG_ALTER where SENDFLAG=0 and JCDWBH=N'J01'",
       "insert into JCJG_JCDW_ALTER values ('J01','Y1','2011-5-2 9:00:00','R1','改','','张三','0',"
       "CURRENT_TIMESTAMP(),0,7);",
       "YPDBH='Y1' and XGSJ='2011-5-2 9:00:00' ",
       "YPDBH=N'Y1' and XGSJ='2011-05-02 09:00:00:000' "},
      {Phase::kAutomaticReadings,
       "insert into JCJG_AUTO values ('J01','R2','2011-05-02 10:00:00','2011-05-02 10:00:05',"
       "'SB1','SJ1',1.5,NULL,NULL,0)",
       "select * from JCJG_AUTO where SENDFLAG=0 and JCDWBH='J01' limit 0,30",
       "select top 30 * from JCJG_AUTO where SENDFLAG=0 and JCDWBH=N'J01'",
       "insert into JCJG_JCDW_AUTO values ('J01','R2','2011-5-2 10:00:00','2011-5-2 10:00:05',"
       "'SB1','SJ1','1.5','0','0','0',CURRENT_TIMESTAMP(),0,7);",
       "RWDBH='R2' and SYSJ='2011-5-2 10:00:00' and CUSTOMSJ='2011-5-2 10:00:05' ",
       "RWDBH=N'R2' and SYSJ='2011-05-02 10:00:00:000' and CUSTOMSJ='2011-05-02 10:00:05:000' "},
  };
  const SiteProfile mySql = Profile("J01", "MySQL");
  const SiteProfile sqlServer = Profile("J01", "SQL Server");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mySqlSelection);
    database_->Run(c.relayRow);
    EXPECT_EQ(BuildSelection(c.phase, mySql), c.mySqlSelection);
    EXPECT_EQ(BuildSelection(c.phase, sqlServer), c.sqlServerSelection);
    db::Query& row = relay_.Select(c.mySqlSelection);
    ASSERT_EQ(row.RowCount(), 1);
    EXPECT_EQ(BuildUploadStatement(c.phase, row, mySql), c.statement);
    EXPECT_EQ(BuildUploadStatement(c.phase, row, sqlServer), c.statement);
    EXPECT_EQ(BuildKeyClause(c.phase, row, mySql), c.mySqlKey);
    EXPECT_EQ(BuildKeyClause(c.phase, row, sqlServer), c.sqlServerKey);
  }
}

TEST_F(StatementsTest, TextsFollowTheRowAndTheRelayKind) {
  database_->Run(
      "insert into JCJG_RPTINFO (JCDWBH,YPDBH,GCBH,ZJZBH,SJH,GCMC,JSDW,SGDW,JLDW,SENDFLAG) "
      "values ('J01',' Y1 ','G1','','  ',' ',NULL,'','\t',0)");
  db::Query& row = relay_.Select(BuildSelection(Phase::kProjects, profile_));
  EXPECT_EQ(BuildUploadStatement(Phase::kProjects, row, profile_),
            "insert into JCJG_JCDW_GC values ('J01','G1','','','','','','',7);");
  EXPECT_EQ(BuildKeyClause(Phase::kProjects, row, profile_), "YPDBH=' Y1 ' ");

  database_->Run(
      "insert into JCJG_AUTO values ('J01','R1','2011-05-02 14:07:09',NULL,NULL,NULL,NULL,NULL,"
      "NULL,0)");
  relay_.Select(BuildSelection(Phase::kAutomaticReadings, profile_));
  EXPECT_EQ(BuildValueList(row, ValueListMode::kNullAware),
            "'R1','2011-5-2 14:07:09','','','','0','0','0','0',");
  EXPECT_EQ(BuildValueList(row, ValueListMode::kPlain),
            "'R1','2011-5-2 14:07:09','','','','','','','0',");
  EXPECT_EQ(BuildKeyClause(Phase::kAutomaticReadings, row, profile_),
            "RWDBH='R1' and SYSJ='2011-5-2 14:07:09' and CUSTOMSJ IS NULL ");
  EXPECT_EQ(BuildKeyClause(Phase::kAutomaticReadings, row, Profile("J01", "SQL Server")),
            "RWDBH=N'R1' and SYSJ='2011-05-02 14:07:09:000' and CUSTOMSJ IS NULL ");

  EXPECT_EQ(BuildSelection(Phase::kReports, Profile("J'01", "SQL Server")),
            "select top 30 * from JCJG_RPTINFO where SENDFLAG=1 and JCDWBH=N'J''01' ");
  EXPECT_EQ(BuildSelection(Phase::kModifications, Profile("J\\01", "MySQL")),
            "select * from JCJG_ALTER where SENDFLAG=0 and JCDWBH='J\\\\01' limit 0,30");
}

}  // namespace
}  // namespace pelvar::upload
