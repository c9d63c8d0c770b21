#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "text/DateTime.h"

namespace pelvar::db {

class Connection;
struct ResultSet;  // Provider.h

// The three kinds of column the client tells apart.
enum class FieldKind { kInteger, kFloat, kOther };

class Query;

// One column of an open result, read at the query's current row. Valid while
// the query's result is open.
class Field {
 public:
  const std::string& Name() const;
  FieldKind DataType() const;
  bool IsNull() const;
  // The value's text form (NULL gives empty text).
  std::string AsString() const;
  // NULL gives 0; a value that is not an integer throws Error.
  std::int32_t AsInteger() const;
  // NULL gives the zero date-time; a value that is not a date-time throws.
  text::DateTime AsDateTime() const;

 private:
  friend class Query;
  Field(const Query* query, int index) : query_(query), index_(index) {}
  const Query* query_;
  int index_;
};

// A statement on a connection: a SELECT opened into its own copy of all the
// result rows, or a statement executed for its affected-row count. Opening
// or executing connects a closed connection first.
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

  // Runs a SELECT and fetches every row; positions on the first. Throws Error
  // with the server's message; the result is not open afterwards.
  void Open();
  void Close();
  bool IsOpen() const;

  bool IsEmptyResult() const;
  int RowCount() const;
  int FieldCount() const;
  const Field& FieldAt(int position) const;
  // Case-insensitive; throws "<name>: Field '<name>' not found".
  const Field& FieldNamed(const std::string& fieldName) const;
  void Next();
  bool AtEnd() const;

  // Runs a statement that returns no rows.
  void Execute();
  std::int64_t AffectedRows() const { return affectedRows_; }

 private:
  friend class Field;
  std::string name_;
  Connection& connection_;
  std::string text_;
  std::unique_ptr<ResultSet> result_;
  std::vector<Field> fields_;
  int row_ = 0;
  std::int64_t affectedRows_ = 0;
};

}  // namespace pelvar::db
