#pragma once

#include <compare>
#include <cstdint>

namespace pelvar::text {

// A local calendar date and time with milliseconds, no time zone. The
// default value is the zero date-time, 30 December 1899 00:00:00.000, which
// is what a NULL date-time column reads as.
struct DateTime {
  int year = 1899;
  int month = 12;
  int day = 30;
  int hour = 0;
  int minute = 0;
  int second = 0;
  int millisecond = 0;

  // Milliseconds since 1970-01-01 00:00:00.000 on the same (zone-less) clock
  // face, and back. Used for arithmetic and for the clock seam.
  std::int64_t ToEpochMilliseconds() const;
  static DateTime FromEpochMilliseconds(std::int64_t ms);

  // True when every field is within its calendar range (day within month).
  bool IsValid() const;
  bool IsMidnight() const { return hour == 0 && minute == 0 && second == 0; }

  auto operator<=>(const DateTime&) const = default;
};

}  // namespace pelvar::text
