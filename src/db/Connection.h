#pragma once

#include <memory>
#include <string>

namespace pelvar::db {

class Session;  // one open connection of a provider (Provider.h)

// What a connection is opened with. databaseKind "MySQL" selects the MySQL
// provider, "SQL Server" the ODBC provider; any other text leaves the
// connection without a provider, and Connect then fails.
struct ConnectionParameters {
  std::string databaseKind;
  std::string server;
  std::string database;
  std::string userName;
  std::string password;
  int port = 0;
  // ODBC only: the driver name; empty selects "FreeTDS" on Linux and
  // "SQL Server" on Windows. Tests run the ODBC provider against MariaDB's
  // own ODBC driver through this.
  std::string odbcDriver;
};

// One connection to a database server. No pooling: Connect opens a new
// server connection and Disconnect ends it. Owns its session; queries borrow
// the connection and must not outlive it. An open query's fetched result
// stays readable when the connection closes.
//
// MySQL: always TCP to server:port (also for "localhost"), character set
// gbk, a connect time-out of 15 s and none for statements, no automatic
// reconnection. SQL Server: ODBC with the wide-character calls, a login
// time-out of 15 s, SQL Server authentication with the user name and
// password, no login prompt.
class Connection {
 public:
  Connection();
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // Closes an open connection; the parameters take effect at the next
  // Connect.
  void SetParameters(const ConnectionParameters& parameters);
  const ConnectionParameters& Parameters() const { return parameters_; }

  // Opens a new server connection; an open connection is left as it is.
  // Throws Error with the library's or the server's text and stays closed
  // then. A database type other than "MySQL" or "SQL Server" fails with
  // "No database type was chosen for the relay database." (empty) or
  // "Unknown database type '<type>'.".
  void Connect();
  void Disconnect();
  // True while a server connection is open. A connection the server has
  // dropped counts as open until a statement on it fails; that failure
  // closes it.
  bool Connected() const;

  // The open session; throws Error when the connection is closed.
  Session& CurrentSession();

 private:
  ConnectionParameters parameters_;
  std::unique_ptr<Session> session_;
};

}  // namespace pelvar::db
