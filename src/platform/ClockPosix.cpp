#include <fcntl.h>
#include <sys/time.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <fstream>

#include "platform/ClockSystem.h"

namespace pelvar::platform::clock_system {

std::int64_t RealLocalMilliseconds() {
  auto now = std::chrono::system_clock::now();
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count();
  std::time_t seconds = static_cast<std::time_t>(ms / 1000);
  std::tm local{};
  localtime_r(&seconds, &local);
  return ms + static_cast<std::int64_t>(local.tm_gmtoff) * 1000;
}

void SetSystemClock(const text::DateTime& value) {
  std::tm local{};
  local.tm_year = value.year - 1900;
  local.tm_mon = value.month - 1;
  local.tm_mday = value.day;
  local.tm_hour = value.hour;
  local.tm_min = value.minute;
  local.tm_sec = value.second;
  local.tm_isdst = -1;
  std::time_t seconds = std::mktime(&local);
  if (seconds == static_cast<std::time_t>(-1))
    return;
  timeval tv{seconds, static_cast<suseconds_t>(value.millisecond) * 1000};
  // Without the right to set the clock this fails; like the Windows call,
  // the result is not examined.
  (void)settimeofday(&tv, nullptr);
}

bool MaySetSystemClock() {
  if (geteuid() == 0)
    return true;
  // Without root the clock can still be set with CAP_SYS_TIME (bit 25 of
  // the effective capabilities).
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("CapEff:", 0) == 0) {
      unsigned long long capabilities = std::strtoull(line.c_str() + 7, nullptr, 16);
      return (capabilities >> 25) & 1;
    }
  }
  return false;
}

std::string ReadSmallFile(const std::filesystem::path& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0)
    return {};
  char text[32];
  const ssize_t length = ::read(fd, text, sizeof text);
  ::close(fd);
  return length > 0 ? std::string(text, static_cast<std::size_t>(length)) : std::string();
}

}  // namespace pelvar::platform::clock_system
