// ODBC provider: SQL Server through the FreeTDS driver on Linux and the
// system driver on Windows. Every text crosses the driver boundary as UTF-16
// (the wide-character calls), so no code page is involved.

#ifdef _WIN32
#include <windows.h>  // before the ODBC headers, which use its types
#endif
#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "db/Odbc.h"
#include "db/Provider.h"
#include "db/Utf16.h"
#include "text/Error.h"

namespace pelvar::db {
namespace {

constexpr SQLULEN kLoginTimeoutSeconds = 15;
constexpr std::size_t kChunkBytes = 64 * 1024;

static_assert(sizeof(SQLWCHAR) == sizeof(char16_t), "the ODBC wide calls must use UTF-16");

std::vector<SQLWCHAR> ToWide(std::string_view utf8) {
  std::u16string utf16 = Utf8ToUtf16(utf8);
  std::vector<SQLWCHAR> out(utf16.begin(), utf16.end());
  out.push_back(0);
  return out;
}

std::string FromWide(const SQLWCHAR* data, std::size_t length) {
  std::u16string utf16(data, data + length);
  return Utf16ToUtf8(utf16);
}

// An ODBC handle that frees itself.
class Handle {
 public:
  Handle() = default;
  Handle(SQLSMALLINT type, SQLHANDLE handle) : type_(type), handle_(handle) {}
  ~Handle() {
    if (handle_ != SQL_NULL_HANDLE)
      SQLFreeHandle(type_, handle_);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  Handle(Handle&& other) noexcept : type_(other.type_), handle_(other.handle_) {
    other.handle_ = SQL_NULL_HANDLE;
  }
  Handle& operator=(Handle&& other) noexcept {
    std::swap(type_, other.type_);
    std::swap(handle_, other.handle_);
    return *this;
  }
  SQLHANDLE get() const { return handle_; }
  SQLSMALLINT type() const { return type_; }

 private:
  SQLSMALLINT type_ = 0;
  SQLHANDLE handle_ = SQL_NULL_HANDLE;
};

struct Diagnostic {
  std::string state;
  std::string message;
};

// The first diagnostic record of handle.
Diagnostic FirstDiagnostic(SQLSMALLINT type, SQLHANDLE handle) {
  SQLWCHAR state[6] = {};
  SQLINTEGER native = 0;
  std::vector<SQLWCHAR> message(1024);
  SQLSMALLINT length = 0;
  SQLRETURN rc = SQLGetDiagRecW(type, handle, 1, state, &native, message.data(),
                                static_cast<SQLSMALLINT>(message.size()), &length);
  if (rc == SQL_SUCCESS_WITH_INFO && static_cast<std::size_t>(length) >= message.size()) {
    message.resize(static_cast<std::size_t>(length) + 1);
    rc = SQLGetDiagRecW(type, handle, 1, state, &native, message.data(),
                        static_cast<SQLSMALLINT>(message.size()), &length);
  }
  if (!SQL_SUCCEEDED(rc))
    return {"", "The ODBC driver reported a failure without a message."};
  std::size_t used = std::min<std::size_t>(static_cast<std::size_t>(length), message.size() - 1);
  return {FromWide(state, 5), FromWide(message.data(), used)};
}

std::string TwoDigits(int value) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%02d", value);
  return buffer;
}

class OdbcSession final : public Session {
 public:
  explicit OdbcSession(const ConnectionParameters& parameters) : buffer_(kChunkBytes) {
    SQLHANDLE environment = SQL_NULL_HANDLE;
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &environment))) {
      throw Error("The ODBC driver manager could not be started.");
    }
    environment_ = Handle(SQL_HANDLE_ENV, environment);
    SQLSetEnvAttr(environment, SQL_ATTR_ODBC_VERSION,
                  reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(SQL_OV_ODBC3)), 0);

    SQLHANDLE connection = SQL_NULL_HANDLE;
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_DBC, environment, &connection))) {
      throw Error(FirstDiagnostic(SQL_HANDLE_ENV, environment).message);
    }
    connection_ = Handle(SQL_HANDLE_DBC, connection);
    SQLSetConnectAttrW(connection, SQL_ATTR_LOGIN_TIMEOUT,
                       reinterpret_cast<SQLPOINTER>(kLoginTimeoutSeconds), 0);

    OdbcDriverKind driver = KindOfOdbcDriver(parameters);
    sqlServer_ = driver != OdbcDriverKind::kOther;
    if (!Connect(BuildOdbcConnectionString(parameters))) {
      Diagnostic refusal = FirstDiagnostic(SQL_HANDLE_DBC, connection);
      // FreeTDS connects without encryption; a server that requires it
      // ends the pre-login, which FreeTDS reports with this bare text alone
      // (an unreachable server and a refused login say more). Then the
      // server's own TLS has to do.
      if (driver != OdbcDriverKind::kFreeTds ||
          !refusal.message.ends_with("Unable to connect to data source")) {
        throw Error(refusal.message);
      }
      if (!Connect(BuildOdbcConnectionString(parameters, true)))
        throw Error(FirstDiagnostic(SQL_HANDLE_DBC, connection).message);
    }
    connected_ = true;
  }

  ~OdbcSession() override {
    if (connected_)
      SQLDisconnect(connection_.get());
  }

  std::unique_ptr<ResultSet> Select(const std::string& statement) override {
    Handle statementHandle = Run(statement);
    SQLHSTMT stmt = statementHandle.get();
    auto out = std::make_unique<ResultSet>();
    if (!stmt)
      return out;

    // Row counts of statements in front of the SELECT come first.
    SQLSMALLINT count = 0;
    for (;;) {
      Check(SQLNumResultCols(stmt, &count), statementHandle);
      if (count > 0)
        break;
      SQLRETURN rc = SQLMoreResults(stmt);
      if (rc == SQL_NO_DATA)
        return out;
      Check(rc, statementHandle);
    }

    std::vector<OdbcFetch> fetches;
    for (SQLUSMALLINT i = 1; i <= static_cast<SQLUSMALLINT>(count); ++i) {
      auto [column, fetch] = Describe(statementHandle, i);
      out->columns.push_back(std::move(column));
      fetches.push_back(fetch);
    }

    for (;;) {
      SQLRETURN rc = SQLFetch(stmt);
      if (rc == SQL_NO_DATA)
        break;
      Check(rc, statementHandle);
      for (SQLUSMALLINT i = 1; i <= static_cast<SQLUSMALLINT>(count); ++i) {
        Fetch(statementHandle, i, fetches[i - 1], *out);
      }
      out->EndRow();
    }
    return out;
  }

  std::int64_t Execute(const std::string& statement) override {
    // On SQL Server the count comes from @@ROWCOUNT in the same batch: the
    // DONE counts are missing when NOCOUNT is on for the server or the
    // login, and FreeTDS reports the count of a trigger's first statement
    // in place of the count of the statement that fired it.
    Handle statementHandle = Run(sqlServer_ ? statement + "\nselect @@ROWCOUNT" : statement);
    SQLHSTMT stmt = statementHandle.get();
    if (!stmt)
      return 0;
    SQLLEN rows = -1;
    std::optional<std::int64_t> selected;
    // Later statements of a batch report their failures only when reached.
    for (;;) {
      SQLSMALLINT columns = 0;
      Check(SQLNumResultCols(stmt, &columns), statementHandle);
      if (columns == 0 && rows < 0) {
        Check(SQLRowCount(stmt, &rows), statementHandle);
      } else if (columns == 1 && sqlServer_) {
        while (SQL_SUCCEEDED(SQLFetch(stmt))) {
          SQLBIGINT value = 0;
          SQLLEN indicator = 0;
          if (SQL_SUCCEEDED(SQLGetData(stmt, 1, SQL_C_SBIGINT, &value, sizeof value, &indicator)) &&
              indicator != SQL_NULL_DATA) {
            selected = value;
          }
        }
      }
      SQLRETURN rc = SQLMoreResults(stmt);
      if (rc == SQL_NO_DATA)
        break;
      Check(rc, statementHandle);
    }
    if (selected)
      return *selected;
    return rows < 0 ? 0 : static_cast<std::int64_t>(rows);
  }

  bool Lost() const override { return lost_; }

 private:
  bool Connect(const std::string& connectionString) {
    std::vector<SQLWCHAR> text = ToWide(connectionString);
    SQLSMALLINT outLength = 0;
    SQLRETURN rc = SQLDriverConnectW(connection_.get(), nullptr, text.data(),
                                     static_cast<SQLSMALLINT>(text.size() - 1), nullptr, 0,
                                     &outLength, SQL_DRIVER_NOPROMPT);
    return SQL_SUCCEEDED(rc);
  }

  // Runs statement on a new statement handle. An empty handle means that
  // the statement succeeded and produced nothing (SQL_NO_DATA).
  Handle Run(const std::string& statement) {
    SQLHANDLE stmt = SQL_NULL_HANDLE;
    if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, connection_.get(), &stmt))) {
      Fail(connection_);
    }
    Handle handle(SQL_HANDLE_STMT, stmt);
    std::vector<SQLWCHAR> text = ToWide(statement);
    SQLRETURN rc = SQLExecDirectW(stmt, text.data(), static_cast<SQLINTEGER>(text.size() - 1));
    if (rc == SQL_NO_DATA)
      return Handle();
    Check(rc, handle);
    return handle;
  }

  void Check(SQLRETURN rc, const Handle& handle) {
    if (!SQL_SUCCEEDED(rc))
      Fail(handle);
  }

  [[noreturn]] void Fail(const Handle& handle) {
    Diagnostic diagnostic = FirstDiagnostic(handle.type(), handle.get());
    if (diagnostic.state.starts_with("08")) {
      lost_ = true;
    } else {
      SQLUINTEGER dead = SQL_CD_FALSE;
      if (SQL_SUCCEEDED(
              SQLGetConnectAttrW(connection_.get(), SQL_ATTR_CONNECTION_DEAD, &dead, 0, nullptr)) &&
          dead == SQL_CD_TRUE) {
        lost_ = true;
      }
    }
    throw Error(diagnostic.message);
  }

  std::pair<Column, OdbcFetch> Describe(const Handle& statement, SQLUSMALLINT index) {
    std::vector<SQLWCHAR> name(256);
    SQLSMALLINT nameLength = 0;
    SQLSMALLINT sqlType = 0;
    SQLULEN size = 0;
    SQLSMALLINT digits = 0;
    SQLSMALLINT nullable = 0;
    auto describe = [&] {
      return SQLDescribeColW(statement.get(), index, name.data(),
                             static_cast<SQLSMALLINT>(name.size()), &nameLength, &sqlType, &size,
                             &digits, &nullable);
    };
    Check(describe(), statement);
    if (static_cast<std::size_t>(nameLength) >= name.size()) {
      name.resize(static_cast<std::size_t>(nameLength) + 1);
      Check(describe(), statement);
    }
    SQLWCHAR typeName[128] = {};
    SQLSMALLINT typeNameBytes = 0;
    SQLColAttributeW(statement.get(), index, SQL_DESC_TYPE_NAME, typeName, sizeof typeName,
                     &typeNameBytes, nullptr);
    std::size_t typeNameLength = std::min<std::size_t>(
        static_cast<std::size_t>(typeNameBytes) / sizeof(SQLWCHAR), std::size(typeName) - 1);

    OdbcColumnType type = ClassifyOdbcColumn(sqlType, FromWide(typeName, typeNameLength));
    if (type.fetch == OdbcFetch::kTimestamp && digits > 3)
      type.fetch = OdbcFetch::kTimestampFine;
    Column column;
    column.name = FromWide(name.data(), static_cast<std::size_t>(nameLength));
    column.kind = type.kind;
    column.form = type.form;
    return {std::move(column), type.fetch};
  }

  // Reads a value of any length in chunks. terminator is the size of the
  // terminating zero the driver puts after each chunk.
  bool FetchVariable(const Handle& statement, SQLUSMALLINT index, SQLSMALLINT cType,
                     std::size_t terminator, std::string& out) {
    out.clear();
    for (;;) {
      SQLLEN indicator = 0;
      SQLRETURN rc = SQLGetData(statement.get(), index, cType, buffer_.data(),
                                static_cast<SQLLEN>(buffer_.size()), &indicator);
      if (rc == SQL_NO_DATA)
        return true;
      Check(rc, statement);
      if (indicator == SQL_NULL_DATA)
        return false;
      std::size_t room = buffer_.size() - terminator;
      std::size_t got = room;
      if (indicator != SQL_NO_TOTAL && static_cast<std::size_t>(indicator) <= room) {
        got = static_cast<std::size_t>(indicator);
      }
      out.append(buffer_.data(), got);
      if (rc == SQL_SUCCESS)
        return true;
    }
  }

  template <typename Value>
  bool FetchFixed(const Handle& statement, SQLUSMALLINT index, SQLSMALLINT cType, Value& value) {
    SQLLEN indicator = 0;
    Check(SQLGetData(statement.get(), index, cType, &value, sizeof value, &indicator), statement);
    return indicator != SQL_NULL_DATA;
  }

  void Fetch(const Handle& statement, SQLUSMALLINT index, OdbcFetch fetch, ResultSet& out) {
    switch (fetch) {
      case OdbcFetch::kChar:
        if (!FetchVariable(statement, index, SQL_C_CHAR, 1, value_))
          return out.AppendNull();
        return out.Append(value_);
      case OdbcFetch::kBinary:
        if (!FetchVariable(statement, index, SQL_C_BINARY, 0, value_))
          return out.AppendNull();
        return out.Append(value_);
      case OdbcFetch::kWideText: {
        if (!FetchVariable(statement, index, SQL_C_WCHAR, sizeof(SQLWCHAR), value_)) {
          return out.AppendNull();
        }
        std::u16string utf16(value_.size() / sizeof(char16_t), u'\0');
        std::memcpy(utf16.data(), value_.data(), utf16.size() * sizeof(char16_t));
        return out.Append(Utf16ToUtf8(utf16));
      }
      case OdbcFetch::kDouble: {
        double value = 0;
        if (!FetchFixed(statement, index, SQL_C_DOUBLE, value))
          return out.AppendNull();
        char text[64];
        auto result = std::to_chars(text, text + sizeof text, value);
        return out.Append(std::string_view(text, static_cast<std::size_t>(result.ptr - text)));
      }
      case OdbcFetch::kBit: {
        unsigned char value = 0;
        if (!FetchFixed(statement, index, SQL_C_BIT, value))
          return out.AppendNull();
        return out.Append(value ? "1" : "0");
      }
      case OdbcFetch::kDate: {
        SQL_DATE_STRUCT value{};
        if (!FetchFixed(statement, index, SQL_C_TYPE_DATE, value))
          return out.AppendNull();
        return out.Append(DateText(value.year, value.month, value.day));
      }
      case OdbcFetch::kTime: {
        SQL_TIME_STRUCT value{};
        if (!FetchFixed(statement, index, SQL_C_TYPE_TIME, value))
          return out.AppendNull();
        return out.Append(std::to_string(value.hour) + ":" + TwoDigits(value.minute) + ":" +
                          TwoDigits(value.second));
      }
      case OdbcFetch::kTimestamp: {
        SQL_TIMESTAMP_STRUCT value{};
        if (!FetchFixed(statement, index, SQL_C_TYPE_TIMESTAMP, value))
          return out.AppendNull();
        // The fraction is in nanoseconds. SQL Server's datetime counts in
        // 1/300 s, so .047 arrives as 46666667 ns: round to the millisecond
        // the server itself shows.
        SQLUINTEGER millisecond = std::min<SQLUINTEGER>((value.fraction + 500000) / 1000000, 999);
        char text[64];
        std::snprintf(text, sizeof text, "%s %02d:%02d:%02d.%03u",
                      DateText(value.year, value.month, value.day).c_str(), value.hour,
                      value.minute, value.second, static_cast<unsigned>(millisecond));
        return out.Append(text);
      }
      case OdbcFetch::kTimestampFine: {
        SQL_TIMESTAMP_STRUCT value{};
        if (!FetchFixed(statement, index, SQL_C_TYPE_TIMESTAMP, value))
          return out.AppendNull();
        // Nanoseconds as they are, without the zeros past the stored digits.
        char text[64];
        int length =
            std::snprintf(text, sizeof text, "%s %02d:%02d:%02d.%09u",
                          DateText(value.year, value.month, value.day).c_str(), value.hour,
                          value.minute, value.second, static_cast<unsigned>(value.fraction));
        std::string_view shown(text, static_cast<std::size_t>(length));
        while (shown.size() > 23 && shown.back() == '0')
          shown.remove_suffix(1);
        return out.Append(shown);
      }
    }
  }

  static std::string DateText(int year, int month, int day) {
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", year, month, day);
    return text;
  }

  Handle environment_;
  Handle connection_;
  bool connected_ = false;
  bool sqlServer_ = false;
  bool lost_ = false;
  std::vector<char> buffer_;
  std::string value_;
};

}  // namespace

std::unique_ptr<Session> OpenOdbcSession(const ConnectionParameters& parameters) {
  return std::make_unique<OdbcSession>(parameters);
}

}  // namespace pelvar::db
