#include "db/StoredValue.h"

#include <charconv>
#include <optional>
#include <system_error>

#include "db/Provider.h"
#include "text/Regional.h"

namespace pelvar::db {
namespace {

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// Reads exactly `digits` digits at pos.
bool ReadDigits(std::string_view s, std::size_t& pos, std::size_t digits, int& value) {
  if (s.size() - pos < digits)
    return false;
  value = 0;
  for (std::size_t i = 0; i < digits; ++i, ++pos) {
    if (!IsDigit(s[pos]))
      return false;
    value = value * 10 + (s[pos] - '0');
  }
  return true;
}

// Reads ".ffffff" (any number of digits) as milliseconds, truncating.
bool ReadFraction(std::string_view s, std::size_t& pos, int& millisecond) {
  millisecond = 0;
  if (pos == s.size())
    return true;
  if (s[pos] != '.')
    return false;
  ++pos;
  int scale = 100;
  std::size_t start = pos;
  for (; pos < s.size() && IsDigit(s[pos]); ++pos) {
    millisecond += (s[pos] - '0') * scale;
    scale /= 10;
  }
  return pos > start && pos == s.size();
}

}  // namespace

bool ParseStoredDateTime(std::string_view s, text::DateTime& out) {
  std::size_t pos = 0;
  out = text::DateTime{};
  out.hour = out.minute = out.second = out.millisecond = 0;
  if (!ReadDigits(s, pos, 4, out.year) || pos == s.size() || s[pos++] != '-' ||
      !ReadDigits(s, pos, 2, out.month) || pos == s.size() || s[pos++] != '-' ||
      !ReadDigits(s, pos, 2, out.day)) {
    return false;
  }
  if (pos == s.size())
    return true;
  if (s[pos++] != ' ')
    return false;
  if (!ReadDigits(s, pos, 2, out.hour) || pos == s.size() || s[pos++] != ':' ||
      !ReadDigits(s, pos, 2, out.minute) || pos == s.size() || s[pos++] != ':' ||
      !ReadDigits(s, pos, 2, out.second)) {
    return false;
  }
  return ReadFraction(s, pos, out.millisecond);
}

bool ParseStoredTime(std::string_view s, StoredTime& out) {
  std::size_t pos = 0;
  out = StoredTime{};
  if (pos < s.size() && s[pos] == '-') {
    out.negative = true;
    ++pos;
  }
  std::size_t start = pos;
  for (; pos < s.size() && IsDigit(s[pos]); ++pos) {
    if (out.hour > 100000)
      return false;
    out.hour = out.hour * 10 + (s[pos] - '0');
  }
  if (pos == start || pos == s.size() || s[pos++] != ':' || !ReadDigits(s, pos, 2, out.minute) ||
      pos == s.size() || s[pos++] != ':' || !ReadDigits(s, pos, 2, out.second)) {
    return false;
  }
  return ReadFraction(s, pos, out.millisecond);
}

bool IsZeroDate(const text::DateTime& value) {
  return value.year == 0 && value.month == 0 && value.day == 0;
}

std::uint64_t BitsValue(std::string_view bytes) {
  std::uint64_t value = 0;
  for (unsigned char c : bytes)
    value = (value << 8) | c;
  return value;
}

namespace {

// FloatText of a plain decimal text ("-12.50") without going through a
// double: with at most 15 significant digits and a magnitude within
// 0.0001 <= |value| < 1E15 that is the text without leading and trailing
// zeros, which is exactly what FloatText gives for the nearest double.
// Anything else (exponents, more digits, tiny or huge values) is left to
// FloatText.
std::optional<std::string> PlainDecimalText(std::string_view stored) {
  std::size_t pos = 0;
  bool negative = false;
  if (pos < stored.size() && (stored[pos] == '-' || stored[pos] == '+')) {
    negative = stored[pos] == '-';
    ++pos;
  }
  std::size_t intStart = pos;
  while (pos < stored.size() && IsDigit(stored[pos]))
    ++pos;
  std::string_view integer = stored.substr(intStart, pos - intStart);
  std::string_view fraction;
  if (pos < stored.size() && stored[pos] == '.') {
    std::size_t fractionStart = ++pos;
    while (pos < stored.size() && IsDigit(stored[pos]))
      ++pos;
    fraction = stored.substr(fractionStart, pos - fractionStart);
  }
  if (pos != stored.size() || (integer.empty() && fraction.empty()))
    return std::nullopt;
  while (!integer.empty() && integer.front() == '0')
    integer.remove_prefix(1);
  while (!fraction.empty() && fraction.back() == '0')
    fraction.remove_suffix(1);
  if (integer.empty() && fraction.empty())
    return std::string("0");
  // Integer digits carry no leading zeros and fraction digits no trailing
  // ones, so every digit left between them is significant.
  std::size_t significant = integer.size() + fraction.size();
  if (integer.size() > 15)
    return std::nullopt;
  if (integer.empty()) {
    std::size_t leadingZeros = fraction.find_first_not_of('0');
    if (leadingZeros > 3)
      return std::nullopt;
    significant -= leadingZeros;
  }
  if (significant > 15)
    return std::nullopt;
  std::string out;
  out.reserve(integer.size() + fraction.size() + 3);
  if (negative)
    out.push_back('-');
  if (integer.empty()) {
    out.push_back('0');
  } else {
    out.append(integer);
  }
  if (!fraction.empty()) {
    out.push_back('.');
    out.append(fraction);
  }
  return out;
}

}  // namespace

std::string StoredFloatText(std::string_view stored) {
  if (auto plain = PlainDecimalText(stored))
    return *plain;
  if (!stored.empty() && stored.front() == '+')
    stored.remove_prefix(1);
  double value = 0;
  auto [end, error] = std::from_chars(stored.data(), stored.data() + stored.size(), value);
  if (error != std::errc() || end != stored.data() + stored.size())
    return std::string(stored);
  return text::FloatText(value);
}

}  // namespace pelvar::db
