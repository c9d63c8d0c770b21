#include "db/Odbc.h"

#include <sql.h>
#include <sqlext.h>

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

std::string DefaultOdbcDriver() {
#ifdef _WIN32
  return "SQL Server";
#else
  return "FreeTDS";
#endif
}

std::string BuildOdbcConnectionString(const ConnectionParameters& parameters) {
  std::string driver = parameters.odbcDriver.empty() ? DefaultOdbcDriver() : parameters.odbcDriver;
  bool freeTds = Contains(driver, "FreeTDS") || Contains(driver, "tdsodbc");
  bool microsoft = !freeTds && Contains(driver, "SQL Server");
  const std::string& server = parameters.server;
  bool portInServer =
      server.find('\\') != std::string::npos || server.find(',') != std::string::npos;
  bool addPort = parameters.port > 0 && !portInServer;

  std::string out = "DRIVER=" + QuoteOdbcValue(driver) + ";";
  if (microsoft && addPort) {
    out += "SERVER=" + QuoteOdbcValue(server + "," + std::to_string(parameters.port)) + ";";
  } else {
    out += "SERVER=" + QuoteOdbcValue(server) + ";";
    if (addPort)
      out += "PORT=" + std::to_string(parameters.port) + ";";
  }
  out += "DATABASE=" + QuoteOdbcValue(parameters.database) + ";";
  out += "UID=" + QuoteOdbcValue(parameters.userName) + ";";
  out += "PWD=" + QuoteOdbcValue(parameters.password) + ";";
  if (freeTds)
    out += "TDS_Version=7.4;";
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
