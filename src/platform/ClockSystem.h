#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "text/DateTime.h"

// The system side of the clock seam (ClockPosix.cpp, ClockWin32.cpp); the
// prefix rule that keeps tests off the real clock is in Clock.cpp.
namespace pelvar::platform::clock_system {

// The real clock as local calendar time, in milliseconds on the local clock face.
std::int64_t RealLocalMilliseconds();

// Sets the system clock to a local date and time; failures are not reported.
void SetSystemClock(const text::DateTime& value);

// Whether this process may set the system clock.
bool MaySetSystemClock();

// The first bytes of a small file, empty when it cannot be read; plain
// system calls, as it is read for every clock reading under a prefix.
std::string ReadSmallFile(const std::filesystem::path& path);

}  // namespace pelvar::platform::clock_system
