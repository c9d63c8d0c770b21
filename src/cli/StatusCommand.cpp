#include <cstdio>
#include <map>
#include <string>
#include <utility>

#include "cli/Commands.h"
#include "cli/OperatorTools.h"
#include "text/Regional.h"
#include "upload/Journal.h"
#include "upload/RelayTables.h"

namespace pelvar::cli {
namespace {

struct Counts {
  long long pending = 0;
  long long projectSent = 0;
  long long duplicate = 0;
  long long refused = 0;
};

// (table, agency) -> counts, in table order then agency order.
using TableCounts = std::vector<std::pair<std::string, std::map<std::string, Counts>>>;

TableCounts CountStates(relay::RelayConnection& relay) {
  TableCounts tables;
  for (const upload::RelayTable& table : upload::RelayTables()) {
    if (table.name == upload::kIdentityTable)
      continue;
    auto& agencies =
        tables.emplace_back(std::string(table.name), std::map<std::string, Counts>()).second;
    db::Query& query = relay.Select(upload::BuildStateCounts(table.name));
    for (; !query.AtEnd(); query.Next()) {
      Counts& counts = agencies[query.FieldAt(0).AsString()];
      long long count = std::stoll(query.FieldAt(2).AsString());
      switch (query.FieldAt(1).AsInteger()) {
        case upload::kPending:
          counts.pending += count;
          break;
        case upload::kProjectSent:
          counts.projectSent += count;
          break;
        case upload::kRefusedDuplicate:
          counts.duplicate += count;
          break;
        case upload::kRefused:
          counts.refused += count;
          break;
        default:
          break;
      }
    }
  }
  return tables;
}

}  // namespace

int StatusCommand(const std::vector<std::string>& arguments) {
  bool json = false;
  for (const std::string& argument : arguments) {
    if (argument == "--json") {
      json = true;
    } else {
      std::fputs("usage: pelvar-cli status [--json]\n", stderr);
      return 2;
    }
  }
  std::optional<config::RunSettings> settings = LoadOperatorSettings();
  if (!settings)
    return 1;
  relay::RelayConnection relay;
  TableCounts tables;
  std::string relayError;
  try {
    ConnectRelay(relay, *settings);
    tables = CountStates(relay);
    relay.Disconnect();
  } catch (const std::exception& e) {
    relayError = e.what();
  }
  const LastCycle last = FindLastCycle(RecentJournalLines(kJournalSearchDays));
  const std::string lock = UploaderLockState();

  if (json) {
    std::string out = "{\"agency\":" + JsonString(settings->agencyNumber) +
                      ",\"relay\":{\"reachable\":" + (relayError.empty() ? "true" : "false") +
                      ",\"error\":" + JsonString(relayError) + "},\"tables\":[";
    bool first = true;
    for (const auto& [table, agencies] : tables) {
      for (const auto& [agency, counts] : agencies) {
        out += first ? "" : ",";
        first = false;
        out += "{\"table\":" + JsonString(table) + ",\"agency\":" + JsonString(agency) +
               ",\"pending\":" + std::to_string(counts.pending) +
               ",\"projectSent\":" + std::to_string(counts.projectSent) +
               ",\"duplicate\":" + std::to_string(counts.duplicate) +
               ",\"refused\":" + std::to_string(counts.refused) + "}";
      }
    }
    out += "],\"lastCycle\":";
    if (last.time.empty()) {
      out += "null";
    } else {
      out += "{\"time\":" + JsonString(last.time) +
             ",\"outcome\":" + JsonString(last.completed ? "completed" : "interrupted") +
             ",\"refused\":" + std::to_string(last.refused) + "}";
    }
    out += ",\"uploaderLock\":" + JsonString(lock) + "}\n";
    std::fputs(out.c_str(), stdout);
    return relayError.empty() ? 0 : 1;
  }

  std::printf("检测单位编号: %s\n", settings->agencyNumber.c_str());
  if (!relayError.empty()) {
    std::printf("中转库: 无法连接（%s）\n", relayError.c_str());
  } else {
    std::printf("%-14s %-10s %10s %10s %10s %10s\n", "表", "单位", "待上传(0)", "已送工程(1)",
                "重复(10)", "被拒(100)");
    for (const auto& [table, agencies] : tables) {
      for (const auto& [agency, counts] : agencies) {
        std::printf("%-14s %-10s %10lld %10lld %10lld %10lld\n", table.c_str(), agency.c_str(),
                    counts.pending, counts.projectSent, counts.duplicate, counts.refused);
      }
    }
  }
  if (last.time.empty()) {
    std::printf("上次上传周期: 近 %d 天的日志中没有\n", kJournalSearchDays);
  } else {
    std::printf("上次上传周期: %s %s，拒绝 %d 行\n", last.time.c_str(),
                last.completed ? "完成" : "未完成", last.refused);
  }
  std::printf("上传锁: %s\n", lock == "held"   ? "已被上传程序持有"
                              : lock == "free" ? "空闲（没有上传程序在运行）"
                                               : "未知");
  return relayError.empty() ? 0 : 1;
}

}  // namespace pelvar::cli
