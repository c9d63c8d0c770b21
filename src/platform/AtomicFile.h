#pragma once

#include <filesystem>
#include <string>

namespace pelvar::platform {

// Replaces the file at path with bytes so that a crash at any moment leaves
// either the old or the new file: the bytes go to a temporary file in the
// same folder, are flushed to disk and renamed over path, and the rename is
// flushed too. The new file keeps the old one's permissions (0644 when there
// was none). Requires: the folder exists. False when any step fails; then
// path is untouched and no temporary file is left behind.
bool ReplaceFileAtomically(const std::filesystem::path& path, const std::string& bytes);

}  // namespace pelvar::platform
