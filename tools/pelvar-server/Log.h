#pragma once

#include <string>

namespace pelvar::server {

// The server's session log on standard output: one UTF-8 line per event,
// prefixed with the local time, written whole and flushed at once even when
// several sessions log together.
void LogLine(const std::string& text);

}  // namespace pelvar::server
