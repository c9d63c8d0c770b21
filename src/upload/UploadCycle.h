#pragma once

#include <functional>
#include <string>

#include "upload/Display.h"
#include "upload/Journal.h"
#include "upload/Phase.h"
#include "upload/ServerLink.h"
#include "upload/SiteProfile.h"

namespace pelvar::relay {
class RelayConnection;
}
namespace pelvar::db {
class Query;
}

namespace pelvar::upload {

// One pass over the relay database: reconnect it, open a server session,
// check the greeting, run the five phases, agree a fresh identifier, close.
// Borrows the relay connection, the link, the display and the site profile;
// keeps nothing from one cycle to the next (the relay send states are the
// only memory).
class UploadCycle {
 public:
  UploadCycle(relay::RelayConnection& relay, ServerLink& link, Display& display,
              const SiteProfile& profile, std::function<void()> pump);

  // Reports everything in the log view, the lights and the journal, and
  // returns normally also when the cycle failed: errors of the database,
  // the network and the machine are caught here. Only an error of the
  // reporting itself reaches the caller. Returns true when the cycle got
  // through to its end, false when it ended through a failure (relay
  // database, server, greeting, journal).
  bool RunUploadCycle();

  // One phase: select, announce, send, settle. Requires: relay connection
  // usable, session open with its greeting accepted, journal open. Errors
  // propagate.
  void RunPhase(Phase phase);

  // Sends a fresh identifier; on acceptance stores it in JCJG_CUSER and takes
  // over the server's time. Errors propagate.
  void SynchroniseIdentity();

 private:
  bool RunCycleBody();
  void SettleRow(Phase phase, const db::Query& row, const std::string& reply,
                 const std::string& keyClause);
  void RunOnRelay(const std::string& statement);
  int CountPending();

  relay::RelayConnection& relay_;
  ServerLink& link_;
  Display& display_;
  const SiteProfile& profile_;
  std::function<void()> pump_;
  Journal journal_;
  int successCounter_ = 0;
  CycleOutcome outcome_;
};

}  // namespace pelvar::upload
