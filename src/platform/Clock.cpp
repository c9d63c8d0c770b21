#include "platform/Clock.h"

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <system_error>

#include "platform/ClockSystem.h"
#include "platform/Paths.h"

namespace pelvar::platform {
namespace {

// Under a prefix, SetLocalTime keeps the difference to the real clock here.
std::filesystem::path OffsetFilePath() {
  return MachinePrefix() / "var/lib/pelvar/clock-offset";
}

// Read on every call, so that a clock set by another process is seen at once.
std::int64_t StoredOffsetMilliseconds() {
  const std::string text = clock_system::ReadSmallFile(OffsetFilePath());
  if (text.empty())
    return 0;
  char* end = nullptr;
  errno = 0;
  const long long offset = std::strtoll(text.c_str(), &end, 10);
  return end != text.c_str() && errno == 0 ? offset : 0;
}

}  // namespace

text::DateTime Now() {
  std::int64_t ms = clock_system::RealLocalMilliseconds();
  if (!IsRealMachine())
    ms += StoredOffsetMilliseconds();
  return text::DateTime::FromEpochMilliseconds(ms);
}

void SetLocalTime(const text::DateTime& value) {
  if (IsRealMachine()) {
    clock_system::SetSystemClock(value);
    return;
  }
  const std::int64_t offset = value.ToEpochMilliseconds() - clock_system::RealLocalMilliseconds();
  std::error_code ec;
  std::filesystem::create_directories(OffsetFilePath().parent_path(), ec);
  std::ofstream out(OffsetFilePath(), std::ios::trunc);
  out << offset << '\n';
}

ClockSetting HowLocalTimeIsSet() {
  if (!IsRealMachine())
    return ClockSetting::kOffset;
  return clock_system::MaySetSystemClock() ? ClockSetting::kSystemClock
                                           : ClockSetting::kNotPermitted;
}

}  // namespace pelvar::platform
