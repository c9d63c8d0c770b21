#include <sys/random.h>

#include <random>

#include "platform/Guid.h"

namespace pelvar::platform {

std::array<std::uint8_t, 16> RandomGuidBytes() {
  std::array<std::uint8_t, 16> b{};
  std::size_t got = 0;
  while (got < b.size()) {
    ssize_t n = getrandom(b.data() + got, b.size() - got, 0);
    if (n <= 0)
      break;
    got += static_cast<std::size_t>(n);
  }
  if (got < b.size()) {
    std::random_device device;
    for (auto& byte : b)
      byte = static_cast<std::uint8_t>(device());
  }
  return b;
}

}  // namespace pelvar::platform
