#include "relay/RelayConnection.h"

namespace pelvar::relay {

RelayConnection::RelayConnection() : UniSend("UniSend", UniConn), UniRunSQL("UniRunSQL", UniConn) {}

void RelayConnection::Configure(const db::ConnectionParameters& parameters) {
  if (UniConn.Connected())
    UniConn.Disconnect();
  UniConn.SetParameters(parameters);
}

}  // namespace pelvar::relay
