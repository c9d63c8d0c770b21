#include "console/AccessPassword.h"

#include <cstdio>

#include "platform/Clock.h"

namespace pelvar::console {

std::string AccessPassword(const text::DateTime& date) {
  char digits[16];
  std::snprintf(digits, sizeof digits, "%02d%02d%02d", date.day % 100, date.month % 100,
                date.year % 100);
  return digits;
}

bool AccessGranted(const std::string& answer) {
  return answer == AccessPassword(platform::Now());
}

}  // namespace pelvar::console
