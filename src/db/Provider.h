#pragma once

// The interface between Connection/Query and the two database providers.
// Only the db library itself and its tests include this header.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "db/Connection.h"
#include "db/Query.h"

namespace pelvar::db {

// How a column's stored bytes are to be read. Every provider stores its
// values in one of these forms, so Field renders them the same way for all.
enum class ValueForm {
  kGbkText,   // text in GBK, converted to UTF-8 when read
  kUtf8Text,  // text already in UTF-8
  kBytes,     // binary data, handed out unchanged
  kInteger,   // decimal digits with an optional minus sign
  kBits,      // big-endian unsigned bit field, read as its decimal number
  kFloat,     // a decimal or exponent number in C notation ("12.50", "1.5e-07")
  kBoolean,   // "1" or "0", read as "True" or "False"
  kDate,      // "yyyy-mm-dd"
  kTime,      // "[-]h:mm:ss[.ffffff]", hours may exceed 23
  kDateTime,  // "yyyy-mm-dd hh:mm:ss[.ffffff]"
};

struct Column {
  std::string name;  // UTF-8
  FieldKind kind = FieldKind::kOther;
  ValueForm form = ValueForm::kUtf8Text;
};

// A whole fetched result: the query's own copy, independent of the session
// that produced it. Values are kept back to back in one buffer.
struct ResultSet {
  std::vector<Column> columns;

  int RowCount() const { return rowCount_; }

  // The value at (row, column); nullopt for NULL.
  // Requires: 0 <= row < RowCount(), 0 <= column < columns.size().
  std::optional<std::string_view> Value(int row, int column) const {
    const Cell& cell =
        cells_[static_cast<std::size_t>(row) * columns.size() + static_cast<std::size_t>(column)];
    if (cell.length == kNull)
      return std::nullopt;
    return std::string_view(data_.data() + cell.offset, cell.length);
  }

  // Filling, row by row: columns.size() calls of Append or AppendNull, then
  // EndRow.
  void Append(std::string_view value) {
    cells_.push_back({data_.size(), value.size()});
    data_.append(value);
  }
  void AppendNull() { cells_.push_back({0, kNull}); }
  void EndRow() { ++rowCount_; }
  void Reserve(std::size_t rows, std::size_t bytes) {
    cells_.reserve(rows * columns.size());
    data_.reserve(bytes);
  }

 private:
  static constexpr std::size_t kNull = static_cast<std::size_t>(-1);
  struct Cell {
    std::size_t offset;
    std::size_t length;
  };
  std::string data_;
  std::vector<Cell> cells_;
  int rowCount_ = 0;
};

// One open server connection. Statement texts are UTF-8; the provider puts
// them on the wire in its own encoding. Every failure throws Error with the
// library's or the server's text.
class Session {
 public:
  virtual ~Session() = default;

  // Runs a statement and fetches every row of its result. A statement that
  // produces no result gives a result without columns or rows.
  virtual std::unique_ptr<ResultSet> Select(const std::string& statement) = 0;

  // Runs a statement and gives the number of rows it inserted, changed or
  // deleted. A result it produces is fetched and dropped.
  virtual std::int64_t Execute(const std::string& statement) = 0;

  // True once a failure has shown that the server connection is gone (the
  // server closed it, or the link broke). Such a session is not used again.
  virtual bool Lost() const = 0;
};

// The text form of a number stored in the kFloat form: text::FloatText of
// its value (plain decimal texts take a shortcut that gives the same text).
// A text that is no number is returned unchanged.
std::string StoredFloatText(std::string_view stored);

// Opens query on result as Open would on a fetched result, positioned on
// its first row, without running anything on the query's connection (which
// stays as it is). For the tests and fuzz targets that need rows of chosen
// columns and stored values; the program itself always calls Open.
void OpenOnResult(Query& query, std::unique_ptr<ResultSet> result);

// Open a new server connection; throw Error with the library's or the
// server's text when that fails.
std::unique_ptr<Session> OpenMySqlSession(const ConnectionParameters& parameters);
std::unique_ptr<Session> OpenOdbcSession(const ConnectionParameters& parameters);

}  // namespace pelvar::db
