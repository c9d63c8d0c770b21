#include "cli/OperatorTools.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "cli/CliMessageBoxes.h"
#include "config/SettingsStore.h"
#include "platform/Clock.h"
#include "platform/Paths.h"
#include "platform/UploaderLock.h"
#include "text/Gbk.h"
#include "upload/Journal.h"
#include "upload/ProfileFromSettings.h"

namespace pelvar::cli {
namespace {

constexpr std::string_view kPhaseNames[] = {"projects", "reports", "report-projects",
                                            "modifications", "readings"};

std::string DayName(const text::DateTime& date) {
  char name[16];
  std::snprintf(name, sizeof name, "%04d%02d%02d.log", date.year, date.month, date.day);
  return name;
}

}  // namespace

std::optional<config::RunSettings> LoadOperatorSettings() {
  config::SettingsStore store;
  config::RunSettingsLoad load = store.LoadRunSettings();
  if (!load.settings) {
    CliMessageBoxes boxes;
    boxes.Show(load.failure, config::kMessageCaption, platform::MessageIcon::kNone);
  }
  return load.settings;
}

void ConnectRelay(relay::RelayConnection& relay, const config::RunSettings& settings) {
  relay.Configure(config::RelayParameters(settings));
  relay.Connect();
}

std::unique_ptr<RelaySession> OpenRelaySession() {
  std::optional<config::RunSettings> settings = LoadOperatorSettings();
  if (!settings)
    return nullptr;
  auto session = std::make_unique<RelaySession>();
  session->settings = *settings;
  session->profile = upload::ProfileFromSettings(*settings);
  ConnectRelay(session->relay, *settings);
  return session;
}

std::vector<std::string> RecentJournalLines(int days) {
  const text::DateTime now = platform::Now();
  const std::string first = DayName(text::DateTime::FromEpochMilliseconds(
      now.ToEpochMilliseconds() - std::int64_t{days - 1} * 24 * 3600 * 1000));
  const std::string last = DayName(now);
  std::vector<std::filesystem::path> files;
  std::error_code error;
  for (std::filesystem::recursive_directory_iterator it(platform::JournalBaseFolder(), error), end;
       !error && it != end; it.increment(error)) {
    const std::string name = it->path().filename().string();
    if (it->is_regular_file(error) && name.size() == first.size() && name >= first && name <= last)
      files.push_back(it->path());
  }
  std::sort(files.begin(), files.end(),
            [](const auto& a, const auto& b) { return a.filename() < b.filename(); });
  std::vector<std::string> lines;
  for (const auto& file : files) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    std::istringstream text(text::GbkToUtf8(bytes.str()));
    for (std::string line; std::getline(text, line);) {
      if (!line.empty() && line.back() == '\r')
        line.pop_back();
      lines.push_back(line);
    }
  }
  return lines;
}

LastCycle FindLastCycle(const std::vector<std::string>& journalLines) {
  // A cycle writes a stamped summary per reported phase, then a stamped
  // "同步！" line; refusals come before the summary of their phase.
  static const std::regex stamped(R"(^(\d{4}-\d{1,2}-\d{1,2} \d{1,2}:\d\d:\d\d) (.*)$)");
  LastCycle cycle;
  int refusedSince = 0;
  std::smatch match;
  for (const std::string& line : journalLines) {
    if (line.find(" 上传失败：") != std::string::npos) {
      ++refusedSince;
      continue;
    }
    if (!std::regex_match(line, match, stamped))
      continue;
    const std::string rest = match[2];
    const bool synchronised = rest == "同步！";
    if (!synchronised && rest.find("，成功：") == std::string::npos)
      continue;
    cycle.time = match[1];
    cycle.refused = refusedSince;
    cycle.completed = synchronised;
    if (synchronised)
      refusedSince = 0;
  }
  return cycle;
}

// "unknown" when the lock cannot be looked at (its folder missing, no access).
std::string UploaderLockState() {
  try {
    return platform::UploaderLock::UploaderRunning() ? "held" : "free";
  } catch (const std::exception&) {
    return "unknown";
  }
}

std::optional<upload::Phase> PhaseNamed(std::string_view name) {
  for (upload::Phase phase : upload::kPhaseOrder) {
    if (PhaseName(phase) == name)
      return phase;
  }
  return std::nullopt;
}

std::string_view PhaseName(upload::Phase phase) {
  return kPhaseNames[static_cast<int>(phase)];
}

std::string PhaseNames() {
  std::string names;
  for (std::string_view name : kPhaseNames)
    names += (names.empty() ? "" : "|") + std::string(name);
  return names;
}

std::string JsonString(std::string_view text) {
  std::string json = "\"";
  for (unsigned char c : text) {
    if (c == '"' || c == '\\') {
      json += '\\';
      json += static_cast<char>(c);
    } else if (c < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      json += escaped;
    } else {
      json += static_cast<char>(c);
    }
  }
  return json + "\"";
}

}  // namespace pelvar::cli
