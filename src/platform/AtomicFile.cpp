#include "platform/AtomicFile.h"

namespace pelvar::platform {

std::string SymbolicLinkRefusal(const std::filesystem::path& path) {
  return "'" + path.string() + "' is a symbolic link; nothing is written through it.";
}

}  // namespace pelvar::platform
