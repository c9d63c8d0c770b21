#include "db/Odbc.h"

#ifdef _WIN32
#include <windows.h>  // before the ODBC headers, which use its types
#endif
#include <sql.h>
#include <sqlext.h>

#include "text/Error.h"
#include "text/Strings.h"

namespace pelvar::db {
namespace {

// SQL Server's own codes, from its driver's header.
constexpr int kSqlServerTime2 = -154;
constexpr int kSqlServerTimestampOffset = -155;

bool Contains(std::string_view haystack, std::string_view needle) {
  std::string upperHaystack = text::UpperAscii(haystack);
  return upperHaystack.find(text::UpperAscii(needle)) != std::string::npos;
}

}  // namespace

std::string QuoteOdbcValue(std::string_view value) {
  std::string out = "{";
  for (char c : value) {
    out.push_back(c);
    if (c == '}')
      out.push_back('}');
  }
  out.push_back('}');
  return out;
}

std::string QuoteFreeTdsValue(std::string_view what, std::string_view value) {
  if (value.find("};") != std::string_view::npos) {
    throw Error("The " + std::string(what) +
                " contains \"};\", which cannot be passed to the FreeTDS driver; change it.");
  }
  return "{" + std::string(value) + "}";
}

std::string DefaultOdbcDriver() {
#ifdef _WIN32
  return "SQL Server";
#else
  return "FreeTDS";
#endif
}

OdbcDriverKind KindOfOdbcDriver(const ConnectionParameters& parameters) {
  std::string driver = parameters.odbcDriver.empty() ? DefaultOdbcDriver() : parameters.odbcDriver;
  if (Contains(driver, "FreeTDS") || Contains(driver, "tdsodbc"))
    return OdbcDriverKind::kFreeTds;
  return Contains(driver, "SQL Server") ? OdbcDriverKind::kMicrosoft : OdbcDriverKind::kOther;
}

std::string BuildOdbcConnectionString(const ConnectionParameters& parameters, bool encrypted) {
  std::string driver = parameters.odbcDriver.empty() ? DefaultOdbcDriver() : parameters.odbcDriver;
  bool freeTds = KindOfOdbcDriver(parameters) == OdbcDriverKind::kFreeTds;
  bool microsoft = KindOfOdbcDriver(parameters) == OdbcDriverKind::kMicrosoft;
  const std::string& server = parameters.server;
  bool portInServer =
      server.find('\\') != std::string::npos || server.find(',') != std::string::npos;
  bool addPort = parameters.port > 0 && !portInServer;

  auto quote = [freeTds](std::string_view what, std::string_view value) {
    return freeTds ? QuoteFreeTdsValue(what, value) : QuoteOdbcValue(value);
  };

  std::string out = "DRIVER=" + QuoteOdbcValue(driver) + ";";
  if (microsoft && addPort) {
    out += "SERVER=" + QuoteOdbcValue(server + "," + std::to_string(parameters.port)) + ";";
  } else {
    out += "SERVER=" + quote("server name", server) + ";";
    if (addPort)
      out += "PORT=" + std::to_string(parameters.port) + ";";
  }
  out += "DATABASE=" + quote("database name", parameters.database) + ";";
  out += "UID=" + quote("user name", parameters.userName) + ";";
  out += "PWD=" + quote("password", parameters.password) + ";";
  if (freeTds) {
    // No encryption: with FreeTDS's default ("request") a server that does
    // not force encryption still wraps the login in TLS, and SQL Server
    // 2008 (R2) offers only TLS 1.0, which today's TLS libraries refuse.
    out += encrypted ? "TDS_Version=7.4;Encryption=require;" : "TDS_Version=7.4;Encryption=off;";
  }
  return out;
}

OdbcColumnType ClassifyOdbcColumn(int sqlType, std::string_view typeName) {
  switch (sqlType) {
    case SQL_INTEGER:
      return {FieldKind::kInteger, ValueForm::kInteger, OdbcFetch::kChar};
    case SQL_TINYINT:
    case SQL_SMALLINT:
    case SQL_BIGINT:
      return {FieldKind::kOther, ValueForm::kInteger, OdbcFetch::kChar};
    case SQL_REAL:
    case SQL_FLOAT:
    case SQL_DOUBLE:
      return {FieldKind::kFloat, ValueForm::kFloat, OdbcFetch::kDouble};
    case SQL_DECIMAL:
    case SQL_NUMERIC:
      if (text::EqualsNoCase(typeName, "money") || text::EqualsNoCase(typeName, "smallmoney")) {
        return {FieldKind::kOther, ValueForm::kFloat, OdbcFetch::kChar};
      }
      return {FieldKind::kFloat, ValueForm::kFloat, OdbcFetch::kChar};
    case SQL_BIT:
      return {FieldKind::kOther, ValueForm::kBoolean, OdbcFetch::kBit};
    case SQL_TYPE_DATE:
    case SQL_DATE:
      return {FieldKind::kOther, ValueForm::kDate, OdbcFetch::kDate};
    case SQL_TYPE_TIME:
    case SQL_TIME:
    case kSqlServerTime2:
      return {FieldKind::kOther, ValueForm::kTime, OdbcFetch::kTime};
    case SQL_TYPE_TIMESTAMP:
    case SQL_TIMESTAMP:
      return {FieldKind::kOther, ValueForm::kDateTime, OdbcFetch::kTimestamp};
    case SQL_BINARY:
    case SQL_VARBINARY:
    case SQL_LONGVARBINARY:
      return {FieldKind::kOther, ValueForm::kBytes, OdbcFetch::kBinary};
    case kSqlServerTimestampOffset:  // the driver's own text, with the offset
    default:
      return {FieldKind::kOther, ValueForm::kUtf8Text, OdbcFetch::kWideText};
  }
}

}  // namespace pelvar::db
