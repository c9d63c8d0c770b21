#include "db/Query.h"

#include <cstdint>
#include <optional>
#include <string_view>

#include "db/Connection.h"
#include "db/Provider.h"
#include "db/StoredValue.h"
#include "text/Error.h"
#include "text/Gbk.h"
#include "text/Regional.h"
#include "text/Strings.h"

namespace pelvar::db {
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

std::string Field::SubMillisecondDigits() const {
  auto stored = Stored();
  if (!stored || query_->result_->columns[index_].form != ValueForm::kDateTime)
    return {};
  std::size_t point = stored->rfind('.');
  if (point == std::string_view::npos || stored->size() <= point + 4)
    return {};
  return std::string(stored->substr(point + 4));
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
