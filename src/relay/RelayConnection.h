#pragma once

#include <string>

#include "db/Connection.h"
#include "db/Query.h"

namespace pelvar::relay {

// The one connection to the relay database with its two query objects:
// UniSend selects the rows to send, UniRunSQL settles them (and serves the
// settings dialog's check of jcjg_cuser).
class RelayConnection {
 public:
  RelayConnection();

  // Closes the connection if open, then applies the parameters. Never
  // connects. Any database type is accepted here; one other than "MySQL" or
  // "SQL Server" makes the next Connect fail.
  void Configure(const db::ConnectionParameters& parameters);

  db::Connection UniConn;
  db::Query UniSend;
  db::Query UniRunSQL;
};

}  // namespace pelvar::relay
