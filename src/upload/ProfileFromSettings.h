#pragma once

#include "config/SettingsStore.h"
#include "db/Connection.h"
#include "upload/SiteProfile.h"

namespace pelvar::upload {

// What Run takes from the loaded settings, shared by every front end that
// starts uploading (the run control and pelvar-cli's single cycle).

// The relay connection's parameters: DBType, DBHost, DBName, DBUser,
// DBPasswd, DBPort.
db::ConnectionParameters ParametersFromSettings(const config::RunSettings& settings);

// The site profile: Dwbh with a to z upper-cased, RemoteHost, RemotePort,
// DBType; site code SiteCode ("0" when empty); display name SiteName (the
// agency number when empty).
SiteProfile ProfileFromSettings(const config::RunSettings& settings);

}  // namespace pelvar::upload
