#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/Registry.h"

namespace pelvar::platform {

// One key section of a REGEDIT4 file.
struct RegeditKey {
  // Full name with its root, UTF-8: "HKEY_LOCAL_MACHINE\\SOFTWARE\\ZIRODU".
  std::string name;
  // In file order; the name "" is the default value ("@").
  std::vector<std::pair<std::string, RegValue>> values;
};

// Reads REGEDIT4 text as regedit exports it: GBK, CRLF or LF line ends,
// comment lines starting with ";", hex lists continued over lines with a
// trailing backslash. A key named twice is merged into its first section, a
// value named twice keeps its last data. Empty input is an empty registry.
// Throws Error naming fileName and the line number for anything else,
// including the deletion forms "[-key]" and "name=-" that only imports use.
std::vector<RegeditKey> ParseRegeditText(std::string_view gbk, const std::string& fileName);

// The text of a registry file: "REGEDIT4", a blank line, then per key its
// "[name]" line, its values and a blank line; CRLF line ends, GBK. Texts are
// written as "..." with backslash and double quote escaped, four-byte
// REG_DWORDs as dword:xxxxxxxx, everything else (including a REG_SZ that
// has no single terminating zero or holds a line break) as a hex list, so
// that every value reads back with exactly its bytes.
std::string FormatRegeditText(const std::vector<RegeditKey>& keys);

}  // namespace pelvar::platform
