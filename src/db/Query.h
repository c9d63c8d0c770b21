#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "text/DateTime.h"

namespace pelvar::db {

class Connection;
struct ResultSet;  // Provider.h

// The three kinds of column the client tells apart.
enum class FieldKind { kInteger, kFloat, kOther };

class Query;

// One column of an open result, read at the query's current row. Valid while
// the query's result is open. Once Next has moved past the last row, the
// last row is read; every column of an empty result reads as NULL.
class Field {
 public:
  // UTF-8, as the server names the column.
  const std::string& Name() const;
  FieldKind DataType() const;
  bool IsNull() const;
  // The value's text form (NULL gives empty text): texts unchanged in UTF-8,
  // binary values as their bytes, integers in decimal, floating-point and
  // decimal values in FloatText form, booleans "True"/"False", dates in the
  // short date form, times in the long time form, date-times as
  // DateTimeText. A zero date (0000-00-00) reads as empty text.
  std::string AsString() const;
  // NULL gives 0; integer columns and texts holding a whole number that fits
  // in 32 bits give it; anything else throws Error.
  std::int32_t AsInteger() const;
  // Date and date-time columns with their milliseconds; a time of day on the
  // zero date; texts in the regional form. NULL and the zero date give the
  // zero date-time; any other value throws Error.
  text::DateTime AsDateTime() const;
  // Date-time columns: the stored digits of the fraction of a second after
  // the first three ("6789" of .0456789); empty for none and for every
  // other kind of column.
  std::string SubMillisecondDigits() const;

 private:
  friend class Query;
  Field(const Query* query, int index) : query_(query), index_(index) {}
  std::optional<std::string_view> Stored() const;
  const Query* query_;
  int index_;
};

// A statement on a connection: a SELECT opened into its own copy of all the
// result rows, or a statement executed for its affected-row count. Opening
// or executing connects a closed connection first; a failure to connect is
// their failure. When a statement fails because the server has dropped the
// connection, the error carries the library's or the server's text and the
// connection is left closed, so the next Open or Execute connects afresh.
// Nothing is retried on its own.
class Query {
 public:
  // name is the query object's name, put in front of its field errors.
  Query(std::string name, Connection& connection);
  ~Query();
  Query(const Query&) = delete;
  Query& operator=(const Query&) = delete;

  const std::string& Name() const { return name_; }

  void SetText(const std::string& statement);
  const std::string& Text() const { return text_; }

  // Closes the query, runs a SELECT and fetches every row into the query's
  // own copy, which later statements on the connection do not change;
  // positions on the first row. Throws Error with the server's message; the
  // result is not open afterwards. A statement without a result opens an
  // empty result without fields.
  void Open();
  // Releases the result; a closed query is left alone.
  void Close();
  bool IsOpen() const;

  // A closed query counts as an empty result without fields.
  bool IsEmptyResult() const;
  int RowCount() const;
  int FieldCount() const;
  // 0-based, in result order; throws Error outside 0..FieldCount()-1.
  const Field& FieldAt(int position) const;
  // Case-insensitive; throws "<name>: Field '<name>' not found".
  const Field& FieldNamed(const std::string& fieldName) const;
  void Next();
  bool AtEnd() const;

  // Closes the query and runs a statement that returns no rows (a result it
  // does return is dropped). Throws Error with the server's message. On SQL
  // Server the batch is the statement, a line break and "select @@ROWCOUNT",
  // so a statement that must stand alone in its batch (CREATE TRIGGER,
  // PROCEDURE, VIEW) goes through Open instead.
  void Execute();
  // Rows the last Execute inserted, changed or deleted (0 after a failure):
  // the statement's own count, whatever its triggers report and whether
  // NOCOUNT is on.
  std::int64_t AffectedRows() const { return affectedRows_; }

 private:
  friend class Field;
  friend void OpenOnResult(Query& query, std::unique_ptr<ResultSet> result);
  void Adopt(std::unique_ptr<ResultSet> result);
  std::string name_;
  Connection& connection_;
  std::string text_;
  std::unique_ptr<ResultSet> result_;
  std::vector<Field> fields_;
  int row_ = 0;
  std::int64_t affectedRows_ = 0;
};

}  // namespace pelvar::db
