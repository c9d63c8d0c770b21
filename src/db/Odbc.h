#pragma once

// The parts of the ODBC provider that need no server: the connection string
// and the mapping of ODBC SQL type codes to column kinds.

#include <string>
#include <string_view>

#include "db/Connection.h"
#include "db/Provider.h"

namespace pelvar::db {

// "{value}" with every "}" doubled, so that ";", "=", blanks and braces
// inside a value reach the driver unchanged.
std::string QuoteOdbcValue(std::string_view value);

// The driver the ODBC provider uses when the parameters name none.
std::string DefaultOdbcDriver();

// The connection string for SQLDriverConnect. SQL Server authentication
// with the user name and password, no login prompt. The port goes where the
// driver expects it: PORT= for FreeTDS (with TDS_Version=7.4) and for other
// drivers (MariaDB's, for one); "server,port" for Microsoft's drivers
// (a driver name containing "SQL Server"). No port is added when it is 0 or
// when the server text already names an instance ("host\name") or a port
// ("host,1433").
std::string BuildOdbcConnectionString(const ConnectionParameters& parameters);

// How a column's values are fetched with SQLGetData.
enum class OdbcFetch {
  kChar,       // SQL_C_CHAR: integers and exact decimals, plain ASCII digits
  kDouble,     // SQL_C_DOUBLE
  kWideText,   // SQL_C_WCHAR
  kBinary,     // SQL_C_BINARY
  kBit,        // SQL_C_BIT
  kDate,       // SQL_C_TYPE_DATE
  kTime,       // SQL_C_TYPE_TIME
  kTimestamp,  // SQL_C_TYPE_TIMESTAMP, milliseconds kept
};

struct OdbcColumnType {
  FieldKind kind;
  ValueForm form;
  OdbcFetch fetch;
};

// The column kind by SQL type code: SQL_INTEGER is integer; SQL_REAL,
// SQL_FLOAT, SQL_DOUBLE, SQL_DECIMAL and SQL_NUMERIC are floating point,
// except SQL Server's money and smallmoney (decimal codes, told apart by
// typeName, the driver's SQL_DESC_TYPE_NAME), which are other kinds with the
// floating-point text form; SQL_BIT reads "True"/"False"; everything else,
// tinyint, smallint and bigint included, is of another kind. Texts of every
// kind are fetched as wide characters.
OdbcColumnType ClassifyOdbcColumn(int sqlType, std::string_view typeName);

}  // namespace pelvar::db
