#pragma once

#include "config/SettingsStore.h"
#include "upload/SiteProfile.h"

namespace pelvar::upload {

// What Run takes from the loaded settings besides the relay parameters
// (config::RelayParameters), shared by every front end that starts uploading
// (the run control and pelvar-cli's single cycle).

// The site profile: Dwbh with a to z upper-cased, RemoteHost, RemotePort,
// DBType; site code SiteCode ("0" when empty); display name SiteName (the
// agency number when empty).
SiteProfile ProfileFromSettings(const config::RunSettings& settings);

}  // namespace pelvar::upload
