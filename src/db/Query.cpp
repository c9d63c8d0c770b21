#include "db/Query.h"

#include <charconv>
#include <cstdint>
#include <optional>
#include <string_view>
#include <system_error>

#include "db/Connection.h"
#include "db/Provider.h"
#include "text/Error.h"
#include "text/Gbk.h"
#include "text/Regional.h"
#include "text/Strings.h"

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

// "yyyy-mm-dd" or "yyyy-mm-dd hh:mm:ss[.ffffff]".
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

bool IsZeroDate(const text::DateTime& value) {
  return value.year == 0 && value.month == 0 && value.day == 0;
}

struct StoredTime {
  bool negative = false;
  int hour = 0;
  int minute = 0;
  int second = 0;
  int millisecond = 0;
};

// "[-]h:mm:ss[.ffffff]" with any number of hour digits.
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

std::uint64_t BitsValue(std::string_view bytes) {
  std::uint64_t value = 0;
  for (unsigned char c : bytes)
    value = (value << 8) | c;
  return value;
}

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

namespace {

Error NotADateTime(const std::string& value) {
  return Error(FormatMessage("'%s' is not a valid date and time", value));
}

// Connects a closed connection, runs work on its session, and closes the
// connection when the failure shows that the server has dropped it, so that
// the next statement connects afresh.
template <typename Work>
auto OnSession(Connection& connection, Work work) {
  if (!connection.Connected())
    connection.Connect();
  Session& session = connection.CurrentSession();
  try {
    return work(session);
  } catch (const Error&) {
    if (session.Lost())
      connection.Disconnect();
    throw;
  }
}

}  // namespace

const std::string& Field::Name() const {
  return query_->result_->columns[index_].name;
}

FieldKind Field::DataType() const {
  return query_->result_->columns[index_].kind;
}

std::optional<std::string_view> Field::Stored() const {
  const ResultSet& result = *query_->result_;
  int rows = result.RowCount();
  if (rows == 0)
    return std::nullopt;
  int row = query_->row_ < rows ? query_->row_ : rows - 1;
  return result.Value(row, index_);
}

bool Field::IsNull() const {
  return !Stored().has_value();
}

std::string Field::AsString() const {
  auto stored = Stored();
  if (!stored)
    return std::string();
  std::string_view value = *stored;
  switch (query_->result_->columns[index_].form) {
    case ValueForm::kGbkText:
      return text::GbkToUtf8(value);
    case ValueForm::kUtf8Text:
    case ValueForm::kBytes:
    case ValueForm::kInteger:
      return std::string(value);
    case ValueForm::kBits:
      return std::to_string(BitsValue(value));
    case ValueForm::kFloat:
      return StoredFloatText(value);
    case ValueForm::kBoolean:
      return value == "0" ? "False" : "True";
    case ValueForm::kDate:
    case ValueForm::kDateTime: {
      text::DateTime dateTime;
      if (!ParseStoredDateTime(value, dateTime))
        return std::string(value);
      if (IsZeroDate(dateTime))
        return std::string();
      return query_->result_->columns[index_].form == ValueForm::kDate
                 ? text::ShortDate(dateTime)
                 : text::DateTimeText(dateTime);
    }
    case ValueForm::kTime: {
      StoredTime time;
      if (!ParseStoredTime(value, time))
        return std::string(value);
      text::DateTime clock;
      clock.hour = time.hour;
      clock.minute = time.minute;
      clock.second = time.second;
      std::string out = time.negative ? "-" : "";
      out += text::LongTime(clock);
      return out;
    }
  }
  return std::string(value);
}

std::int32_t Field::AsInteger() const {
  auto stored = Stored();
  if (!stored)
    return 0;
  switch (query_->result_->columns[index_].form) {
    case ValueForm::kInteger:
      return text::ParseInteger(*stored);
    case ValueForm::kBits:
      return text::ParseInteger(std::to_string(BitsValue(*stored)));
    default:
      return text::ParseInteger(AsString());
  }
}

text::DateTime Field::AsDateTime() const {
  auto stored = Stored();
  if (!stored)
    return text::DateTime{};
  switch (query_->result_->columns[index_].form) {
    case ValueForm::kDate:
    case ValueForm::kDateTime: {
      text::DateTime value;
      if (!ParseStoredDateTime(*stored, value))
        throw NotADateTime(std::string(*stored));
      if (IsZeroDate(value))
        return text::DateTime{};
      if (!value.IsValid())
        throw NotADateTime(AsString());
      return value;
    }
    case ValueForm::kTime: {
      // A time of day stands on the zero date, as a time-only value does.
      StoredTime time;
      if (!ParseStoredTime(*stored, time) || time.negative || time.hour > 23) {
        throw NotADateTime(AsString());
      }
      text::DateTime value;
      value.hour = time.hour;
      value.minute = time.minute;
      value.second = time.second;
      value.millisecond = time.millisecond;
      return value;
    }
    case ValueForm::kGbkText:
    case ValueForm::kUtf8Text:
      return text::ParseDateTime(AsString());
    default:
      throw NotADateTime(AsString());
  }
}

Query::Query(std::string name, Connection& connection)
    : name_(std::move(name)), connection_(connection) {}

Query::~Query() = default;

void Query::SetText(const std::string& statement) {
  text_ = statement;
}

void Query::Open() {
  Close();
  Adopt(OnSession(connection_, [this](Session& session) { return session.Select(text_); }));
}

void Query::Adopt(std::unique_ptr<ResultSet> result) {
  int count = static_cast<int>(result->columns.size());
  fields_.reserve(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i)
    fields_.push_back(Field(this, i));
  result_ = std::move(result);
  row_ = 0;
}

void OpenOnResult(Query& query, std::unique_ptr<ResultSet> result) {
  query.Close();
  query.Adopt(std::move(result));
}

void Query::Close() {
  fields_.clear();
  result_.reset();
  row_ = 0;
}

bool Query::IsOpen() const {
  return result_ != nullptr;
}

bool Query::IsEmptyResult() const {
  return RowCount() == 0;
}

int Query::RowCount() const {
  return result_ ? result_->RowCount() : 0;
}

int Query::FieldCount() const {
  return static_cast<int>(fields_.size());
}

const Field& Query::FieldAt(int position) const {
  if (position < 0 || position >= FieldCount()) {
    throw Error(name_ + ": " +
                FormatMessage("Field index %s out of range", std::to_string(position)));
  }
  return fields_[static_cast<std::size_t>(position)];
}

const Field& Query::FieldNamed(const std::string& fieldName) const {
  for (const Field& field : fields_) {
    if (text::EqualsNoCase(field.Name(), fieldName))
      return field;
  }
  throw Error(name_ + ": " + FormatMessage("Field '%s' not found", fieldName));
}

void Query::Next() {
  if (row_ < RowCount())
    ++row_;
}

bool Query::AtEnd() const {
  return row_ >= RowCount();
}

void Query::Execute() {
  Close();
  affectedRows_ = 0;
  affectedRows_ =
      OnSession(connection_, [this](Session& session) { return session.Execute(text_); });
}

}  // namespace pelvar::db
