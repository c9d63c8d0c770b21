#include "platform/Clock.h"

#include <fcntl.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <string>

#include "platform/Paths.h"

namespace pelvar::platform {
namespace {

// Under a prefix, SetLocalTime keeps the difference to the real clock here.
std::filesystem::path OffsetFilePath() {
  return MachinePrefix() / "var/lib/pelvar/clock-offset";
}

// Read on every call, so that a clock set by another process is seen at
// once; plain system calls keep that to a few microseconds.
std::int64_t StoredOffsetMilliseconds() {
  const int fd = ::open(OffsetFilePath().c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0)
    return 0;
  char text[32];
  const ssize_t length = ::read(fd, text, sizeof text - 1);
  ::close(fd);
  if (length <= 0)
    return 0;
  text[length] = '\0';
  char* end = nullptr;
  errno = 0;
  const long long offset = std::strtoll(text, &end, 10);
  return end != text && errno == 0 ? offset : 0;
}

// The real clock as local calendar time, in milliseconds on the local clock face.
std::int64_t RealLocalMilliseconds() {
  auto now = std::chrono::system_clock::now();
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count();
  std::time_t seconds = static_cast<std::time_t>(ms / 1000);
  std::tm local{};
  localtime_r(&seconds, &local);
  return ms + static_cast<std::int64_t>(local.tm_gmtoff) * 1000;
}

}  // namespace

text::DateTime Now() {
  std::int64_t ms = RealLocalMilliseconds();
  if (!IsRealMachine())
    ms += StoredOffsetMilliseconds();
  return text::DateTime::FromEpochMilliseconds(ms);
}

void SetLocalTime(const text::DateTime& value) {
  if (!IsRealMachine()) {
    std::int64_t offset = value.ToEpochMilliseconds() - RealLocalMilliseconds();
    std::error_code ec;
    std::filesystem::create_directories(OffsetFilePath().parent_path(), ec);
    std::ofstream out(OffsetFilePath(), std::ios::trunc);
    out << offset << '\n';
    return;
  }
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

ClockSetting HowLocalTimeIsSet() {
  if (!IsRealMachine())
    return ClockSetting::kOffset;
  if (geteuid() == 0)
    return ClockSetting::kSystemClock;
  // Without root the clock can still be set with CAP_SYS_TIME (bit 25 of
  // the effective capabilities).
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("CapEff:", 0) == 0) {
      unsigned long long capabilities = std::strtoull(line.c_str() + 7, nullptr, 16);
      return (capabilities >> 25) & 1 ? ClockSetting::kSystemClock : ClockSetting::kNotPermitted;
    }
  }
  return ClockSetting::kNotPermitted;
}

}  // namespace pelvar::platform
