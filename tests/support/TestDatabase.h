#pragma once

// Throwaway databases on a real MariaDB server, for every test that needs
// the relay database.
//
// The server is named by the environment (scripts/test sets these):
//   PELVAR_TEST_MYSQL_HOST, PELVAR_TEST_MYSQL_PORT,
//   PELVAR_TEST_MYSQL_USER, PELVAR_TEST_MYSQL_PASSWORD
// The user must be allowed to create and drop databases. When HOST is not
// set, tests that need the server are skipped, or fail when
// PELVAR_TEST_REQUIRE_MYSQL=1.
//
// Use:
//   TEST(Something, Works) {
//     PELVAR_REQUIRE_TEST_DATABASE();
//     pelvar::test::TestDatabase database;
//     database.Run("create table t (a int); insert into t values (1)");
//     relay.Configure(database.MySqlParameters());
//     ...
//   }

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "db/Connection.h"

namespace pelvar::test {

class TestDatabase {
 public:
  // True when PELVAR_TEST_MYSQL_HOST names a server.
  static bool Configured();
  // True when PELVAR_TEST_REQUIRE_MYSQL=1.
  static bool Required();

  // Creates a database with a name no other test uses (character set gbk,
  // as a relay database has) and opens an administrative connection to it.
  // Throws pelvar::Error when the server cannot be reached.
  TestDatabase();
  // Drops the database.
  ~TestDatabase();
  TestDatabase(const TestDatabase&) = delete;
  TestDatabase& operator=(const TestDatabase&) = delete;

  const std::string& Name() const { return name_; }

  // Runs SQL in UTF-8 on the administrative connection (character set
  // utf8mb4), in this database; several statements separated by ";" are
  // allowed. Throws pelvar::Error with the server's message.
  void Run(const std::string& sql);
  // Every row of a selection, NULL as nullopt; texts in UTF-8.
  std::vector<std::vector<std::optional<std::string>>> Rows(const std::string& sql);
  // The first column of the first row; nullopt for NULL or no row.
  std::optional<std::string> Scalar(const std::string& sql);

  // Ends the server connection with this id (SELECT CONNECTION_ID() of the
  // connection under test), as a server restart would.
  void Kill(std::int64_t connectionId);

  // Parameters for the MySQL provider ("MySQL") on this database.
  db::ConnectionParameters MySqlParameters() const;
  // Parameters for the ODBC provider ("SQL Server") on this database, through
  // MariaDB's ODBC driver "MariaDB Unicode" instead of a SQL Server driver.
  db::ConnectionParameters OdbcParameters() const;

  // A real SQL Server for the tests that need one, named by
  // PELVAR_TEST_MSSQL_HOST (unset: nullopt), PELVAR_TEST_MSSQL_PORT (1433),
  // PELVAR_TEST_MSSQL_USER, PELVAR_TEST_MSSQL_PASSWORD,
  // PELVAR_TEST_MSSQL_DATABASE (tempdb) and PELVAR_TEST_MSSQL_DRIVER (the
  // ODBC provider's default, FreeTDS). Those tests work in temporary
  // tables, so the login needs no rights beyond connecting.
  static std::optional<db::ConnectionParameters> SqlServerParameters();

 private:
  struct Admin;
  std::unique_ptr<Admin> admin_;
  std::string name_;
};

}  // namespace pelvar::test

// Skips the calling test (or fails it, when PELVAR_TEST_REQUIRE_MYSQL=1)
// when no test server is configured. Use at the top of a test body or SetUp.
#define PELVAR_REQUIRE_TEST_DATABASE()                                                 \
  do {                                                                                 \
    if (!::pelvar::test::TestDatabase::Configured()) {                                 \
      if (::pelvar::test::TestDatabase::Required()) {                                  \
        FAIL() << "PELVAR_TEST_REQUIRE_MYSQL=1 but PELVAR_TEST_MYSQL_HOST is not set"; \
      }                                                                                \
      GTEST_SKIP() << "no test database: PELVAR_TEST_MYSQL_HOST is not set";           \
    }                                                                                  \
  } while (false)
