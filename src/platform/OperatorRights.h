#pragma once

#include <string>
#include <vector>

namespace pelvar::platform {

// One right that installation gives the machine's operators, and whether it
// was given.
struct OperatorRight {
  std::string what;  // e.g. "settings key HKLM\SOFTWARE\ZIRODU\DAVIV"
  bool granted = false;
  std::string detail;  // the system's reason when it was not
};

// The administrator's one step at installation, so that a standard account
// can run the uploader: the local Users group may change the settings key
// (created when missing, in the registry view the program uses) and write
// below the journal's base folder (created when missing); with clock, the
// group also gets the right to set the system clock. The machine-wide
// autostart entry stays an administrator's to change. Each right is tried
// whatever happened to the ones before; nothing is taken away. On Linux the
// package's installation does this (the pelvar group), so the list is empty.
std::vector<OperatorRight> GrantOperatorRights(const std::string& settingsKeyPath, bool clock);

}  // namespace pelvar::platform
