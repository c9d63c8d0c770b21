#pragma once

#include <string>

namespace pelvar::platform {

// The logon autostart entry: on Linux the XDG autostart desktop file
// AutostartEntryPath() whose Exec line runs the given executable without
// arguments (quoted as desktop files require when the path holds blanks or
// other reserved characters). Writing replaces the file atomically and
// creates its folders.
bool AutostartEntryPresent();
// False when the entry cannot be written.
bool WriteAutostartEntry(const std::string& executablePath);
// False when the entry was absent or cannot be removed.
bool RemoveAutostartEntry();

}  // namespace pelvar::platform
