#pragma once

#include <string>

namespace pelvar::upload {

// The values that identify the agency and its server during a run; filled by
// every Run and kept after Stop.
struct SiteProfile {
  std::string agencyNumber;  // Dwbh with a to z upper-cased
  std::string siteCode;      // appended verbatim as an SQL value; "0" by default
  std::string displayName;   // header label while running
  std::string serverHost;
  int serverPort = 0;
  std::string databaseKind;  // DBType: "SQL Server" or anything else (MySQL forms)
};

}  // namespace pelvar::upload
