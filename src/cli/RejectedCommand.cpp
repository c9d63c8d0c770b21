#include <cstdio>
#include <iostream>
#include <optional>
#include <string>

#include "cli/Commands.h"
#include "cli/OperatorTools.h"
#include "platform/Clock.h"
#include "text/Regional.h"
#include "upload/Journal.h"
#include "upload/RelayTables.h"
#include "upload/Statements.h"

namespace pelvar::cli {
namespace {

std::optional<int> FlagNamed(const std::string& text) {
  if (text == "10")
    return upload::kRefusedDuplicate;
  if (text == "100")
    return upload::kRefused;
  return std::nullopt;
}

std::vector<int> Flags(std::optional<int> flag) {
  if (flag)
    return {*flag};
  return {upload::kRefusedDuplicate, upload::kRefused};
}

std::string Joined(const std::vector<std::string>& values) {
  std::string joined;
  for (const std::string& value : values)
    joined += (joined.empty() ? "" : " ") + value;
  return joined;
}

// The most recent journal line about the row's refusal: the line the cycle
// wrote for it (its journal columns, then " 上传失败："), or else one that
// names every key value.
std::string RefusalLine(const std::vector<std::string>& journal, const std::string& prefix,
                        const std::vector<std::string>& keys) {
  for (auto line = journal.rbegin(); line != journal.rend(); ++line) {
    if (line->find(" 上传失败：") == std::string::npos)
      continue;
    if (line->rfind(prefix + " 上传失败：", 0) == 0)
      return *line;
    bool named = true;
    for (const std::string& key : keys)
      named = named && line->find(key) != std::string::npos;
    if (named)
      return *line;
  }
  return {};
}

}  // namespace

int RejectedCommand(const std::vector<std::string>& arguments) {
  std::optional<upload::RelayTable> only;
  std::optional<int> flag;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    bool hasValue = i + 1 < arguments.size();
    if (arguments[i] == "--table" && hasValue &&
        (only = upload::FindSendingTable(arguments[i + 1]))) {
      ++i;
    } else if (arguments[i] == "--flag" && hasValue && (flag = FlagNamed(arguments[i + 1]))) {
      ++i;
    } else {
      std::fputs("usage: pelvar-cli rejected [--table T] [--flag 10|100]\n", stderr);
      return 2;
    }
  }
  std::unique_ptr<RelaySession> session = OpenRelaySession();
  if (!session)
    return 1;
  const upload::SiteProfile& profile = session->profile;
  relay::RelayConnection& relay = session->relay;
  const std::vector<std::string> journal = RecentJournalLines(kJournalSearchDays);
  int listed = 0;
  for (const upload::RelayTable& table : upload::RelayTables()) {
    if (table.name == upload::kIdentityTable || (only && only->name != table.name))
      continue;
    const upload::Phase phase = table.settlingPhase;
    db::Query& query = relay.Select(upload::BuildStateSelection(phase, Flags(flag), profile));
    for (; !query.AtEnd(); query.Next()) {
      const std::vector<std::string> keys = upload::KeyValues(phase, query, profile);
      std::string line = RefusalLine(
          journal, upload::RowColumns(query, upload::Describe(phase).journalColumns), keys);
      std::printf("%s\t%s\t%d\t%s\n", std::string(table.name).c_str(), Joined(keys).c_str(),
                  query.FieldNamed("SENDFLAG").AsInteger(),
                  line.empty() ? "（近 62 天的日志中没有记录）" : line.c_str());
      ++listed;
    }
  }
  relay.Disconnect();
  std::printf("共 %d 行被拒\n", listed);
  return 0;
}

int RequeueCommand(const std::vector<std::string>& arguments) {
  std::optional<upload::RelayTable> table;
  std::optional<int> flag;
  std::vector<std::string> key;
  bool all = false;
  bool yes = false;
  bool wrong = false;
  for (std::size_t i = 0; i < arguments.size() && !wrong; ++i) {
    bool hasValue = i + 1 < arguments.size();
    if (arguments[i] == "--table" && hasValue &&
        (table = upload::FindSendingTable(arguments[i + 1]))) {
      ++i;
    } else if (arguments[i] == "--flag" && hasValue && (flag = FlagNamed(arguments[i + 1]))) {
      ++i;
    } else if (arguments[i] == "--key" && hasValue) {
      while (i + 1 < arguments.size() && arguments[i + 1].rfind("--", 0) != 0)
        key.push_back(arguments[++i]);
    } else if (arguments[i] == "--all") {
      all = true;
    } else if (arguments[i] == "--yes") {
      yes = true;
    } else {
      wrong = true;
    }
  }
  const int choices = (key.empty() ? 0 : 1) + (flag ? 1 : 0) + (all ? 1 : 0);
  if (wrong || !table || choices != 1) {
    std::fputs(
        "usage: pelvar-cli requeue --table T (--key VALUE... | --flag 10|100 | --all) "
        "[--yes]\n",
        stderr);
    return 2;
  }
  const upload::Phase phase = table->settlingPhase;
  if (key.size() > upload::KeyColumnNames(phase).size()) {
    std::fprintf(stderr, "%s 的键只有 %zu 列：%s\n", std::string(table->name).c_str(),
                 upload::KeyColumnNames(phase).size(),
                 Joined(upload::KeyColumnNames(phase)).c_str());
    return 2;
  }
  std::unique_ptr<RelaySession> session = OpenRelaySession();
  if (!session)
    return 1;
  const upload::SiteProfile& profile = session->profile;
  relay::RelayConnection& relay = session->relay;

  // The rows are chosen first and then set back one by one through the
  // cycle's own key clause, so both dialects find them as the cycle does.
  db::Query& rows = relay.Select(upload::BuildStateSelection(phase, Flags(flag), profile));
  std::vector<std::string> updates;
  for (; !rows.AtEnd(); rows.Next()) {
    const std::vector<std::string> values = upload::KeyValues(phase, rows, profile);
    bool matches = true;
    for (std::size_t k = 0; k < key.size(); ++k)
      matches = matches && values[k] == key[k];
    if (matches) {
      updates.push_back(
          upload::BuildRequeue(phase, rows, rows.FieldNamed("SENDFLAG").AsInteger(), profile));
    }
  }
  std::printf("将把 %s 中 %zu 行设回待上传(0)。\n", std::string(table->name).c_str(),
              updates.size());
  if (updates.empty())
    return 0;
  if (!yes) {
    std::printf("继续吗？[y/N] ");
    std::fflush(stdout);
    std::string answer;
    std::getline(std::cin, answer);
    if (answer != "y" && answer != "Y" && answer != "yes") {
      std::printf("未作改动。\n");
      return 1;
    }
  }
  long long changed = 0;
  for (const std::string& update : updates) {
    relay.Execute(update);
    changed += relay.AffectedRows();
  }
  relay.Disconnect();

  upload::Journal::EnsureJournalFolder();
  upload::Journal journal;
  journal.OpenJournal();
  journal.WriteJournalLine(text::TimeStamp(platform::Now()) + " 重新排队: " +
                           std::string(table->name) + ", " + std::to_string(changed));
  journal.CloseJournal();
  std::printf("已重新排队 %lld 行。\n", changed);
  return 0;
}

}  // namespace pelvar::cli
