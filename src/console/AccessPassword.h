#pragma once

#include <string>

#include "text/DateTime.h"

namespace pelvar::console {

// The access password of a date: two-digit day, two-digit month and the last
// two digits of the year ("ddMMyy"); 9 December 2026 gives "091226". The
// password is the same all day and changes at local midnight.
std::string AccessPassword(const text::DateTime& date);

// True when answer equals today's access password byte for byte (no
// trimming). The date is read from the platform clock at the moment of the
// call, which is after the password box has closed.
bool AccessGranted(const std::string& answer);

}  // namespace pelvar::console
