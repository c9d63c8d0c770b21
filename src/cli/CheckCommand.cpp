#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>

#include "cli/Commands.h"
#include "cli/OperatorTools.h"
#include "config/SettingsStore.h"
#include "platform/Clock.h"
#include "platform/Paths.h"
#include "text/Strings.h"
#include "upload/ProfileFromSettings.h"
#include "upload/RelayTables.h"
#include "upload/ServerLink.h"

namespace pelvar::cli {
namespace {

// Free space the journal base folder must have.
constexpr std::uintmax_t kMinimumFreeBytes = 100ull * 1024 * 1024;

// A failed check: what is wrong and what the operator can do about it.
struct Failure {
  std::string reason;
  std::string remedy;
};
using Outcome = std::optional<Failure>;  // nothing: the check passed

struct State {
  std::optional<config::RunSettings> settings;
  relay::RelayConnection relay;
  bool relayConnected = false;
  std::string note;  // shown behind a passed check's name
};

Outcome NeedsSettings(const State& state) {
  if (!state.settings)
    return Failure{"设置不可用，未检查", "先解决第 1 项"};
  return std::nullopt;
}

Outcome NeedsRelay(const State& state) {
  if (!state.relayConnected)
    return Failure{"中转库不可用，未检查", "先解决第 2 项"};
  return std::nullopt;
}

Outcome CheckSettings(State& state) {
  config::SettingsStore store;
  const std::string remedy = "用设置对话框或 pelvar-cli setup 重新保存设置";
  if (!store.SettingsKeyExists())
    return Failure{std::string("设置键 ") + config::kSettingsKeyPath + " 不存在", remedy};
  std::string problems;
  auto note = [&](const std::string& problem) {
    problems += (problems.empty() ? "" : "；") + problem;
  };
  if (!store.OpenSettingsKey(false)) {
    return Failure{
        std::string("设置键 ") + config::kSettingsKeyPath + " 可读但不能修改（本账户无权保存设置）",
        "由管理员运行 pelvar-cli grant-operators（Linux：把本账户加入 pelvar 组）"};
  }
  for (const config::TextSetting* setting :
       {&config::kAgencyNumber, &config::kRemoteHost, &config::kDatabaseKind, &config::kDBHost,
        &config::kDBName, &config::kDBUser, &config::kDBPasswd, &config::kSiteCode,
        &config::kSiteName}) {
    try {
      store.Read(*setting);
    } catch (const std::exception& e) {
      note(e.what());
    }
  }
  std::int32_t scanTime = 0;
  for (const config::NumberSetting* setting :
       {&config::kScanTime, &config::kDBPort, &config::kRemotePort}) {
    try {
      std::int32_t value = store.Read(*setting);
      if (setting == &config::kScanTime)
        scanTime = value;
    } catch (const std::exception& e) {
      note(e.what());
    }
  }
  try {
    if (store.Exists(config::kIsAutoSend))
      store.Read(config::kIsAutoSend);
  } catch (const std::exception& e) {
    note(e.what());
  }
  std::string dwbh;
  try {
    dwbh = store.Read(config::kAgencyNumber);
  } catch (const std::exception&) {
  }
  store.CloseSettingsKey();
  if (problems.empty() && (scanTime < 60 || scanTime > 300))
    note("ScanTime " + std::to_string(scanTime) + " 不在 60–300 秒之内");
  if (dwbh.empty())
    note("Dwbh（检测单位编号）为空");
  for (unsigned char c : dwbh) {
    if (c < 0x20 || c == 0x7f) {
      note("Dwbh（检测单位编号）含有控制字符");
      break;
    }
  }
  if (!problems.empty())
    return Failure{problems, remedy};
  state.settings = LoadOperatorSettings();
  return std::nullopt;
}

Outcome CheckRelayConnection(State& state) {
  if (Outcome skipped = NeedsSettings(state))
    return skipped;
  try {
    ConnectRelay(state.relay, *state.settings);
    state.relayConnected = true;
    return std::nullopt;
  } catch (const std::exception& e) {
    return Failure{std::string("连接失败：") + e.what(),
                   "核对 DBType、DBHost、DBPort、DBName、DBUser、DBPasswd，并确认中转库服务已启动"};
  }
}

Outcome CheckRelayTables(State& state) {
  if (Outcome skipped = NeedsRelay(state))
    return skipped;
  std::string missing;
  for (const upload::RelayTable& table : upload::RelayTables()) {
    const db::Query* query = nullptr;
    try {
      query = &state.relay.Select("select * from " + std::string(table.name) + " where 1=0");
    } catch (const std::exception&) {
      missing += (missing.empty() ? "" : "，") + std::string("表 ") + std::string(table.name);
      continue;
    }
    for (const std::string& column : table.columns) {
      bool found = false;
      for (int i = 0; i < query->FieldCount() && !found; ++i)
        found = text::EqualsNoCase(query->FieldAt(i).Name(), column);
      if (!found)
        missing += (missing.empty() ? "" : "，") + std::string(table.name) + "." + column;
    }
  }
  if (missing.empty())
    return std::nullopt;
  return Failure{"缺少 " + missing, "按检测软件的中转库结构补建所缺的表和列"};
}

Outcome CheckIdentityRow(State& state) {
  if (Outcome skipped = NeedsRelay(state))
    return skipped;
  const db::Query* query = nullptr;
  try {
    query = &state.relay.Select("select * from " + std::string(upload::kIdentityTable));
  } catch (const std::exception& e) {
    return Failure{e.what(), "见第 3 项"};
  }
  const std::string remedy = "在设置对话框中保存一次设置（会写入检测单位编号）";
  if (query->IsEmptyResult())
    return Failure{"JCJG_CUSER 没有记录", remedy};
  const std::string recorded = query->FieldNamed("dwbh").AsString();
  const std::string& saved = state.settings->agencyNumber;
  if (recorded != saved)
    return Failure{"JCJG_CUSER 记录的检测单位编号为“" + recorded + "”，设置中为“" + saved + "”",
                   remedy};
  return std::nullopt;
}

Outcome CheckServer(State& state) {
  if (Outcome skipped = NeedsSettings(state))
    return skipped;
  upload::SiteProfile profile = upload::ProfileFromSettings(*state.settings);
  upload::ServerLink link;
  try {
    link.OpenSession(profile.serverHost, profile.serverPort);
    bool greeted = link.CheckGreeting();
    link.CloseSession();
    if (!greeted)
      return Failure{"服务器的问候不是 ZQJCJGSITE2",
                     "确认 RemoteHost/RemotePort 指向监管平台的上传服务"};
    return std::nullopt;
  } catch (const std::exception& e) {
    link.CloseSession();
    return Failure{std::string("无法连接 ") + profile.serverHost + ":" +
                       std::to_string(profile.serverPort) + "：" + e.what(),
                   "核对 RemoteHost、RemotePort 和本机网络"};
  }
}

Outcome CheckJournalFolder(State&) {
  const std::filesystem::path base = platform::JournalBaseFolder();
  std::error_code error;
  if (!std::filesystem::is_directory(base, error))
    return Failure{"日志文件夹 " + base.string() + " 不存在", "重新安装程序，或手工建立该文件夹"};
  // A probe file that is removed at once: the only way to know for sure.
  const std::filesystem::path probe = base / ".pelvar-check";
  bool writable = static_cast<bool>(std::ofstream(probe, std::ios::binary));
  std::filesystem::remove(probe, error);
  if (!writable)
    return Failure{"日志文件夹 " + base.string() + " 不可写", "给上传程序的用户该文件夹的写权限"};
  std::filesystem::space_info space = std::filesystem::space(base, error);
  if (error || space.available < kMinimumFreeBytes)
    return Failure{"日志文件夹所在磁盘剩余空间不足 100 MB", "清理该磁盘"};
  return std::nullopt;
}

Outcome CheckClock(State& state) {
  switch (platform::HowLocalTimeIsSet()) {
    case platform::ClockSetting::kSystemClock:
      state.note = "（可以设置本机时钟）";
      return std::nullopt;
    case platform::ClockSetting::kOffset:
      state.note = "（偏移模式：时钟不改动，时间差保存在机器前缀中）";
      return std::nullopt;
    case platform::ClockSetting::kNotPermitted:
      break;
  }
  return Failure{"没有设置本机时钟的权限，服务器时间不会被采用",
                 "以有权设置时钟的用户运行上传程序（Windows：由管理员运行 pelvar-cli "
                 "grant-operators --clock）"};
}

// The reason on one line, without a closing full stop of its own.
std::string OneLine(std::string text) {
  for (char& c : text) {
    if (c == '\n' || c == '\r')
      c = ' ';
  }
  while (!text.empty() && (text.back() == '.' || text.back() == ' '))
    text.pop_back();
  return text;
}

struct Check {
  const char* name;
  Outcome (*run)(State&);
};

constexpr Check kChecks[] = {
    {"设置项 (settings)", CheckSettings},
    {"中转库连接 (relay connection)", CheckRelayConnection},
    {"中转库表 (relay tables)", CheckRelayTables},
    {"单位记录 (JCJG_CUSER)", CheckIdentityRow},
    {"监管服务器 (supervision server)", CheckServer},
    {"日志文件夹 (journal folder)", CheckJournalFolder},
    {"时钟 (clock)", CheckClock},
};

}  // namespace

int CheckCommand(const std::vector<std::string>& arguments) {
  if (!arguments.empty()) {
    std::fputs("usage: pelvar-cli check\n", stderr);
    return 2;
  }
  State state;
  bool allPassed = true;
  int number = 0;
  for (const Check& check : kChecks) {
    ++number;
    state.note.clear();
    Outcome failure = check.run(state);
    if (!failure) {
      std::printf("ok   %d %s%s\n", number, check.name, state.note.c_str());
    } else {
      allPassed = false;
      std::printf("FAIL %d %s：%s。处理：%s。\n", number, check.name,
                  OneLine(failure->reason).c_str(), failure->remedy.c_str());
    }
    std::fflush(stdout);
  }
  if (state.relayConnected)
    state.relay.Disconnect();
  return allPassed ? 0 : 1;
}

}  // namespace pelvar::cli
