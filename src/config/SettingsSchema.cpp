#include "config/SettingsSchema.h"

namespace pelvar::config {

db::ConnectionParameters RelayParameters(const RunSettings& settings) {
  db::ConnectionParameters parameters;
  parameters.databaseKind = settings.databaseKind;
  parameters.server = settings.DBHost;
  parameters.database = settings.DBName;
  parameters.userName = settings.DBUser;
  parameters.password = settings.DBPasswd;
  parameters.port = settings.DBPort;
  return parameters;
}

}  // namespace pelvar::config
