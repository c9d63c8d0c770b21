#include "text/Error.h"

namespace pelvar {

std::string FormatMessage(const std::string& pattern, const std::string& value) {
  std::string out = pattern;
  auto at = out.find("%s");
  if (at != std::string::npos)
    out.replace(at, 2, value);
  return out;
}

}  // namespace pelvar
