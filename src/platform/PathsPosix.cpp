#include <cstdlib>
#include <system_error>

#include "platform/Paths.h"

namespace pelvar::platform {

std::filesystem::path JournalBaseFolder() {
  return MachinePrefix() / "var/log/pelvar/";
}

std::filesystem::path RuntimeFolder() {
  std::filesystem::path folder;
  if (IsRealMachine()) {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    folder = (runtime != nullptr && *runtime != '\0') ? runtime : "/tmp";
  } else {
    folder = MachinePrefix() / "run/pelvar";
  }
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  return folder;
}

std::string ExecutablePath() {
  std::error_code ec;
  auto path = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::string() : path.string();
}

}  // namespace pelvar::platform
