#pragma once

// The values the providers fetch, in the text forms the servers send them:
// how Field reads dates, times, bit fields and numbers out of them.

#include <cstdint>
#include <string_view>

#include "text/DateTime.h"

namespace pelvar::db {

// "yyyy-mm-dd" or "yyyy-mm-dd hh:mm:ss[.ffffff]"; false for any other text.
// A fraction is kept as milliseconds, truncated.
bool ParseStoredDateTime(std::string_view s, text::DateTime& out);

// The zero date "0000-00-00" the MySQL server stores for "no date".
bool IsZeroDate(const text::DateTime& value);

struct StoredTime {
  bool negative = false;
  int hour = 0;
  int minute = 0;
  int second = 0;
  int millisecond = 0;
};

// "[-]h:mm:ss[.ffffff]" with any number of hour digits; false for any other
// text.
bool ParseStoredTime(std::string_view s, StoredTime& out);

// The number a bit field's bytes hold, most significant byte first.
std::uint64_t BitsValue(std::string_view bytes);

}  // namespace pelvar::db
