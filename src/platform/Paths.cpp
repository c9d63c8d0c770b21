#include "platform/Paths.h"

#include <cstdlib>
#include <system_error>

namespace pelvar::platform {

std::filesystem::path MachinePrefix() {
  const char* prefix = std::getenv("PELVAR_PREFIX");
  if (prefix == nullptr || *prefix == '\0')
    return "/";
  return prefix;
}

bool IsRealMachine() {
  auto prefix = MachinePrefix();
  if (prefix == "/")
    return true;
  // Asked for every clock reading: the answer is kept for the prefix last asked about.
  thread_local std::filesystem::path lastPrefix;
  thread_local bool lastAnswer = false;
  if (prefix != lastPrefix) {
    std::error_code ec;
    lastAnswer = std::filesystem::equivalent(prefix, "/", ec);
    lastPrefix = prefix;
  }
  return lastAnswer;
}

std::filesystem::path RegistryFilePath() {
  return MachinePrefix() / "etc/pelvar/machine.reg";
}

std::filesystem::path AutostartEntryPath() {
  return MachinePrefix() / "etc/xdg/autostart/zqjcPelvarAuto.desktop";
}

}  // namespace pelvar::platform
