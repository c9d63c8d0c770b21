#include "ServerDatabase.h"

#include <errmsg.h>
#include <mysql.h>
#include <mysqld_error.h>

#include <string>
#include <utility>
#include <vector>

#include "text/Error.h"

namespace pelvar::server {

extern const char* const kServerSchema;

namespace {

// Errors that say nothing about the statement itself: the connection or the
// server had a passing problem. Answering them as a rejection would make the
// client mark a good row as refused for ever.
bool IsPassing(unsigned code) {
  if (code >= CR_MIN_ERROR && code <= CR_MAX_ERROR)
    return true;
  switch (code) {
    case ER_LOCK_WAIT_TIMEOUT:
    case ER_LOCK_DEADLOCK:
    case ER_CON_COUNT_ERROR:
    case ER_SERVER_SHUTDOWN:
    case ER_QUERY_INTERRUPTED:
    case ER_CONNECTION_KILLED:
    case ER_OUT_OF_RESOURCES:
    case ER_OUTOFMEMORY:
    case ER_RECORD_FILE_FULL:
    case ER_DISK_FULL:
    case ER_OPTION_PREVENTS_STATEMENT:
      return true;
    default:
      return false;
  }
}

MYSQL* Open(const DatabaseOptions& options, const char* database, bool multiStatements) {
  MYSQL* mysql = mysql_init(nullptr);
  if (mysql == nullptr)
    throw Error("out of memory");
  mysql_options(mysql, MYSQL_SET_CHARSET_NAME, "gbk");
  mysql_options(mysql, MYSQL_INIT_COMMAND, "SET SESSION sql_mode='NO_ENGINE_SUBSTITUTION'");
  unsigned long flags = multiStatements ? CLIENT_MULTI_STATEMENTS | CLIENT_MULTI_RESULTS : 0;
  if (mysql_real_connect(mysql, options.host.c_str(), options.user.c_str(),
                         options.password.c_str(), database, options.port, nullptr,
                         flags) == nullptr) {
    std::string message = OneLine(mysql_error(mysql));
    mysql_close(mysql);
    throw Error(message);
  }
  return mysql;
}

// Runs one query (possibly several statements) and reads every result, so
// the connection is ready for the next query. Returns 0 or the first error.
unsigned RunAll(MYSQL* mysql, const std::string& query) {
  if (mysql_real_query(mysql, query.data(), query.size()) != 0)
    return mysql_errno(mysql);
  for (;;) {
    MYSQL_RES* result = mysql_store_result(mysql);
    if (result != nullptr) {
      mysql_free_result(result);
    } else if (mysql_field_count(mysql) != 0) {
      return mysql_errno(mysql);
    }
    int next = mysql_next_result(mysql);
    if (next > 0)
      return mysql_errno(mysql);
    if (next < 0)
      return 0;
  }
}

// True when every column of that name in the database holds dates or
// times: an empty text lands there as the zero date.
bool IsDateColumn(MYSQL* mysql, const std::string& name, unsigned& code) {
  std::string escaped(name.size() * 2 + 1, '\0');
  escaped.resize(mysql_real_escape_string(mysql, escaped.data(), name.data(), name.size()));
  std::string query =
      "SELECT SUM(DATA_TYPE NOT IN ('date','datetime','timestamp','time','year')), COUNT(*) "
      "FROM information_schema.COLUMNS WHERE TABLE_SCHEMA = DATABASE() AND COLUMN_NAME = '" +
      escaped + "'";
  bool dates = false;
  if (mysql_real_query(mysql, query.data(), query.size()) != 0) {
    code = mysql_errno(mysql);
    return false;
  }
  if (MYSQL_RES* result = mysql_store_result(mysql)) {
    MYSQL_ROW row = mysql_fetch_row(result);
    dates = row != nullptr && row[0] != nullptr && row[1] != nullptr &&
            std::string(row[0]) == "0" && std::string(row[1]) != "0";
    mysql_free_result(result);
  } else {
    code = mysql_errno(mysql);
  }
  return dates;
}

// The message of the first warning of the last statement that says a value
// did not fit its column (cut, out of range, not a number), or nothing. An
// empty text is no such value: in a number column it stands for zero, in a
// date column for the zero date, as the client sends it for NULL. code gets
// the error of a query that failed on the way.
std::string ValueThatDidNotFit(MYSQL* mysql, unsigned& code) {
  code = 0;
  if (mysql_warning_count(mysql) == 0)
    return {};
  struct Warning {
    unsigned code;
    std::string message;
  };
  std::vector<Warning> warnings;
  if (mysql_real_query(mysql, "SHOW WARNINGS", 13) != 0) {
    code = mysql_errno(mysql);
    return {};
  }
  if (MYSQL_RES* result = mysql_store_result(mysql)) {
    while (MYSQL_ROW row = mysql_fetch_row(result)) {
      // Notes (a decimal rounded to its scale, say) lose nothing that matters.
      if (row[0] != nullptr && std::string(row[0]) == "Warning" && row[1] && row[2])
        warnings.push_back({static_cast<unsigned>(std::stoul(row[1])), row[2]});
    }
    mysql_free_result(result);
  } else {
    code = mysql_errno(mysql);
    return {};
  }
  for (const Warning& warning : warnings) {
    if (warning.code == ER_TRUNCATED_WRONG_VALUE_FOR_FIELD &&
        warning.message.find(" value: '' for column ") != std::string::npos) {
      continue;
    }
    if (warning.code == WARN_DATA_TRUNCATED) {
      const std::string before = "for column '";
      std::size_t start = warning.message.find(before);
      std::size_t end = start == std::string::npos
                            ? std::string::npos
                            : warning.message.find('\'', start + before.size());
      if (end != std::string::npos &&
          IsDateColumn(mysql,
                       warning.message.substr(start + before.size(), end - start - before.size()),
                       code)) {
        continue;
      }
      if (code != 0)
        return {};
    }
    return warning.message;
  }
  return {};
}

}  // namespace

std::string OneLine(std::string message) {
  for (char& c : message) {
    if (c == '\r' || c == '\n')
      c = ' ';
  }
  return message;
}

ServerDatabase::ServerDatabase(DatabaseOptions options) : options_(std::move(options)) {}

ServerDatabase::~ServerDatabase() {
  Close();
}

void ServerDatabase::Close() {
  if (mysql_ != nullptr) {
    mysql_close(mysql_);
    mysql_ = nullptr;
  }
}

std::string ServerDatabase::EnsureConnected() {
  if (mysql_ != nullptr)
    return {};
  try {
    mysql_ = Open(options_, options_.name.c_str(), true);
    return {};
  } catch (const Error& e) {
    return e.what();
  }
}

Outcome ServerDatabase::ExecuteFrame(const std::string& statements) {
  std::string reason = EnsureConnected();
  if (!reason.empty())
    return {Verdict::kRetry, reason};

  std::string didNotFit;
  unsigned code = RunAll(mysql_, "START TRANSACTION");
  if (code == 0) {
    code = RunAll(mysql_, statements);
    if (code == 0)
      didNotFit = ValueThatDidNotFit(mysql_, code);
    if (code == 0 && didNotFit.empty())
      code = RunAll(mysql_, "COMMIT");
  }
  if (code == 0 && didNotFit.empty())
    return {Verdict::kAccepted, {}};
  if (code == 0) {
    if (RunAll(mysql_, "ROLLBACK") != 0)
      Close();
    return {Verdict::kRejected, OneLine(didNotFit)};
  }

  Outcome outcome{IsPassing(code) ? Verdict::kRetry : Verdict::kRejected,
                  OneLine(mysql_error(mysql_))};
  if (code >= CR_MIN_ERROR && code <= CR_MAX_ERROR) {
    Close();  // reconnect for the next frame
  } else if (RunAll(mysql_, "ROLLBACK") != 0) {
    Close();
  }
  return outcome;
}

void ServerDatabase::CreateSchema(const DatabaseOptions& options) {
  if (options.name.empty() || options.name.find('`') != std::string::npos) {
    throw Error("unusable database name '" + options.name + "'");
  }
  MYSQL* mysql = Open(options, nullptr, true);
  auto fail = [mysql] {
    std::string message = OneLine(mysql_error(mysql));
    mysql_close(mysql);
    throw Error(message);
  };
  if (RunAll(mysql, "CREATE DATABASE IF NOT EXISTS `" + options.name +
                        "` DEFAULT CHARACTER SET gbk") != 0) {
    fail();
  }
  if (mysql_select_db(mysql, options.name.c_str()) != 0)
    fail();
  if (RunAll(mysql, kServerSchema) != 0)
    fail();
  mysql_close(mysql);
}

}  // namespace pelvar::server
