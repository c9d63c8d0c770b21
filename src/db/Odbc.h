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

// "{value}" as the FreeTDS driver reads it: FreeTDS ends a braced value at
// the first "}" followed by ";" and keeps doubled braces doubled, so every
// value passes unchanged except one containing "};", which throws Error
// naming what (the "password", ...).
std::string QuoteFreeTdsValue(std::string_view what, std::string_view value);

// The driver the ODBC provider uses when the parameters name none.
std::string DefaultOdbcDriver();

enum class OdbcDriverKind { kFreeTds, kMicrosoft, kOther };
// By the driver's name: FreeTDS ("FreeTDS", "tdsodbc"), Microsoft's SQL
// Server drivers (a name containing "SQL Server"), or another.
OdbcDriverKind KindOfOdbcDriver(const ConnectionParameters& parameters);

// The connection string for SQLDriverConnect. SQL Server authentication
// with the user name and password, no login prompt; for FreeTDS without
// encryption, and throwing Error for a value it cannot be given. The port goes where the
// driver expects it: PORT= for FreeTDS (with TDS_Version=7.4) and for other
// drivers (MariaDB's, for one); "server,port" for Microsoft's drivers
// (a driver name containing "SQL Server"). No port is added when it is 0 or
// when the server text already names an instance ("host\name") or a port
// ("host,1433").
// encrypted asks FreeTDS to encrypt (for a server that requires it).
std::string BuildOdbcConnectionString(const ConnectionParameters& parameters,
                                      bool encrypted = false);

// How a column's values are fetched with SQLGetData.
enum class OdbcFetch {
  kChar,           // SQL_C_CHAR: integers and exact decimals, plain ASCII digits
  kDouble,         // SQL_C_DOUBLE
  kWideText,       // SQL_C_WCHAR
  kBinary,         // SQL_C_BINARY
  kBit,            // SQL_C_BIT
  kDate,           // SQL_C_TYPE_DATE
  kTime,           // SQL_C_TYPE_TIME
  kTimestamp,      // SQL_C_TYPE_TIMESTAMP, milliseconds kept
  kTimestampFine,  // the same, with the digits below the millisecond (datetime2)
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
