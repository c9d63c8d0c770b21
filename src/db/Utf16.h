#pragma once

#include <string>
#include <string_view>

namespace pelvar::db {

// Conversions between the program's UTF-8 and the UTF-16 of the ODBC
// wide-character calls, so that no code page stands between us and the
// driver. Both are total: an ill-formed sequence (a stray or truncated UTF-8
// byte sequence, an unpaired surrogate) becomes U+FFFD and the rest is kept.
std::u16string Utf8ToUtf16(std::string_view utf8);
std::string Utf16ToUtf8(std::u16string_view utf16);

}  // namespace pelvar::db
