#include "upload/UploadCycle.h"

#include <array>
#include <exception>
#include <string_view>

#include "net/CommError.h"
#include "platform/Clock.h"
#include "platform/Guid.h"
#include "relay/RelayConnection.h"
#include "text/Regional.h"
#include "text/Strings.h"
#include "upload/Protocol.h"
#include "upload/RelayTables.h"
#include "upload/Statements.h"

namespace pelvar::upload {
namespace {

using protocol::KeywordArgument;
using protocol::MatchesPrefixAnyCase;
using protocol::MatchesWholeLine;

constexpr int kLogLineLimit = 500;

std::string Stamp() {
  return text::TimeStamp(platform::Now());
}

}  // namespace

UploadCycle::UploadCycle(relay::RelayConnection& relay, ServerLink& link, Display& display,
                         const SiteProfile& profile, std::function<void()> pump)
    : relay_(relay), link_(link), display_(display), profile_(profile), pump_(std::move(pump)) {}

bool UploadCycle::RunUploadCycle() {
  outcome_ = CycleOutcome{};
  const bool gotThrough = RunCycleBody();
  outcome_.pending = CountPending();
  outcome_.time = platform::Now();
  display_.CycleFinished(outcome_);
  return gotThrough;
}

bool UploadCycle::RunCycleBody() {
  journal_.EnsureJournalFolder();
  if (display_.LogLineCount() > kLogLineLimit)
    display_.ClearLog();

  try {
    relay_.Disconnect();
    relay_.Connect();
    display_.SetLight(Light::kRelayDatabase, LightColour::kGreen);
  } catch (const std::exception& e) {
    display_.AppendLogLine(profile_.databaseKind + "数据库连接：" + e.what());
    display_.SetLight(Light::kRelayDatabase, LightColour::kRed);
    outcome_.relayReached = false;
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
      outcome_.serverReached = false;
      display_.AppendLogLine("请升级上传程序！");
      link_.CloseSession();
      return false;
    }
    journal_.OpenJournal();
    for (Phase phase : kPhaseOrder) {
      if (Describe(phase).reported) {
        display_.AppendLogLine(std::string(Describe(phase).heading));
        successCounter_ = 0;
      }
      RunPhase(phase);
    }
    SynchroniseIdentity();
    display_.SetLight(Light::kConnection, LightColour::kGray);
    journal_.CloseJournal();
    link_.CloseSession();
    return true;
  } catch (const CommError& e) {
    closeAll();
    display_.AppendLogLine(std::string("Communication Exception: ") + e.what());
    display_.SetLight(Light::kConnection, LightColour::kRed);
    outcome_.serverReached = false;
  } catch (const std::exception& e) {
    closeAll();
    outcome_.relayReached = false;
    display_.AppendLogLine(std::string("VCL Exception: ") + e.what());
    display_.SetLight(Light::kRelayDatabase, LightColour::kRed);
  }
  return false;
}

void UploadCycle::RunPhase(Phase phase) {
  db::Query& send = relay_.Select(BuildSelection(phase, profile_));
  if (send.IsEmptyResult())
    return;

  const PhaseDescription& description = Describe(phase);
  const int batchSize = send.RowCount();
  link_.SendCommandLine(std::string(protocol::kAnnounce) + std::to_string(batchSize));
  if (MatchesWholeLine(link_.ReadReplyLine(), protocol::kReady)) {
    while (!send.AtEnd()) {
      std::string statement = BuildUploadStatement(phase, send, profile_);
      std::string keyClause = BuildKeyClause(phase, send, profile_);
      link_.SendStatementFrame(statement);
      if (description.pumpsWhileWaiting && pump_)
        pump_();
      std::string reply = link_.ReadReplyLine();
      SettleRow(phase, send, reply, keyClause);
      send.Next();
    }
  }

  if (description.reported) {
    const std::string unit(description.unit);
    journal_.WriteJournalLine(Stamp() + " " + std::string(description.summaryHeading) +
                              std::to_string(batchSize) + " " + unit + "，成功：" +
                              std::to_string(successCounter_) + " " + unit);
  }
}

void UploadCycle::SettleRow(Phase phase, const db::Query& row, const std::string& reply,
                            const std::string& keyClause) {
  const PhaseDescription& description = Describe(phase);
  const bool accepted = MatchesWholeLine(reply, protocol::kAccepted);
  const bool rejected = !accepted && MatchesPrefixAnyCase(reply, protocol::kRejected);
  if (!description.settleSent.empty()) {
    // Any other reply (a passing failure, garbage) says nothing about the
    // row: it stays pending and goes again in a later cycle.
    if (accepted || rejected)
      RunOnRelay(std::string(description.settleSent) + keyClause);
    return;
  }
  if (accepted) {
    RunOnRelay(std::string(description.settleAccepted) + keyClause);
    if (relay_.AffectedRows() >= 1) {
      display_.AppendLogLine("√ " + RowColumns(row, description.successColumns) + " 上传成功！" +
                             Stamp());
      ++successCounter_;
      display_.RaiseSentCounter();
    } else {
      display_.AppendLogLine(std::string(description.maintenanceFailure) + Stamp());
    }
    return;
  }
  if (rejected) {
    std::string message(KeywordArgument(reply, protocol::kRejected));
    display_.AppendLogLine("× " + RowColumns(row, description.rejectionColumns) + " 上传失败：" +
                           message + " " + Stamp());
    journal_.WriteJournalLine(RowColumns(row, description.journalColumns) + " 上传失败：" +
                              message);
    const bool duplicate = message.find("PRIMARY") != std::string::npos;
    if (!duplicate)
      ++outcome_.refused;
    RunOnRelay(std::string(duplicate ? description.settleDuplicate : description.settleRejected) +
               keyClause);
  }
}

int UploadCycle::CountPending() {
  if (!outcome_.relayReached || !display_.ShowsPendingRows())
    return -1;
  try {
    int pending = 0;
    for (const std::string& count : BuildPendingCounts(profile_))
      pending += std::stoi(relay_.Select(count).FieldAt(0).AsString());
    return pending;
  } catch (const std::exception&) {
    // The count is for the tray only; the cycle has reported what failed.
    return -1;
  }
}

void UploadCycle::RunOnRelay(const std::string& statement) {
  relay_.Execute(statement);
}

void UploadCycle::SynchroniseIdentity() {
  journal_.WriteJournalLine(Stamp() + " 同步！");
  const std::string guid = platform::NewGuidText();
  link_.SendCommandLine(std::string(protocol::kGuid) + profile_.agencyNumber + " " + guid);
  const std::string reply = link_.ReadReplyLine();
  if (MatchesPrefixAnyCase(reply, protocol::kGuidAccepted)) {
    RunOnRelay("update JCJG_CUSER set GUID = '" + guid + "' ");
    if (relay_.AffectedRows() >= 1) {
      text::DateTime serverTime =
          text::ParseDateTime(KeywordArgument(reply, protocol::kGuidAccepted));
      platform::SetLocalTime(serverTime);
      display_.AppendLogLine(Stamp() + " 同步信息完成！");
    }
  } else if (MatchesPrefixAnyCase(reply, protocol::kGuidRefused)) {
    display_.AppendLogLine(Stamp() + " 同步信息失败(" +
                           std::string(KeywordArgument(reply, protocol::kGuidRefused)) + ")");
  }
}

}  // namespace pelvar::upload
