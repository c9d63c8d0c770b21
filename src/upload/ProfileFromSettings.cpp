#include "upload/ProfileFromSettings.h"

#include "text/Strings.h"

namespace pelvar::upload {

SiteProfile ProfileFromSettings(const config::RunSettings& settings) {
  SiteProfile profile;
  profile.agencyNumber = text::UpperAscii(settings.agencyNumber);
  profile.siteCode = settings.SiteCode.empty() ? "0" : settings.SiteCode;
  profile.displayName = settings.SiteName.empty() ? profile.agencyNumber : settings.SiteName;
  profile.serverHost = settings.RemoteHost;
  profile.serverPort = settings.RemotePort;
  profile.databaseKind = settings.databaseKind;
  return profile;
}

}  // namespace pelvar::upload
