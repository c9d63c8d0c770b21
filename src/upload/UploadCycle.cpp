#include "upload/UploadCycle.h"

#include <exception>

#include "net/CommError.h"
#include "platform/Clock.h"
#include "platform/Guid.h"
#include "relay/RelayConnection.h"
#include "text/Regional.h"
#include "text/Strings.h"
#include "upload/Keywords.h"
#include "upload/Statements.h"

namespace pelvar::upload {
namespace {

constexpr int kLogLineLimit = 500;

std::string Stamp() {
  return text::TimeStamp(platform::Now());
}

std::string Column(const db::Query& row, const char* name) {
  return row.FieldNamed(name).AsString();
}

// What the phases write, apart from statements.
struct PhaseTexts {
  const char* relayTable;
  const char* heading;             // log view, before the phase
  const char* summaryHeading;      // journal table summary
  const char* unit;                // 份 or 条
  const char* maintenanceFailure;  // log view, accepted row not deleted
};

PhaseTexts TextsOf(Phase phase) {
  switch (phase) {
    case Phase::kProjects:
      return {"JCJG_RPTINFO", "", "", "", ""};
    case Phase::kReports:
      return {"JCJG_RPTINFO", "上传检测报告信息记录：", "上传检测报告信息：", "份",
              "×维护本地已上传的报告信息失败。"};
    case Phase::kReportProjectLinks:
      return {"JCJG_GC_RPT", "上传检测报告适用工程记录：", "上传检测报告适用工程记录：", "条",
              "×维护本地已上传的工程报告信息失败。"};
    case Phase::kModifications:
      return {"JCJG_ALTER", "上传修改记录：", "上传修改记录：", "条",
              "×维护已上传的修改记录失败。"};
    case Phase::kAutomaticReadings:
      return {"JCJG_AUTO", "上传自动采集记录：", "上传自动采集记录：", "条",
              "×维护已上传的自动采集数据失败。"};
  }
  return {};
}

std::string SuccessLine(Phase phase, const db::Query& row) {
  switch (phase) {
    case Phase::kReports:
      return "√ " + Column(row, "BGBH") + " 上传成功！" + Stamp();
    case Phase::kReportProjectLinks:
      return "√ " + Column(row, "GCMC") + " 上传成功！" + Stamp();
    case Phase::kModifications:
      return "√ " + Column(row, "RWDBH") + " " + Column(row, "XGSJ") + " 上传成功！" + Stamp();
    case Phase::kAutomaticReadings:
      return "√ " + Column(row, "RWDBH") + " " + Column(row, "SYSJ") + " 上传成功！" + Stamp();
    case Phase::kProjects:
      break;
  }
  return {};
}

std::string RejectionLogLine(Phase phase, const db::Query& row, const std::string& message) {
  std::string subject;
  switch (phase) {
    case Phase::kReports:
      subject = Column(row, "BGBH");
      break;
    case Phase::kReportProjectLinks:
      subject = Column(row, "GCMC");
      break;
    case Phase::kModifications:
      subject = Column(row, "RWDBH");
      break;
    case Phase::kAutomaticReadings:
      subject = Column(row, "RWDBH") + " " + Column(row, "SYSJ");
      break;
    case Phase::kProjects:
      break;
  }
  return "× " + subject + " 上传失败：" + message + " " + Stamp();
}

std::string RejectionJournalLine(Phase phase, const db::Query& row, const std::string& message) {
  std::string first;
  std::string second;
  switch (phase) {
    case Phase::kReports:
      first = Column(row, "BGRQ");
      second = Column(row, "BGBH");
      break;
    case Phase::kReportProjectLinks:
      first = Column(row, "SJH");
      second = Column(row, "GCMC");
      break;
    case Phase::kModifications:
      first = Column(row, "RWDBH");
      second = Column(row, "XGSJ");
      break;
    case Phase::kAutomaticReadings:
      first = Column(row, "RWDBH");
      second = Column(row, "SYSJ");
      break;
    case Phase::kProjects:
      break;
  }
  return first + " " + second + " 上传失败：" + message;
}

}  // namespace

UploadCycle::UploadCycle(relay::RelayConnection& relay, ServerLink& link, Display& display,
                         const SiteProfile& profile, std::function<void()> pump)
    : relay_(relay), link_(link), display_(display), profile_(profile), pump_(std::move(pump)) {}

void UploadCycle::RunUploadCycle() {
  journal_.EnsureJournalFolder();
  if (display_.LogLineCount() > kLogLineLimit)
    display_.ClearLog();

  try {
    if (relay_.UniConn.Connected())
      relay_.UniConn.Disconnect();
    relay_.UniConn.Connect();
    display_.SetLight(Light::kRelayDatabase, LightColour::kGreen);
  } catch (const std::exception& e) {
    display_.AppendLogLine(profile_.databaseKind + "数据库连接：" + e.what());
    display_.SetLight(Light::kRelayDatabase, LightColour::kRed);
  }

  // Whatever the way out, the journal is closed before the session.
  auto closeAll = [this] {
    journal_.CloseJournal();
    link_.CloseSession();
  };
  try {
    link_.OpenSession(profile_.serverHost, profile_.serverPort);
    display_.SetLight(Light::kConnection, LightColour::kGreen);
    if (!link_.CheckGreeting()) {
      display_.AppendLogLine("请升级上传程序！");
      link_.CloseSession();
      return;
    }
    journal_.OpenJournal();
    for (Phase phase : kPhaseOrder) {
      if (phase != Phase::kProjects) {
        display_.AppendLogLine(TextsOf(phase).heading);
        successCounter_ = 0;
      }
      RunPhase(phase);
    }
    SynchroniseIdentity();
    display_.SetLight(Light::kConnection, LightColour::kGray);
    journal_.CloseJournal();
    link_.CloseSession();
  } catch (const CommError& e) {
    closeAll();
    display_.AppendLogLine(std::string("Communication Exception: ") + e.what());
    display_.SetLight(Light::kConnection, LightColour::kRed);
  } catch (const std::exception& e) {
    closeAll();
    display_.AppendLogLine(std::string("VCL Exception: ") + e.what());
    display_.SetLight(Light::kRelayDatabase, LightColour::kRed);
  }
}

void UploadCycle::RunPhase(Phase phase) {
  db::Query& send = relay_.UniSend;
  send.Close();
  send.SetText(BuildSelection(phase, profile_.agencyNumber, profile_.databaseKind));
  send.Open();
  if (send.IsEmptyResult())
    return;

  const int batchSize = send.RowCount();
  link_.SendCommandLine(std::string(kAnnounce) + std::to_string(batchSize));
  if (link_.ReadReplyLine() == kReady) {
    while (!send.AtEnd()) {
      std::string statement =
          BuildUploadStatement(phase, send, profile_.agencyNumber, profile_.siteCode);
      std::string keyClause =
          BuildKeyClause(phase, send, profile_.agencyNumber, profile_.databaseKind);
      link_.SendStatementFrame(statement);
      if (phase >= Phase::kReportProjectLinks && pump_)
        pump_();
      std::string reply = link_.ReadReplyLine();
      SettleRow(phase, reply, keyClause);
      send.Next();
    }
  }

  if (phase != Phase::kProjects) {
    PhaseTexts texts = TextsOf(phase);
    journal_.WriteJournalLine(Stamp() + " " + texts.summaryHeading + std::to_string(batchSize) +
                              " " + texts.unit + "，成功：" + std::to_string(successCounter_) +
                              " " + texts.unit);
  }
}

void UploadCycle::SettleRow(Phase phase, const std::string& reply, const std::string& keyClause) {
  const db::Query& row = relay_.UniSend;
  const std::string table = TextsOf(phase).relayTable;
  if (phase == Phase::kProjects) {
    RunOnRelay("update JCJG_RPTINFO set SENDFLAG=1 where " + keyClause);
    return;
  }
  if (reply == kAccepted) {
    RunOnRelay("delete from " + table + "  where " + keyClause);
    if (relay_.UniRunSQL.AffectedRows() >= 1) {
      display_.AppendLogLine(SuccessLine(phase, row));
      ++successCounter_;
      display_.RaiseSentCounter();
    } else {
      display_.AppendLogLine(TextsOf(phase).maintenanceFailure + Stamp());
    }
    return;
  }
  if (text::StartsWithNoCase(reply, kRejected)) {
    std::string message = reply.substr(std::string_view(kRejected).size());
    display_.AppendLogLine(RejectionLogLine(phase, row, message));
    journal_.WriteJournalLine(RejectionJournalLine(phase, row, message));
    const char* state = message.find("PRIMARY") != std::string::npos ? "10" : "100";
    RunOnRelay("update " + table + " set SENDFLAG=" + state + " where " + keyClause);
  }
}

void UploadCycle::RunOnRelay(const std::string& statement) {
  relay_.UniRunSQL.SetText(statement);
  relay_.UniRunSQL.Execute();
}

void UploadCycle::SynchroniseIdentity() {
  journal_.WriteJournalLine(Stamp() + " 同步！");
  const std::string guid = platform::NewGuidText();
  link_.SendCommandLine(std::string(kGuid) + profile_.agencyNumber + " " + guid);
  const std::string reply = link_.ReadReplyLine();
  if (text::StartsWithNoCase(reply, kGuidAccepted)) {
    RunOnRelay("update JCJG_CUSER set GUID = '" + guid + "' ");
    if (relay_.UniRunSQL.AffectedRows() >= 1) {
      text::DateTime serverTime =
          text::ParseDateTime(reply.substr(std::string_view(kGuidAccepted).size()));
      platform::SetLocalTime(serverTime);
      display_.AppendLogLine(Stamp() + " 同步信息完成！");
    }
  } else if (text::StartsWithNoCase(reply, kGuidRefused)) {
    display_.AppendLogLine(Stamp() + " 同步信息失败(" +
                           reply.substr(std::string_view(kGuidRefused).size()) + ")");
  }
}

}  // namespace pelvar::upload
