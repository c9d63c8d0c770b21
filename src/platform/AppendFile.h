#pragma once

#include <cstdio>
#include <filesystem>
#include <string>

namespace pelvar::platform {

// Opens a file for appending, creating it when missing, without following a
// symbolic link in place of the file or of the folder holding it: writes
// land in that folder or nowhere. The stream is unbuffered. Returns nullptr
// and sets reason (a sentence for the user) when the file cannot be opened,
// is a link or is no regular file.
std::FILE* OpenFileForAppending(const std::filesystem::path& path, std::string& reason);

}  // namespace pelvar::platform
