#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "text/DateTime.h"

namespace pelvar::text {

// The machine's regional forms. On Linux they are fixed: short date
// "yyyy-M-d", long time "H:mm:ss", decimal point ".".

// "2011-5-2"
std::string ShortDate(const DateTime& value);
// "8:31:15"
std::string LongTime(const DateTime& value);

// The time stamp of log and journal lines: short date, a blank, long time;
// the date alone when the value is exactly midnight (milliseconds included).
std::string TimeStamp(const DateTime& value);

// Text form of a date-and-time column: as TimeStamp, but the date alone
// whenever hours, minutes and seconds are zero (milliseconds not looked at).
std::string DateTimeText(const DateTime& value);

// The key pattern "yyyy-MM-dd hh:mm:ss:zzz": 2011-05-02 14:07:09:045.
std::string KeyDateTime(const DateTime& value);

// Text form of a floating-point value: shortest general form with at most
// 15 significant digits, no trailing zeros; exponent form ("1E15", "1E-5",
// "1.5E-7") outside 0.0001 <= |value| < 1E15.
std::string FloatText(double value);

// Reads a regional date and time as the server sends it: a short date,
// optionally followed by blanks and a long time ("H:mm" or "H:mm:ss", with or
// without leading zeros, optional ".zzz" milliseconds). Surrounding blanks
// are allowed. Throws Error "'%s' is not a valid date and time" otherwise.
DateTime ParseDateTime(std::string_view text);

// Reads a whole decimal number (optional sign, leading blanks allowed) that
// fits in 32 bits. Throws Error "'%s' is not a valid integer value".
std::int32_t ParseInteger(std::string_view text);

}  // namespace pelvar::text
