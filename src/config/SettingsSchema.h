#pragma once

#include <cstdint>
#include <string>

#include "db/Connection.h"

namespace pelvar::config {

// The values of the settings key: each one's name and registry type, once.
// The type of the constant is the value's registry type (text, DWORD, or a
// DWORD read as a tick); `initial` is what the settings dialog shows in the
// field before the first save.
struct TextSetting {
  const char* name;
  const char* initial;
};
struct NumberSetting {
  const char* name;
  const char* initial;
};
struct FlagSetting {
  const char* name;
};

inline constexpr TextSetting kAgencyNumber{"Dwbh", ""};
inline constexpr TextSetting kRemoteHost{"RemoteHost", "supervision.example"};
inline constexpr NumberSetting kRemotePort{"RemotePort", "13031"};
inline constexpr NumberSetting kScanTime{"ScanTime", "100"};
inline constexpr FlagSetting kIsAutoSend{"IsAutoSend"};
inline constexpr TextSetting kDatabaseKind{"DBType", ""};
inline constexpr TextSetting kDBHost{"DBHost", "127.0.0.1"};
inline constexpr TextSetting kDBName{"DBName", "DAVIV"};
inline constexpr TextSetting kDBUser{"DBUser", ""};
inline constexpr TextSetting kDBPasswd{"DBPasswd", ""};
inline constexpr NumberSetting kDBPort{"DBPort", "3306"};
// Optional texts the dialog does not show; they source the site profile's
// site code and display name.
inline constexpr TextSetting kSiteCode{"SiteCode", ""};
inline constexpr TextSetting kSiteName{"SiteName", ""};
// Optional: 0 turns the tray balloons about refusals and unreachable
// servers off; absent counts as 1.
inline constexpr FlagSetting kNotify{"Notify"};

// The settings one run needs, named after their values. A plain copy.
struct RunSettings {
  std::string databaseKind;
  std::int32_t ScanTime = 0;
  std::string agencyNumber;
  std::string DBHost;
  std::string DBName;
  std::string DBUser;
  std::string DBPasswd;
  std::int32_t DBPort = 0;
  std::string RemoteHost;
  std::int32_t RemotePort = 0;
  // Empty when absent.
  std::string SiteCode;
  std::string SiteName;
};

// The relay connection's parameters: DBType, DBHost, DBName, DBUser,
// DBPasswd, DBPort. The one mapping from settings to a relay connection.
db::ConnectionParameters RelayParameters(const RunSettings& settings);

}  // namespace pelvar::config
