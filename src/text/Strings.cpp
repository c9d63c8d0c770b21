#include "text/Strings.h"

namespace pelvar::text {
namespace {

char LowerAscii(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

std::string Trim(std::string_view value) {
  std::size_t begin = 0;
  std::size_t end = value.size();
  while (begin < end && static_cast<unsigned char>(value[begin]) <= 32)
    ++begin;
  while (end > begin && static_cast<unsigned char>(value[end - 1]) <= 32)
    --end;
  return std::string(value.substr(begin, end - begin));
}

bool StartsWithNoCase(std::string_view value, std::string_view prefix) {
  return value.size() >= prefix.size() && EqualsNoCase(value.substr(0, prefix.size()), prefix);
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size())
    return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (LowerAscii(a[i]) != LowerAscii(b[i]))
      return false;
  }
  return true;
}

std::string UpperAscii(std::string_view value) {
  std::string out(value);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z')
      c = static_cast<char>(c - 'a' + 'A');
  }
  return out;
}

std::string EscapeSqlLiteral(std::string_view value, SqlDialect dialect) {
  std::string out;
  out.reserve(value.size() + 8);
  for (char c : value) {
    if (c == '\'' || (c == '\\' && dialect == SqlDialect::kMySql))
      out.push_back(c);
    out.push_back(c);
  }
  return out;
}

}  // namespace pelvar::text
