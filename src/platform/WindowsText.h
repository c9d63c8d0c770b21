#pragma once

#include <string>

// Text at the edge of the Windows API, for the Windows backends only: the
// program's UTF-8 in and out of the wide-character calls, and the system's
// own wording of an error number.
namespace pelvar::platform::windows_text {

// Every character, zeros included; a broken UTF-8 piece becomes U+FFFD.
std::wstring Widen(const std::string& utf8);
std::string Narrow(const std::wstring& wide);

// The system's description of an error number (GetLastError), without the
// trailing line break; "error N" when the system has none.
std::string SystemErrorText(unsigned long error);

}  // namespace pelvar::platform::windows_text
