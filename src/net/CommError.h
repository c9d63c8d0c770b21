#pragma once

#include <string>

#include "text/Error.h"

namespace pelvar {

// Every failure of the TCP client: connect, line and frame I/O, a lost
// connection. Callers tell it apart from all other errors.
class CommError : public Error {
 public:
  explicit CommError(const std::string& message) : Error(message) {}
};

}  // namespace pelvar
