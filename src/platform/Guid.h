#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace pelvar::platform {

// A fresh random (version 4) GUID in its 36-character text form: groups of
// 8, 4, 4, 4 and 12 upper-case hexadecimal digits joined by "-", no braces.
std::string NewGuidText();

// The system backend (GuidPosix.cpp): 16 random bytes, before the version
// and variant bits are set.
std::array<std::uint8_t, 16> RandomGuidBytes();

}  // namespace pelvar::platform
