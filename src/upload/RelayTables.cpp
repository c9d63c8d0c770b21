#include "upload/RelayTables.h"

#include <algorithm>

#include "text/Strings.h"
#include "upload/Statements.h"

namespace pelvar::upload {
namespace {

void Add(std::vector<std::string>& columns, std::string_view name) {
  if (name.empty() || name == "*")
    return;
  std::string column = text::Trim(name);
  for (const std::string& known : columns) {
    if (text::EqualsNoCase(known, column))
      return;
  }
  columns.push_back(column);
}

// The columns a selection names between "select " and " from" ("*" names none).
void AddSelected(std::vector<std::string>& columns, std::string_view selection) {
  std::string_view list = selection.substr(0, selection.find(" from "));
  list.remove_prefix(std::min(list.size(), std::string_view("select ").size()));
  if (list.substr(0, 7) == "top 30 ")
    list.remove_prefix(7);
  while (!list.empty()) {
    std::size_t comma = list.find(',');
    Add(columns, list.substr(0, comma));
    list = comma == std::string_view::npos ? std::string_view() : list.substr(comma + 1);
  }
}

std::vector<RelayTable> Collect() {
  std::vector<RelayTable> tables;
  for (Phase phase : kPhaseOrder) {
    const PhaseDescription& description = Describe(phase);
    auto found = std::find_if(tables.begin(), tables.end(), [&](const RelayTable& table) {
      return table.name == description.relayTable;
    });
    if (found == tables.end()) {
      tables.push_back({description.relayTable, phase, {"JCDWBH", "SENDFLAG"}});
      found = tables.end() - 1;
    }
    // The phase that marks refusals owns the table's refused rows.
    if (!description.settleRejected.empty())
      found->settlingPhase = phase;
    std::vector<std::string>& columns = found->columns;
    AddSelected(columns, description.mySqlSelection.before);
    for (const KeyColumn& key : description.keyColumns) {
      if (key.form != KeyForm::kAgency)
        Add(columns, key.name);
    }
    if (!description.revisionTables.front().empty())
      Add(columns, "BGXGCOUNT");
    for (const auto* names : {&description.successColumns, &description.rejectionColumns,
                              &description.journalColumns}) {
      for (std::string_view name : *names)
        Add(columns, name);
    }
  }
  tables.push_back({kIdentityTable, Phase::kProjects, {"dwbh", "GUID"}});
  return tables;
}

}  // namespace

const std::vector<RelayTable>& RelayTables() {
  static const std::vector<RelayTable> tables = Collect();
  return tables;
}

std::optional<RelayTable> FindSendingTable(std::string_view name) {
  for (const RelayTable& table : RelayTables()) {
    if (table.name != kIdentityTable && text::EqualsNoCase(table.name, name))
      return table;
  }
  return std::nullopt;
}

std::vector<std::string> KeyColumnNames(Phase phase) {
  std::vector<std::string> names;
  for (const KeyColumn& key : Describe(phase).keyColumns) {
    if (!key.name.empty() && key.form != KeyForm::kAgency)
      names.emplace_back(key.name);
  }
  return names;
}

std::string BuildStateSelection(Phase phase, const std::vector<int>& flags,
                                const SiteProfile& profile) {
  std::string list;
  for (int flag : flags)
    list += (list.empty() ? "" : ",") + std::to_string(flag);
  const auto dialect =
      IsSqlServer(profile.databaseKind) ? text::SqlDialect::kSqlServer : text::SqlDialect::kMySql;
  return "select * from " + std::string(Describe(phase).relayTable) + " where SENDFLAG in (" +
         list + ") and JCDWBH='" + text::EscapeSqlLiteral(profile.agencyNumber, dialect) + "'";
}

std::vector<std::string> BuildPendingCounts(const SiteProfile& profile) {
  std::vector<std::string> counts;
  for (const RelayTable& table : RelayTables()) {
    if (table.name == kIdentityTable)
      continue;
    std::vector<int> flags = {kPending};
    if (table.settlingPhase != Phase::kProjects &&
        Describe(Phase::kProjects).relayTable == table.name)
      flags.push_back(kProjectSent);
    std::string selection = BuildStateSelection(table.settlingPhase, flags, profile);
    counts.push_back("select count(*)" + selection.substr(std::string_view("select *").size()));
  }
  return counts;
}

std::string BuildStateCounts(std::string_view table) {
  return "select JCDWBH, SENDFLAG, count(*) from " + std::string(table) +
         " group by JCDWBH, SENDFLAG order by JCDWBH, SENDFLAG";
}

std::string BuildRequeue(Phase phase, const db::Query& row, int flag, const SiteProfile& profile) {
  return "update " + std::string(Describe(phase).relayTable) + " set SENDFLAG=0 where " +
         BuildKeyClause(phase, row, profile) + "and SENDFLAG=" + std::to_string(flag);
}

}  // namespace pelvar::upload
