#pragma once

#include <string>

namespace pelvar::platform {

// The logon autostart entry (on Linux an XDG autostart desktop file whose
// Exec line runs the given executable without arguments).
bool AutostartEntryPresent();
// False when the entry cannot be written.
bool WriteAutostartEntry(const std::string& executablePath);
// False when the entry was absent or cannot be removed.
bool RemoveAutostartEntry();

}  // namespace pelvar::platform
