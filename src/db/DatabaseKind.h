#pragma once

#include <string>

namespace pelvar::db {

// The kind of relay database a settings text names. The texts are matched
// exactly: "MySQL" and "SQL Server" are the two the settings dialog offers.
enum class DatabaseKind {
  kNone,       // empty: no kind chosen
  kMySql,      // "MySQL"
  kSqlServer,  // "SQL Server"
  kUnknown,    // any other text
};

inline constexpr const char* kMySqlName = "MySQL";
inline constexpr const char* kSqlServerName = "SQL Server";

inline DatabaseKind DatabaseKindOf(const std::string& text) {
  if (text.empty())
    return DatabaseKind::kNone;
  if (text == kMySqlName)
    return DatabaseKind::kMySql;
  if (text == kSqlServerName)
    return DatabaseKind::kSqlServer;
  return DatabaseKind::kUnknown;
}

// The statement forms follow SQL Server only for "SQL Server"; every other
// text, also an unknown one, gets the MySQL forms.
inline bool IsSqlServer(const std::string& text) {
  return DatabaseKindOf(text) == DatabaseKind::kSqlServer;
}

}  // namespace pelvar::db
