#pragma once

#include <string>
#include <string_view>

namespace pelvar::text {

// Conversions between the program's UTF-8 and GBK (code page 936), the
// encoding of everything that leaves or enters the program. Both are total:
// they never throw, and a byte sequence that cannot be mapped is replaced
// (U+FFFD towards UTF-8, "?" towards GBK) while the rest of the text is kept.
std::string GbkToUtf8(std::string_view gbk);
std::string Utf8ToGbk(std::string_view utf8);

// True when every byte sequence of gbk maps to a character.
bool IsValidGbk(std::string_view gbk);

}  // namespace pelvar::text
