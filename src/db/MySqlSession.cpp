// MySQL provider on MariaDB Connector/C.

#include <errmsg.h>
#include <mysql.h>
#include <mysqld_error.h>

#include <memory>
#include <mutex>
#include <string>

#include "db/Provider.h"
#include "text/Error.h"
#include "text/Gbk.h"

namespace pelvar::db {
namespace {

constexpr unsigned int kConnectTimeoutSeconds = 15;
constexpr unsigned int kBinaryCharset = 63;

struct MysqlCloser {
  void operator()(MYSQL* mysql) const { mysql_close(mysql); }
};
struct ResultFreer {
  void operator()(MYSQL_RES* result) const { mysql_free_result(result); }
};
using MysqlHandle = std::unique_ptr<MYSQL, MysqlCloser>;
using ResultHandle = std::unique_ptr<MYSQL_RES, ResultFreer>;

// Client errors (the link broke, the protocol fell out of step) and the
// server's own farewells leave the connection unusable.
bool IsLostConnection(unsigned int code) {
  return (code >= CR_MIN_ERROR && code <= CR_MAX_ERROR) || code == CR_ERR_NET_READ ||
         code == CR_ERR_NET_WRITE || code == CR_ERR_NET_UNCOMPRESS ||
         code == ER_CONNECTION_KILLED || code == ER_SERVER_SHUTDOWN;
}

Column Describe(const MYSQL_FIELD& field) {
  Column column;
  column.name = text::GbkToUtf8(std::string_view(field.name, field.name_length));
  bool isUnsigned = (field.flags & UNSIGNED_FLAG) != 0;
  switch (field.type) {
    case MYSQL_TYPE_LONG:
      column.kind = isUnsigned ? FieldKind::kOther : FieldKind::kInteger;
      column.form = ValueForm::kInteger;
      break;
    case MYSQL_TYPE_INT24:
      column.kind = FieldKind::kInteger;
      column.form = ValueForm::kInteger;
      break;
    case MYSQL_TYPE_TINY:
    case MYSQL_TYPE_SHORT:
    case MYSQL_TYPE_LONGLONG:
    case MYSQL_TYPE_YEAR:
      column.form = ValueForm::kInteger;
      break;
    case MYSQL_TYPE_BIT:
      column.form = ValueForm::kBits;
      break;
    case MYSQL_TYPE_FLOAT:
    case MYSQL_TYPE_DOUBLE:
    case MYSQL_TYPE_DECIMAL:
    case MYSQL_TYPE_NEWDECIMAL:
      column.kind = FieldKind::kFloat;
      column.form = ValueForm::kFloat;
      break;
    case MYSQL_TYPE_DATE:
    case MYSQL_TYPE_NEWDATE:
      column.form = ValueForm::kDate;
      break;
    case MYSQL_TYPE_TIME:
      column.form = ValueForm::kTime;
      break;
    case MYSQL_TYPE_DATETIME:
    case MYSQL_TYPE_TIMESTAMP:
      column.form = ValueForm::kDateTime;
      break;
    default:
      // Texts arrive in the connection's character set, gbk; binary strings
      // and BLOBs carry the binary character set and stay bytes.
      column.form = field.charsetnr == kBinaryCharset ? ValueForm::kBytes : ValueForm::kGbkText;
      break;
  }
  return column;
}

class MySqlSession final : public Session {
 public:
  explicit MySqlSession(const ConnectionParameters& parameters) {
    static std::once_flag libraryReady;
    std::call_once(libraryReady, [] { mysql_library_init(0, nullptr, nullptr); });

    mysql_.reset(mysql_init(nullptr));
    if (!mysql_)
      throw Error("Out of memory while opening a MySQL connection.");
    MYSQL* mysql = mysql_.get();
    // Connect time-out only: statements wait for the server without limit.
    unsigned int timeout = kConnectTimeoutSeconds;
    mysql_options(mysql, MYSQL_OPT_CONNECT_TIMEOUT, &timeout);
    // Always TCP to server:port, also for "localhost".
    unsigned int protocol = MYSQL_PROTOCOL_TCP;
    mysql_options(mysql, MYSQL_OPT_PROTOCOL, &protocol);
    // gbk is the connection's character set from the handshake on, which is
    // what SET NAMES gbk would do after connecting. (Servers before 4.1 had
    // no connection character set; Connector/C does not reach them.)
    mysql_options(mysql, MYSQL_SET_CHARSET_NAME, "gbk");
    // A lost connection is reported, never silently reopened.
    my_bool reconnect = 0;
    mysql_options(mysql, MYSQL_OPT_RECONNECT, &reconnect);
    // The server may not ask us for local files.
    unsigned int localInfile = 0;
    mysql_options(mysql, MYSQL_OPT_LOCAL_INFILE, &localInfile);

    std::string user = text::Utf8ToGbk(parameters.userName);
    std::string password = text::Utf8ToGbk(parameters.password);
    std::string database = text::Utf8ToGbk(parameters.database);
    if (!mysql_real_connect(mysql, parameters.server.c_str(), user.c_str(), password.c_str(),
                            database.empty() ? nullptr : database.c_str(),
                            static_cast<unsigned int>(parameters.port), nullptr, 0)) {
      throw Error(ErrorText());
    }
  }

  std::unique_ptr<ResultSet> Select(const std::string& statement) override {
    Run(statement);
    auto out = std::make_unique<ResultSet>();
    ResultHandle result(mysql_store_result(mysql_.get()));
    if (!result) {
      if (mysql_field_count(mysql_.get()) != 0)
        Fail();
      return out;
    }
    unsigned int count = mysql_num_fields(result.get());
    MYSQL_FIELD* fields = mysql_fetch_fields(result.get());
    out->columns.reserve(count);
    for (unsigned int i = 0; i < count; ++i)
      out->columns.push_back(Describe(fields[i]));
    std::size_t bytes = 0;
    while (mysql_fetch_row(result.get())) {
      unsigned long* lengths = mysql_fetch_lengths(result.get());
      for (unsigned int i = 0; i < count; ++i)
        bytes += lengths[i];
    }
    mysql_data_seek(result.get(), 0);
    out->Reserve(static_cast<std::size_t>(mysql_num_rows(result.get())), bytes);
    while (MYSQL_ROW row = mysql_fetch_row(result.get())) {
      unsigned long* lengths = mysql_fetch_lengths(result.get());
      for (unsigned int i = 0; i < count; ++i) {
        if (row[i]) {
          out->Append(std::string_view(row[i], lengths[i]));
        } else {
          out->AppendNull();
        }
      }
      out->EndRow();
    }
    return out;
  }

  std::int64_t Execute(const std::string& statement) override {
    Run(statement);
    ResultHandle result(mysql_store_result(mysql_.get()));
    if (!result && mysql_field_count(mysql_.get()) != 0)
      Fail();
    return static_cast<std::int64_t>(mysql_affected_rows(mysql_.get()));
  }

  bool Lost() const override { return lost_; }

 private:
  // Sends the statement as GBK with its length, so NUL bytes go through.
  void Run(const std::string& statement) {
    std::string gbk = text::Utf8ToGbk(statement);
    if (mysql_real_query(mysql_.get(), gbk.data(), static_cast<unsigned long>(gbk.size())) != 0) {
      Fail();
    }
  }

  [[noreturn]] void Fail() {
    if (IsLostConnection(mysql_errno(mysql_.get())))
      lost_ = true;
    throw Error(ErrorText());
  }

  // Server messages come in the connection's character set.
  std::string ErrorText() const { return text::GbkToUtf8(mysql_error(mysql_.get())); }

  MysqlHandle mysql_;
  bool lost_ = false;
};

}  // namespace

std::unique_ptr<Session> OpenMySqlSession(const ConnectionParameters& parameters) {
  return std::make_unique<MySqlSession>(parameters);
}

}  // namespace pelvar::db
