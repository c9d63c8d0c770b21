#pragma once

#include <array>
#include <string>

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

// The relay database kind: exactly "SQL Server" selects the SQL Server forms,
// anything else the MySQL forms.
using db::IsSqlServer;

}  // namespace pelvar::upload
