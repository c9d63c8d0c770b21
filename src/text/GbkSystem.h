#pragma once

#include <string>
#include <vector>

// The system's own converter for code page 936, which the GBK tables of
// text/Gbk are built from once: iconv on POSIX (GbkPosix.cpp), the Windows
// code page functions on Windows (GbkWin32.cpp), so that the program maps
// exactly as every other program on the same machine does.
namespace pelvar::text::gbk_system {

// The character of each sequence (one or two bytes), or 0 where the system
// maps the whole sequence to no single character.
std::vector<char32_t> DecodeEach(const std::vector<std::string>& sequences);

}  // namespace pelvar::text::gbk_system
