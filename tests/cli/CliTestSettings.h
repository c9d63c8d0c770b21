#pragma once

#include <cstdio>
#include <string>

namespace pelvar::cli::test {

// The settings key of one test machine, written as the registry editor
// exports it (the TempPrefix converts the text to GBK).
struct TestSettings {
  std::string databaseKind = "MySQL";
  std::string dbHost = "127.0.0.1";
  int dbPort = 1;
  std::string dbName = "DAVIV";
  std::string dbUser = "pelvar";
  std::string dbPassword = "pelvar";
  std::string remoteHost = "127.0.0.1";
  int remotePort = 1;
  std::string agencyNumber = "J0001";
  int scanTime = 60;
  std::string siteCode = "7";
  std::string siteName = "演示检测中心";

  std::string RegistryText() const {
    auto dword = [](int value) {
      char text[20];
      std::snprintf(text, sizeof text, "dword:%08x", static_cast<unsigned>(value));
      return std::string(text);
    };
    auto quoted = [](const std::string& value) { return "\"" + value + "\""; };
    return "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\ZIRODU\\DAVIV]\r\n"
           "\"DBType\"=" +
           quoted(databaseKind) +
           "\r\n"
           "\"DBHost\"=" +
           quoted(dbHost) +
           "\r\n"
           "\"DBPort\"=" +
           dword(dbPort) +
           "\r\n"
           "\"DBName\"=" +
           quoted(dbName) +
           "\r\n"
           "\"DBUser\"=" +
           quoted(dbUser) +
           "\r\n"
           "\"DBPasswd\"=" +
           quoted(dbPassword) +
           "\r\n"
           "\"RemoteHost\"=" +
           quoted(remoteHost) +
           "\r\n"
           "\"RemotePort\"=" +
           dword(remotePort) +
           "\r\n"
           "\"Dwbh\"=" +
           quoted(agencyNumber) +
           "\r\n"
           "\"ScanTime\"=" +
           dword(scanTime) +
           "\r\n"
           "\"SiteCode\"=" +
           quoted(siteCode) +
           "\r\n"
           "\"SiteName\"=" +
           quoted(siteName) + "\r\n\r\n";
  }
};

}  // namespace pelvar::cli::test
