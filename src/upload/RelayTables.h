#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "db/Query.h"
#include "upload/Phase.h"
#include "upload/SiteProfile.h"

namespace pelvar::upload {

// The relay tables as the cycle uses them, derived from the phase table, for
// the operator's tools (check, status, preview, rejected, requeue).

// Send states a relay row can be in.
inline constexpr int kPending = 0;
inline constexpr int kProjectSent = 1;  // JCJG_RPTINFO only: project columns sent
inline constexpr int kRefusedDuplicate = 10;
inline constexpr int kRefused = 100;

// The table the identifier is stored in, and its columns.
inline constexpr std::string_view kIdentityTable = "JCJG_CUSER";

struct RelayTable {
  std::string_view name;
  // The phase whose key clause and refusal settlements apply to its rows.
  Phase settlingPhase;
  // JCDWBH, SENDFLAG and every column the cycle selects by name, keys by or
  // writes, without repetition.
  std::vector<std::string> columns;
};

// The four tables rows are sent from, in the order of their first phase,
// then the identity table (whose columns are dwbh and GUID).
const std::vector<RelayTable>& RelayTables();

// The sending table named name (case ignored); nothing for another name or
// the identity table.
std::optional<RelayTable> FindSendingTable(std::string_view name);

// The key columns of the table's rows that are columns of the row (the
// agency number left out), in the key clause's order.
std::vector<std::string> KeyColumnNames(Phase phase);

// "select * from <table> where SENDFLAG in (<flags>) and JCDWBH='<agency>'"
// (flags comma-separated), in the relay kind's dialect.
std::string BuildStateSelection(Phase phase, const std::vector<int>& flags,
                                const SiteProfile& profile);

// One "select count(*) ..." per sending table: the agency's rows the cycle
// has still to send (pending, and project-sent reports).
std::vector<std::string> BuildPendingCounts(const SiteProfile& profile);

// Counts per agency and send state: rows of JCDWBH, SENDFLAG, count.
std::string BuildStateCounts(std::string_view table);

// Sets the current row of row (a row of the phase's table in state flag)
// back to pending, through the cycle's key clause.
std::string BuildRequeue(Phase phase, const db::Query& row, int flag, const SiteProfile& profile);

}  // namespace pelvar::upload
