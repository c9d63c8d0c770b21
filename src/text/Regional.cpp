#include "text/Regional.h"

#include <cmath>
#include <cstdio>
#include <limits>

#include "text/Error.h"

namespace pelvar::text {
namespace {

std::string Printf(const char* format, auto... args) {
  char buffer[64];
  int n = std::snprintf(buffer, sizeof buffer, format, args...);
  return std::string(buffer, n > 0 ? static_cast<std::size_t>(n) : 0);
}

// Appends value in decimal, zero-padded to width digits.
void AppendNumber(std::string& out, int value, int width) {
  char digits[12];
  int n = 0;
  unsigned v = value < 0 ? static_cast<unsigned>(-value) : static_cast<unsigned>(value);
  do {
    digits[n++] = static_cast<char>('0' + v % 10);
    v /= 10;
  } while (v != 0 && n < 11);
  if (value < 0)
    out.push_back('-');
  for (int i = n; i < width; ++i)
    out.push_back('0');
  while (n > 0)
    out.push_back(digits[--n]);
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}
bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// Reads 1 to maxDigits digits at pos into value.
bool ReadNumber(std::string_view s, std::size_t& pos, int maxDigits, int& value) {
  int digits = 0;
  value = 0;
  while (pos < s.size() && IsDigit(s[pos]) && digits < maxDigits) {
    value = value * 10 + (s[pos] - '0');
    ++pos;
    ++digits;
  }
  return digits > 0 && !(pos < s.size() && IsDigit(s[pos]));
}

bool Expect(std::string_view s, std::size_t& pos, char c) {
  if (pos < s.size() && s[pos] == c) {
    ++pos;
    return true;
  }
  return false;
}

}  // namespace

// These two run for every date column of every row read, so they avoid
// the cost of printf-style formatting.
std::string ShortDate(const DateTime& value) {
  std::string out;
  out.reserve(10);
  AppendNumber(out, value.year, 1);
  out.push_back('-');
  AppendNumber(out, value.month, 1);
  out.push_back('-');
  AppendNumber(out, value.day, 1);
  return out;
}

std::string LongTime(const DateTime& value) {
  std::string out;
  out.reserve(8);
  AppendNumber(out, value.hour, 1);
  out.push_back(':');
  AppendNumber(out, value.minute, 2);
  out.push_back(':');
  AppendNumber(out, value.second, 2);
  return out;
}

std::string TimeStamp(const DateTime& value) {
  if (value.IsMidnight() && value.millisecond == 0)
    return ShortDate(value);
  return ShortDate(value) + " " + LongTime(value);
}

std::string DateTimeText(const DateTime& value) {
  if (value.IsMidnight())
    return ShortDate(value);
  return ShortDate(value) + " " + LongTime(value);
}

std::string KeyDateTime(const DateTime& value) {
  return Printf("%04d-%02d-%02d %02d:%02d:%02d:%03d", value.year, value.month, value.day,
                value.hour, value.minute, value.second, value.millisecond);
}

std::string FloatText(double value) {
  if (std::isnan(value))
    return "NAN";
  if (std::isinf(value))
    return value > 0 ? "INF" : "-INF";
  if (value == 0)
    return "0";
  // %.15g already switches to exponent form exactly outside
  // 0.0001 <= |value| < 1E15 and drops trailing zeros; only the exponent's
  // spelling differs: "1e+15" becomes "1E15", "1e-05" becomes "1E-5".
  std::string s = Printf("%.15g", value);
  auto e = s.find('e');
  if (e == std::string::npos)
    return s;
  std::string mantissa = s.substr(0, e);
  std::string exponent = s.substr(e + 1);
  bool negative = !exponent.empty() && exponent[0] == '-';
  std::size_t digits = exponent.find_first_not_of("+-0");
  std::string out = mantissa + "E" + (negative ? "-" : "");
  out += digits == std::string::npos ? "0" : exponent.substr(digits);
  return out;
}

DateTime ParseDateTime(std::string_view text) {
  auto fail = [&]() -> Error {
    return Error(FormatMessage("'%s' is not a valid date and time", std::string(text)));
  };
  std::size_t pos = 0;
  while (pos < text.size() && IsBlank(text[pos]))
    ++pos;
  DateTime out;
  out.hour = out.minute = out.second = out.millisecond = 0;
  if (!ReadNumber(text, pos, 4, out.year) || !Expect(text, pos, '-') ||
      !ReadNumber(text, pos, 2, out.month) || !Expect(text, pos, '-') ||
      !ReadNumber(text, pos, 2, out.day)) {
    throw fail();
  }
  std::size_t afterDate = pos;
  while (pos < text.size() && IsBlank(text[pos]))
    ++pos;
  if (pos < text.size() && pos > afterDate) {
    if (!ReadNumber(text, pos, 2, out.hour) || !Expect(text, pos, ':') ||
        !ReadNumber(text, pos, 2, out.minute)) {
      throw fail();
    }
    if (Expect(text, pos, ':')) {
      if (!ReadNumber(text, pos, 2, out.second))
        throw fail();
      if (Expect(text, pos, '.')) {
        if (!ReadNumber(text, pos, 3, out.millisecond))
          throw fail();
      }
    }
  }
  while (pos < text.size() && IsBlank(text[pos]))
    ++pos;
  if (pos != text.size() || !out.IsValid())
    throw fail();
  return out;
}

std::int32_t ParseInteger(std::string_view text) {
  auto fail = [&]() -> Error {
    return Error(FormatMessage("'%s' is not a valid integer value", std::string(text)));
  };
  std::size_t pos = 0;
  while (pos < text.size() && text[pos] == ' ')
    ++pos;
  bool negative = false;
  if (pos < text.size() && (text[pos] == '-' || text[pos] == '+')) {
    negative = text[pos] == '-';
    ++pos;
  }
  if (pos == text.size())
    throw fail();
  std::int64_t value = 0;
  for (; pos < text.size(); ++pos) {
    if (!IsDigit(text[pos]))
      throw fail();
    value = value * 10 + (text[pos] - '0');
    if (value > static_cast<std::int64_t>(std::numeric_limits<std::int32_t>::max()) + 1) {
      throw fail();
    }
  }
  if (negative)
    value = -value;
  if (value > std::numeric_limits<std::int32_t>::max() ||
      value < std::numeric_limits<std::int32_t>::min()) {
    throw fail();
  }
  return static_cast<std::int32_t>(value);
}

}  // namespace pelvar::text
