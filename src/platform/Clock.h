#pragma once

#include "text/DateTime.h"

namespace pelvar::platform {

// The only source of "now" in the program: the local date and time.
text::DateTime Now();

// Sets the local date and time. On the real machine this sets the system
// clock (and may fail silently for want of rights); under a prefix it keeps
// an offset in the prefix that Now() applies, so the machine's clock is
// never touched by tests or the demo.
void SetLocalTime(const text::DateTime& value);

// How SetLocalTime takes effect on this machine: the system clock, an offset
// kept in the prefix, or not at all (the program lacks the right to set the
// clock, so the server's time is silently not taken over).
enum class ClockSetting { kSystemClock, kOffset, kNotPermitted };
ClockSetting HowLocalTimeIsSet();

}  // namespace pelvar::platform
