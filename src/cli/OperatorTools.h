#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "config/SettingsSchema.h"
#include "relay/RelayConnection.h"
#include "upload/Phase.h"
#include "upload/SiteProfile.h"

// What the operator's commands (check, status, preview, rejected, requeue)
// share: the settings, the relay connection, the journal's recent lines and
// the uploader lock. None of it changes anything.
namespace pelvar::cli {

// The run settings as the cycle loads them; nothing (and the missing-key
// message on standard error) without a settings key.
std::optional<config::RunSettings> LoadOperatorSettings();

// Configures and connects relay with the settings. Throws the database
// library's Error.
void ConnectRelay(relay::RelayConnection& relay, const config::RunSettings& settings);

// The run settings, their site profile and the relay database connected
// with them: where preview, rejected and requeue start.
struct RelaySession {
  config::RunSettings settings;
  upload::SiteProfile profile;
  relay::RelayConnection relay;
};
// Nothing (after the missing-key message) without a settings key; throws the
// database library's Error when the relay cannot be reached.
std::unique_ptr<RelaySession> OpenRelaySession();

// The lines of the journal files of the last days days (today included),
// oldest first, in UTF-8. Unreadable files are left out.
std::vector<std::string> RecentJournalLines(int days);

// The journal's days searched for refusals.
inline constexpr int kJournalSearchDays = 62;

// The last cycle the journal saw (the journal holds only cycles that reached
// the server and were greeted): the stamp of its last line, whether it got
// as far as the identity synchronisation, and how many rows it had refused.
struct LastCycle {
  std::string time;  // empty: no cycle in the journal
  bool completed = false;
  int refused = 0;
};
LastCycle FindLastCycle(const std::vector<std::string>& journalLines);

// Whether an uploader (window program or pelvar-cli run) holds the machine's
// uploader lock right now: "held", "free" or "unknown".
std::string UploaderLockState();

// The phase named name on the command line (see PhaseNames), if any.
std::optional<upload::Phase> PhaseNamed(std::string_view name);
std::string_view PhaseName(upload::Phase phase);
std::string PhaseNames();  // "projects|reports|..." for usage texts

// text as a JSON string literal, quotes included.
std::string JsonString(std::string_view text);

}  // namespace pelvar::cli
