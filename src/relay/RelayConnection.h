#pragma once

#include <cstdint>
#include <string>

#include "db/Connection.h"
#include "db/Query.h"

namespace pelvar::relay {

// The one connection to the relay database with its two query objects:
// UniSend selects the rows to send, UniRunSQL settles them (and serves the
// settings dialog's check of jcjg_cuser). Selecting or executing connects a
// closed connection first; failures throw Error with the provider's or the
// server's message, as db::Query describes.
class RelayConnection {
 public:
  RelayConnection();
  RelayConnection(const RelayConnection&) = delete;
  RelayConnection& operator=(const RelayConnection&) = delete;

  // Closes the connection if open, then applies the parameters. Never
  // connects. Any database kind is accepted here; one other than "MySQL" or
  // "SQL Server" makes the next Connect fail.
  void Configure(const db::ConnectionParameters& parameters);

  // Opening an open connection leaves it as it is; closing a closed one too.
  void Connect();
  void Disconnect();
  bool Connected() const;

  // UniSend runs the SELECT and stands on its first row. The returned query
  // holds the rows until the next Select; its field errors name "UniSend".
  db::Query& Select(const std::string& statement);
  // UniRunSQL runs a statement that returns no rows.
  void Execute(const std::string& statement);
  // Rows the last Execute inserted, changed or deleted (0 after a failure).
  std::int64_t AffectedRows() const;
  // UniRunSQL runs the SELECT and gives its row count; the rows are released.
  int CountRows(const std::string& statement);

 private:
  db::Connection UniConn;
  db::Query UniSend;
  db::Query UniRunSQL;
};

}  // namespace pelvar::relay
