#include "db/Connection.h"

#include "db/DatabaseKind.h"

#include "db/Provider.h"
#include "text/Error.h"

namespace pelvar::db {

Connection::Connection() = default;
Connection::~Connection() = default;

void Connection::SetParameters(const ConnectionParameters& parameters) {
  Disconnect();
  parameters_ = parameters;
}

void Connection::Connect() {
  if (session_)
    return;
  switch (DatabaseKindOf(parameters_.databaseKind)) {
    case DatabaseKind::kMySql:
      session_ = OpenMySqlSession(parameters_);
      return;
    case DatabaseKind::kSqlServer:
      session_ = OpenOdbcSession(parameters_);
      return;
    case DatabaseKind::kNone:
      throw Error("No database type was chosen for the relay database.");
    case DatabaseKind::kUnknown:
      break;
  }
  throw Error(FormatMessage("Unknown database type '%s'.", parameters_.databaseKind));
}

void Connection::Disconnect() {
  session_.reset();
}

bool Connection::Connected() const {
  return session_ != nullptr;
}

Session& Connection::CurrentSession() {
  if (!session_)
    throw Error("The database connection is not open.");
  return *session_;
}

}  // namespace pelvar::db
