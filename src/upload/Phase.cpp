#include "upload/Phase.h"

namespace pelvar::upload {
namespace {

constexpr PhaseDescription kProjects = {
    .relayTable = "JCJG_RPTINFO",
    .serverTable = "JCJG_JCDW_GC",
    .mySqlSelection = {"select YPDBH,GCBH,ZJZBH,SJH,GCMC,JSDW,SGDW,JLDW from JCJG_RPTINFO "
                       "where SENDFLAG=0 and JCDWBH='",
                       "' limit 0,30"},
    .sqlServerSelection = {"select top 30 YPDBH,GCBH,ZJZBH,SJH,GCMC,JSDW,SGDW,JLDW from "
                           "JCJG_RPTINFO where SENDFLAG=0 and JCDWBH=N'",
                           "' "},
    .keyColumns = {{{"YPDBH", KeyForm::kTrimmed}}},
    .nullAwareValues = false,
    .dropsLastComma = false,
    .valuesTail = "",
    .withSiteCode = true,
    .revisionTables = {},
    .settleSent = "update JCJG_RPTINFO set SENDFLAG=1 where ",
    .settleAccepted = "",
    .settleDuplicate = "",
    .settleRejected = "",
    .reported = false,
    .pumpsWhileWaiting = false,
    .heading = "",
    .summaryHeading = "",
    .unit = "",
    .maintenanceFailure = "",
    .successColumns = {},
    .rejectionColumns = {},
    .journalColumns = {},
};

constexpr PhaseDescription kReports = {
    .relayTable = "JCJG_RPTINFO",
    .serverTable = "JCJG_JCDW_RPTINFO",
    .mySqlSelection = {"select * from JCJG_RPTINFO where SENDFLAG=1 and JCDWBH='", "' limit 0,30"},
    .sqlServerSelection = {"select top 30 * from JCJG_RPTINFO where SENDFLAG=1 and JCDWBH=N'",
                           "' "},
    .keyColumns = {{{"JCDWBH", KeyForm::kAgency}, {"YPDBH", KeyForm::kTrimmed}}},
    .nullAwareValues = true,
    .dropsLastComma = false,
    .valuesTail = "CURRENT_TIMESTAMP(),0 ,",
    .withSiteCode = true,
    .revisionTables = {"JCJG_JCDW_RPTINFO", "JCJG_JCDW_GC_RPT", "JCJG_JCDW_ALTER"},
    .settleSent = "",
    .settleAccepted = "delete from JCJG_RPTINFO  where ",
    .settleDuplicate = "update JCJG_RPTINFO set SENDFLAG=10 where ",
    .settleRejected = "update JCJG_RPTINFO set SENDFLAG=100 where ",
    .reported = true,
    .pumpsWhileWaiting = false,
    .heading = "上传检测报告信息记录：",
    .summaryHeading = "上传检测报告信息：",
    .unit = "份",
    .maintenanceFailure = "×维护本地已上传的报告信息失败。",
    .successColumns = {"BGBH"},
    .rejectionColumns = {"BGBH"},
    .journalColumns = {"BGRQ", "BGBH"},
};

constexpr PhaseDescription kReportProjectLinks = {
    .relayTable = "JCJG_GC_RPT",
    .serverTable = "JCJG_JCDW_GC_RPT",
    .mySqlSelection = {"select * from JCJG_GC_RPT where SENDFLAG=0 and JCDWBH='", "' limit 0,30"},
    .sqlServerSelection = {"select top 30 * from JCJG_GC_RPT where SENDFLAG=0 and JCDWBH=N'", "'"},
    .keyColumns = {{{"YPDBH", KeyForm::kUntrimmed}, {"GCBH", KeyForm::kUntrimmed}}},
    .nullAwareValues = true,
    .dropsLastComma = true,
    .valuesTail = "",
    .withSiteCode = false,
    .revisionTables = {},
    .settleSent = "",
    .settleAccepted = "delete from JCJG_GC_RPT  where ",
    .settleDuplicate = "update JCJG_GC_RPT set SENDFLAG=10 where ",
    .settleRejected = "update JCJG_GC_RPT set SENDFLAG=100 where ",
    .reported = true,
    .pumpsWhileWaiting = true,
    .heading = "上传检测报告适用工程记录：",
    .summaryHeading = "上传检测报告适用工程记录：",
    .unit = "条",
    .maintenanceFailure = "×维护本地已上传的工程报告信息失败。",
    .successColumns = {"GCMC"},
    .rejectionColumns = {"GCMC"},
    .journalColumns = {"SJH", "GCMC"},
};

constexpr PhaseDescription kModifications = {
    .relayTable = "JCJG_ALTER",
    .serverTable = "JCJG_JCDW_ALTER",
    .mySqlSelection = {"select * from JCJG_ALTER where SENDFLAG=0 and JCDWBH='", "' limit 0,30"},
    .sqlServerSelection = {"select top 30 * from JCJG_ALTER where SENDFLAG=0 and JCDWBH=N'", "'"},
    .keyColumns = {{{"YPDBH", KeyForm::kUntrimmed}, {"XGSJ", KeyForm::kDateTime}}},
    .nullAwareValues = true,
    .dropsLastComma = false,
    .valuesTail = "CURRENT_TIMESTAMP(),0,",
    .withSiteCode = true,
    .revisionTables = {},
    .settleSent = "",
    .settleAccepted = "delete from JCJG_ALTER  where ",
    .settleDuplicate = "update JCJG_ALTER set SENDFLAG=10 where ",
    .settleRejected = "update JCJG_ALTER set SENDFLAG=100 where ",
    .reported = true,
    .pumpsWhileWaiting = true,
    .heading = "上传修改记录：",
    .summaryHeading = "上传修改记录：",
    .unit = "条",
    .maintenanceFailure = "×维护已上传的修改记录失败。",
    .successColumns = {"RWDBH", "XGSJ"},
    .rejectionColumns = {"RWDBH"},
    .journalColumns = {"RWDBH", "XGSJ"},
};

constexpr PhaseDescription kAutomaticReadings = {
    .relayTable = "JCJG_AUTO",
    .serverTable = "JCJG_JCDW_AUTO",
    .mySqlSelection = {"select * from JCJG_AUTO where SENDFLAG=0 and JCDWBH='", "' limit 0,30"},
    .sqlServerSelection = {"select top 30 * from JCJG_AUTO where SENDFLAG=0 and JCDWBH=N'", "'"},
    .keyColumns = {{{"RWDBH", KeyForm::kUntrimmed},
                    {"SYSJ", KeyForm::kDateTime},
                    {"CUSTOMSJ", KeyForm::kDateTime}}},
    .nullAwareValues = true,
    .dropsLastComma = false,
    .valuesTail = "CURRENT_TIMESTAMP(),0,",
    .withSiteCode = true,
    .revisionTables = {},
    .settleSent = "",
    .settleAccepted = "delete from JCJG_AUTO  where ",
    .settleDuplicate = "update JCJG_AUTO set SENDFLAG=10 where ",
    .settleRejected = "update JCJG_AUTO set SENDFLAG=100 where ",
    .reported = true,
    .pumpsWhileWaiting = true,
    .heading = "上传自动采集记录：",
    .summaryHeading = "上传自动采集记录：",
    .unit = "条",
    .maintenanceFailure = "×维护已上传的自动采集数据失败。",
    .successColumns = {"RWDBH", "SYSJ"},
    .rejectionColumns = {"RWDBH", "SYSJ"},
    .journalColumns = {"RWDBH", "SYSJ"},
};

}  // namespace

const PhaseDescription& Describe(Phase phase) {
  switch (phase) {
    case Phase::kProjects:
      return kProjects;
    case Phase::kReports:
      return kReports;
    case Phase::kReportProjectLinks:
      return kReportProjectLinks;
    case Phase::kModifications:
      return kModifications;
    case Phase::kAutomaticReadings:
      break;
  }
  return kAutomaticReadings;
}

}  // namespace pelvar::upload
