#pragma once

#include <array>
#include <string>
#include <string_view>

#include "db/DatabaseKind.h"

namespace pelvar::upload {

// The five upload phases, run in this order in every cycle.
enum class Phase {
  kProjects,
  kReports,
  kReportProjectLinks,
  kModifications,
  kAutomaticReadings,
};

inline constexpr std::array<Phase, 5> kPhaseOrder = {
    Phase::kProjects, Phase::kReports, Phase::kReportProjectLinks, Phase::kModifications,
    Phase::kAutomaticReadings};

// How a key column's value enters the clause that finds a row again.
enum class KeyForm {
  kAgency,     // the agency number, not a column of the row
  kTrimmed,    // the column's text; trimmed in the server's copy of the clause
  kUntrimmed,  // the column's text as it is
  kDateTime,   // with milliseconds on SQL Server, the column's text on MySQL
};

struct KeyColumn {
  std::string_view name;  // empty: no further key column
  KeyForm form = KeyForm::kUntrimmed;
};

// A text that is completed by one value placed between its two parts.
struct Around {
  std::string_view before;
  std::string_view after;
};

// Everything that differs from one phase to the next: its tables, its
// statements and what it writes to the log view and the journal. Texts are
// byte-exact; column lists end at the first empty name.
struct PhaseDescription {
  std::string_view relayTable;
  std::string_view serverTable;

  // The selection of at most 30 pending rows, around the agency number
  // (on SQL Server a Unicode literal, N'…').
  Around mySqlSelection;
  Around sqlServerSelection;

  // The columns that find the current row again, joined with " and ".
  std::array<KeyColumn, 3> keyColumns;

  // The server statement: "insert into " serverTable " values ('" agency
  // "'," values valuesTail, then site code and ");" when withSiteCode, ")"
  // otherwise. A values list without its last comma when dropsLastComma.
  bool nullAwareValues;
  bool dropsLastComma;
  std::string_view valuesTail;
  bool withSiteCode;
  // Server tables cleared by the row's key before a revised row (one whose
  // BGXGCOUNT is above 0) is inserted again.
  std::array<std::string_view, 3> revisionTables;

  // Settle statements, each followed by the key clause. A phase with
  // settleSent settles a row it sent this way when the reply accepts or
  // rejects it; any other reply leaves the row pending.
  std::string_view settleSent;
  std::string_view settleAccepted;
  std::string_view settleDuplicate;  // rejected with "PRIMARY" in the message
  std::string_view settleRejected;

  // Whether the phase writes a heading, a line per settled row and a
  // journal summary, and lets the pump run while a row's reply is awaited.
  bool reported;
  bool pumpsWhileWaiting;

  // Log view and journal texts.
  std::string_view heading;                          // log view, before the phase
  std::string_view summaryHeading;                   // journal, the phase's summary
  std::string_view unit;                             // 份 or 条
  std::string_view maintenanceFailure;               // log view, accepted row not deleted
  std::array<std::string_view, 2> successColumns;    // "√ " ... " 上传成功！"
  std::array<std::string_view, 2> rejectionColumns;  // "× " ... " 上传失败："
  std::array<std::string_view, 2> journalColumns;    // journal, rejected row
};

// The phase's description; valid for the whole run of the program.
const PhaseDescription& Describe(Phase phase);

// The relay database kind: exactly "SQL Server" selects the SQL Server forms,
// anything else the MySQL forms.
using db::IsSqlServer;

}  // namespace pelvar::upload
