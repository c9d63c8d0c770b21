#include "relay/RelayConnection.h"

namespace pelvar::relay {

RelayConnection::RelayConnection() : UniSend("UniSend", UniConn), UniRunSQL("UniRunSQL", UniConn) {}

void RelayConnection::Configure(const db::ConnectionParameters& parameters) {
  if (UniConn.Connected())
    UniConn.Disconnect();
  UniConn.SetParameters(parameters);
}

void RelayConnection::Connect() {
  UniConn.Connect();
}

void RelayConnection::Disconnect() {
  UniConn.Disconnect();
}

bool RelayConnection::Connected() const {
  return UniConn.Connected();
}

db::Query& RelayConnection::Select(const std::string& statement) {
  UniSend.Close();
  UniSend.SetText(statement);
  UniSend.Open();
  return UniSend;
}

void RelayConnection::Execute(const std::string& statement) {
  UniRunSQL.SetText(statement);
  UniRunSQL.Execute();
}

std::int64_t RelayConnection::AffectedRows() const {
  return UniRunSQL.AffectedRows();
}

int RelayConnection::CountRows(const std::string& statement) {
  UniRunSQL.SetText(statement);
  UniRunSQL.Open();
  int rows = UniRunSQL.RowCount();
  UniRunSQL.Close();
  return rows;
}

}  // namespace pelvar::relay
