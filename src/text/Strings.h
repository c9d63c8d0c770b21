#pragma once

#include <string>
#include <string_view>

namespace pelvar::text {

// Removes every byte whose code is 32 or less (blanks and control
// characters) from both ends; inner blanks stay.
std::string Trim(std::string_view value);

// True when value is at least as long as prefix and begins with it, ASCII
// letters compared without regard to case.
bool StartsWithNoCase(std::string_view value, std::string_view prefix);

// True when a equals b, ASCII letters compared without regard to case.
bool EqualsNoCase(std::string_view a, std::string_view b);

// ASCII letters a to z become A to Z; every other byte is unchanged.
std::string UpperAscii(std::string_view value);

enum class SqlDialect { kMySql, kSqlServer };

// Makes value safe between single quotes: every quote is doubled, and in the
// MySQL dialect every backslash as well.
std::string EscapeSqlLiteral(std::string_view value, SqlDialect dialect);

}  // namespace pelvar::text
