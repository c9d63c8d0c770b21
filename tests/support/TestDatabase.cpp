#include "support/TestDatabase.h"

#include <mysql.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <random>

#include "text/Error.h"

namespace pelvar::test {
namespace {

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

std::string UniqueName() {
  static std::atomic<int> counter{0};
  std::random_device device;
  char name[64];
  std::snprintf(name, sizeof name, "pelvar_test_%ld_%d_%08x", static_cast<long>(getpid()),
                counter++, static_cast<unsigned>(device()));
  return name;
}

}  // namespace

struct TestDatabase::Admin {
  MYSQL* mysql = nullptr;
  ~Admin() {
    if (mysql)
      mysql_close(mysql);
  }
  [[noreturn]] void Fail() const { throw Error(mysql_error(mysql)); }
};

bool TestDatabase::Configured() {
  return !Environment("PELVAR_TEST_MYSQL_HOST").empty();
}

bool TestDatabase::Required() {
  return Environment("PELVAR_TEST_REQUIRE_MYSQL") == "1";
}

TestDatabase::TestDatabase() : admin_(std::make_unique<Admin>()), name_(UniqueName()) {
  if (!Configured())
    throw Error("PELVAR_TEST_MYSQL_HOST is not set");
  admin_->mysql = mysql_init(nullptr);
  if (!admin_->mysql)
    throw Error("mysql_init failed");
  unsigned int protocol = MYSQL_PROTOCOL_TCP;
  mysql_options(admin_->mysql, MYSQL_OPT_PROTOCOL, &protocol);
  mysql_options(admin_->mysql, MYSQL_SET_CHARSET_NAME, "utf8mb4");
  db::ConnectionParameters server = MySqlParameters();
  if (!mysql_real_connect(admin_->mysql, server.server.c_str(), server.userName.c_str(),
                          server.password.c_str(), nullptr, static_cast<unsigned int>(server.port),
                          nullptr, CLIENT_MULTI_STATEMENTS)) {
    admin_->Fail();
  }
  Run("CREATE DATABASE `" + name_ + "` CHARACTER SET gbk");
  if (mysql_select_db(admin_->mysql, name_.c_str()) != 0)
    admin_->Fail();
}

TestDatabase::~TestDatabase() {
  try {
    Run("DROP DATABASE IF EXISTS `" + name_ + "`");
  } catch (const Error& error) {
    std::fprintf(stderr, "could not drop test database %s: %s\n", name_.c_str(), error.what());
  }
}

void TestDatabase::Run(const std::string& sql) {
  Rows(sql);
}

std::vector<std::vector<std::optional<std::string>>> TestDatabase::Rows(const std::string& sql) {
  MYSQL* mysql = admin_->mysql;
  if (mysql_real_query(mysql, sql.data(), static_cast<unsigned long>(sql.size())) != 0) {
    admin_->Fail();
  }
  // The rows of the first result; every further result is drained, so that
  // a failure of a later statement is reported.
  std::vector<std::vector<std::optional<std::string>>> rows;
  bool first = true;
  for (;;) {
    MYSQL_RES* result = mysql_store_result(mysql);
    if (result) {
      unsigned int count = mysql_num_fields(result);
      while (MYSQL_ROW row = mysql_fetch_row(result)) {
        if (!first)
          continue;
        unsigned long* lengths = mysql_fetch_lengths(result);
        auto& out = rows.emplace_back();
        for (unsigned int i = 0; i < count; ++i) {
          if (row[i]) {
            out.emplace_back(std::string(row[i], lengths[i]));
          } else {
            out.emplace_back(std::nullopt);
          }
        }
      }
      mysql_free_result(result);
      first = false;
    } else if (mysql_field_count(mysql) != 0) {
      admin_->Fail();
    }
    int next = mysql_next_result(mysql);
    if (next > 0)
      admin_->Fail();
    if (next < 0)
      break;
  }
  return rows;
}

std::optional<std::string> TestDatabase::Scalar(const std::string& sql) {
  auto rows = Rows(sql);
  if (rows.empty() || rows[0].empty())
    return std::nullopt;
  return rows[0][0];
}

void TestDatabase::Kill(std::int64_t connectionId) {
  Run("KILL CONNECTION " + std::to_string(connectionId));
}

db::ConnectionParameters TestDatabase::MySqlParameters() const {
  db::ConnectionParameters parameters;
  parameters.databaseKind = "MySQL";
  parameters.server = Environment("PELVAR_TEST_MYSQL_HOST");
  parameters.port = std::atoi(Environment("PELVAR_TEST_MYSQL_PORT").c_str());
  parameters.userName = Environment("PELVAR_TEST_MYSQL_USER");
  parameters.password = Environment("PELVAR_TEST_MYSQL_PASSWORD");
  parameters.database = name_;
  return parameters;
}

db::ConnectionParameters TestDatabase::OdbcParameters() const {
  db::ConnectionParameters parameters = MySqlParameters();
  parameters.databaseKind = "SQL Server";
  parameters.odbcDriver = "MariaDB Unicode";
  return parameters;
}

std::optional<db::ConnectionParameters> TestDatabase::SqlServerParameters() {
  if (Environment("PELVAR_TEST_MSSQL_HOST").empty())
    return std::nullopt;
  db::ConnectionParameters parameters;
  parameters.databaseKind = "SQL Server";
  parameters.server = Environment("PELVAR_TEST_MSSQL_HOST");
  std::string port = Environment("PELVAR_TEST_MSSQL_PORT");
  parameters.port = port.empty() ? 1433 : std::atoi(port.c_str());
  parameters.userName = Environment("PELVAR_TEST_MSSQL_USER");
  parameters.password = Environment("PELVAR_TEST_MSSQL_PASSWORD");
  parameters.database = Environment("PELVAR_TEST_MSSQL_DATABASE");
  if (parameters.database.empty())
    parameters.database = "tempdb";
  parameters.odbcDriver = Environment("PELVAR_TEST_MSSQL_DRIVER");
  return parameters;
}

}  // namespace pelvar::test
