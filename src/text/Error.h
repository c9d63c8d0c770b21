#pragma once

#include <stdexcept>
#include <string>

namespace pelvar {

// Every failure in the program is an exception that carries a message text.
// Error is the general kind (database, files, conversions, settings);
// CommError (net/CommError.h) is the one kind callers tell apart.
class Error : public std::runtime_error {
 public:
  explicit Error(const std::string& message) : std::runtime_error(message) {}
};

// Replaces the first "%s" in pattern with value: the settings store and the
// conversions phrase their messages this way.
std::string FormatMessage(const std::string& pattern, const std::string& value);

}  // namespace pelvar
