#include "upload/ProfileFromSettings.h"

#include "text/Strings.h"

namespace pelvar::upload {

db::ConnectionParameters ParametersFromSettings(const config::RunSettings& settings) {
  db::ConnectionParameters parameters;
  parameters.databaseType = settings.DBType;
  parameters.server = settings.DBHost;
  parameters.database = settings.DBName;
  parameters.userName = settings.DBUser;
  parameters.password = settings.DBPasswd;
  parameters.port = settings.DBPort;
  return parameters;
}

SiteProfile ProfileFromSettings(const config::RunSettings& settings) {
  SiteProfile profile;
  profile.agencyNumber = text::UpperAscii(settings.Dwbh);
  profile.siteCode = settings.SiteCode.empty() ? "0" : settings.SiteCode;
  profile.displayName = settings.SiteName.empty() ? profile.agencyNumber : settings.SiteName;
  profile.serverHost = settings.RemoteHost;
  profile.serverPort = settings.RemotePort;
  profile.databaseKind = settings.DBType;
  return profile;
}

}  // namespace pelvar::upload
