#pragma once

#include "text/DateTime.h"

namespace pelvar::server {

// The server machine's real local date and time (the server is its own
// machine: no prefix, no clock offset).
text::DateTime LocalTimeNow();

}  // namespace pelvar::server
