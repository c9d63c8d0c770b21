#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "relay/RelayConnection.h"
#include "support/FakeSupervisionServer.h"
#include "support/RecordingDisplay.h"
#include "support/ScriptedPeer.h"
#include "support/TempPrefix.h"
#include "support/TestDatabase.h"
#include "upload/ServerLink.h"
#include "upload/SiteProfile.h"

namespace pelvar::testing {

// Replaces every date and time stamp ("2011-5-2", "2011-5-2 8:31:15") with
// "<ts>": they vary from run to run, tests compare the rest.
std::string Normalised(const std::string& line);
std::vector<std::string> Normalised(const std::vector<std::string>& lines);

// One emulated machine for upload cycles: a temporary prefix with its
// journal folder, a fresh relay database holding the sample schema and one
// JCJG_CUSER row for agency J01, the relay connection configured on it, and
// a scripted supervision server. The site profile is agency J01, site code 7.
// Skips (or fails, under scripts/test) without a test database.
class CycleTestBase : public ::testing::Test {
 protected:
  void SetUp() override;

  // One upload cycle with the fixture's parts; whether it got through.
  bool RunCycle();

  // Every journal line of the prefix, all files in path order, in UTF-8 (a
  // cycle that takes over the server's time may move lines to another day).
  std::vector<std::string> JournalLines();

  std::unique_ptr<test::TempPrefix> prefix_;
  std::unique_ptr<test::TestDatabase> database_;
  RecordingDisplay display_;
  upload::ServerLink link_;
  relay::RelayConnection relay_;
  FakeSupervisionServer server_;
  std::unique_ptr<ScriptedPeer> peer_;
  upload::SiteProfile profile_;
};

}  // namespace pelvar::testing
