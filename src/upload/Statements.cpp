#include "upload/Statements.h"

#include "text/Regional.h"
#include "text/Strings.h"

namespace pelvar::upload {
namespace {

using text::SqlDialect;

// Statements for the server always use the MySQL dialect (they carry
// CURRENT_TIMESTAMP()); relay statements use the relay kind's.
SqlDialect RelayDialect(const std::string& databaseKind) {
  return IsSqlServer(databaseKind) ? SqlDialect::kSqlServer : SqlDialect::kMySql;
}

std::string Quoted(const std::string& value, SqlDialect dialect) {
  return text::EscapeSqlLiteral(value, dialect);
}

// A text literal of a relay statement: N'…' on SQL Server, so that Chinese
// text keeps its characters whatever the server's default collation.
std::string TextLiteral(const std::string& value, SqlDialect dialect) {
  return (dialect == SqlDialect::kSqlServer ? "N'" : "'") + Quoted(value, dialect) + "'";
}

// A date-time key column: with milliseconds on SQL Server, its text form on
// MySQL. A SQL Server value with digits below the millisecond (datetime2)
// keeps every one of them, after a point, or it would match nothing.
std::string KeyDateTime(const db::Query& row, std::string_view name, SqlDialect dialect) {
  const db::Field& field = row.FieldNamed(std::string(name));
  if (dialect != SqlDialect::kSqlServer)
    return field.AsString();
  std::string key = text::KeyDateTime(field.AsDateTime());
  std::string finer = field.SubMillisecondDigits();
  if (finer.find_first_not_of('0') == std::string::npos)
    return key;
  key[key.size() - 4] = '.';
  return key + finer;
}

// Which row a key clause is for: the relay row as it is stored, or the
// server's copy, which holds the values as they were sent.
enum class KeyTarget { kStoredRow, kServerCopy };

std::string KeyValue(const KeyColumn& column, const db::Query& row, const std::string& agencyNumber,
                     SqlDialect dialect, KeyTarget target) {
  switch (column.form) {
    case KeyForm::kAgency:
      return agencyNumber;
    case KeyForm::kTrimmed:
      if (target == KeyTarget::kServerCopy)
        return text::Trim(row.FieldNamed(std::string(column.name)).AsString());
      return row.FieldNamed(std::string(column.name)).AsString();
    case KeyForm::kUntrimmed:
      return row.FieldNamed(std::string(column.name)).AsString();
    case KeyForm::kDateTime:
      return KeyDateTime(row, column.name, dialect);
  }
  return {};
}

std::string KeyClause(Phase phase, const db::Query& row, const std::string& agencyNumber,
                      SqlDialect dialect, KeyTarget target) {
  std::string clause;
  for (const KeyColumn& column : Describe(phase).keyColumns) {
    if (column.name.empty())
      break;
    if (!clause.empty())
      clause += "and ";
    clause += column.name;
    // A NULL equals nothing, not even itself: only "is null" finds its row.
    if (target == KeyTarget::kStoredRow && column.form != KeyForm::kAgency &&
        row.FieldNamed(std::string(column.name)).IsNull()) {
      clause += " IS NULL ";
      continue;
    }
    clause += '=';
    std::string value = KeyValue(column, row, agencyNumber, dialect, target);
    if (column.form == KeyForm::kDateTime) {
      clause += "'" + Quoted(value, dialect) + "'";
    } else {
      clause += TextLiteral(value, dialect);
    }
    clause += ' ';
  }
  return clause;
}

}  // namespace

std::string BuildValueList(const db::Query& row, ValueListMode mode) {
  std::string list;
  for (int i = 1; i < row.FieldCount(); ++i) {
    const db::Field& field = row.FieldAt(i);
    bool numeric =
        field.DataType() == db::FieldKind::kInteger || field.DataType() == db::FieldKind::kFloat;
    if (mode == ValueListMode::kNullAware && numeric && field.IsNull()) {
      list += "'0',";
    } else {
      list += '\'';
      list += Quoted(text::Trim(field.AsString()), SqlDialect::kMySql);
      list += "',";
    }
  }
  return list;
}

std::string BuildUploadStatement(Phase phase, const db::Query& row, const SiteProfile& profile) {
  const PhaseDescription& description = Describe(phase);
  std::string values = BuildValueList(
      row, description.nullAwareValues ? ValueListMode::kNullAware : ValueListMode::kPlain);
  if (description.dropsLastComma && !values.empty())
    values.pop_back();
  std::string statement = "insert into ";
  statement += description.serverTable;
  statement += " values ('" + Quoted(profile.agencyNumber, SqlDialect::kMySql) + "'," + values;
  statement += description.valuesTail;
  statement += description.withSiteCode ? profile.siteCode + ");" : ")";
  if (!description.revisionTables.front().empty() && row.FieldNamed("BGXGCOUNT").AsInteger() > 0) {
    const std::string key =
        KeyClause(phase, row, profile.agencyNumber, SqlDialect::kMySql, KeyTarget::kServerCopy);
    std::string deletions;
    for (std::string_view table : description.revisionTables) {
      if (!deletions.empty())
        deletions += "; ";
      deletions += "delete from ";
      deletions += table;
      deletions += " where " + key;
    }
    statement = deletions + ";" + statement;
  }
  return statement;
}

std::string BuildKeyClause(Phase phase, const db::Query& row, const SiteProfile& profile) {
  return KeyClause(phase, row, profile.agencyNumber, RelayDialect(profile.databaseKind),
                   KeyTarget::kStoredRow);
}

std::vector<std::string> KeyValues(Phase phase, const db::Query& row, const SiteProfile& profile) {
  std::vector<std::string> values;
  for (const KeyColumn& column : Describe(phase).keyColumns) {
    if (column.name.empty())
      break;
    if (column.form != KeyForm::kAgency)
      values.push_back(KeyValue(column, row, profile.agencyNumber,
                                RelayDialect(profile.databaseKind), KeyTarget::kStoredRow));
  }
  return values;
}

std::string RowColumns(const db::Query& row, const std::array<std::string_view, 2>& names) {
  std::string joined;
  for (std::size_t i = 0; i < names.size() && !names[i].empty(); ++i) {
    if (i > 0)
      joined += ' ';
    joined += row.FieldNamed(std::string(names[i])).AsString();
  }
  return joined;
}

std::string BuildSelection(Phase phase, const SiteProfile& profile) {
  const PhaseDescription& description = Describe(phase);
  const Around& form = IsSqlServer(profile.databaseKind) ? description.sqlServerSelection
                                                         : description.mySqlSelection;
  std::string selection(form.before);
  selection += Quoted(profile.agencyNumber, RelayDialect(profile.databaseKind));
  selection += form.after;
  return selection;
}

}  // namespace pelvar::upload
