#pragma once

#include <filesystem>
#include <string>

namespace pelvar::platform {

// Who may read a file the program writes.
enum class FileAccess {
  kPublic,   // everyone may read it (0644 when new)
  kPrivate,  // it holds secrets: new files are 0640 in the folder's group;
             // a replaced file keeps its owner and group, and its mode
             // without any access for others
};

// Replaces the file at path with bytes so that a crash at any moment leaves
// either the old or the new file: the bytes go to a temporary file in the
// same folder, are flushed to disk and renamed over path, and the rename is
// flushed too. A kPublic file keeps the old one's permissions (0644 when
// there was none); a kPrivate one is made as FileAccess says. Requires: the
// folder exists. Throws Error naming the path when a symbolic link stands
// there (nothing is written through it). False when any other step fails;
// then path is untouched and no temporary file is left behind.
bool ReplaceFileAtomically(const std::filesystem::path& path, const std::string& bytes,
                           FileAccess access = FileAccess::kPublic);

// The message of the Error a refused symbolic link raises.
std::string SymbolicLinkRefusal(const std::filesystem::path& path);

}  // namespace pelvar::platform
