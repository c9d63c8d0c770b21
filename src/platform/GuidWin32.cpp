#include <objbase.h>
#include <windows.h>

#include "platform/Guid.h"

namespace pelvar::platform {

// The system's GUID in the byte order of its text form, so that the text
// reads as the system would write it.
std::array<std::uint8_t, 16> RandomGuidBytes() {
  GUID guid{};
  (void)::CoCreateGuid(&guid);
  std::array<std::uint8_t, 16> b{};
  for (int i = 0; i < 4; ++i)
    b[i] = static_cast<std::uint8_t>(guid.Data1 >> (24 - 8 * i));
  b[4] = static_cast<std::uint8_t>(guid.Data2 >> 8);
  b[5] = static_cast<std::uint8_t>(guid.Data2);
  b[6] = static_cast<std::uint8_t>(guid.Data3 >> 8);
  b[7] = static_cast<std::uint8_t>(guid.Data3);
  for (int i = 0; i < 8; ++i)
    b[8 + i] = guid.Data4[i];
  return b;
}

}  // namespace pelvar::platform
