#pragma once

#include <string>

namespace pelvar::platform {

// A fresh random (version 4) GUID in its 36-character text form: groups of
// 8, 4, 4, 4 and 12 upper-case hexadecimal digits joined by "-", no braces.
std::string NewGuidText();

}  // namespace pelvar::platform
