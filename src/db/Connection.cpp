#include "db/Connection.h"

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
  const std::string& type = parameters_.databaseType;
  if (type == "MySQL") {
    session_ = OpenMySqlSession(parameters_);
  } else if (type == "SQL Server") {
    session_ = OpenOdbcSession(parameters_);
  } else if (type.empty()) {
    throw Error("No database type was chosen for the relay database.");
  } else {
    throw Error(FormatMessage("Unknown database type '%s'.", type));
  }
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
