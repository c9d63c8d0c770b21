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

std::string Trimmed(const db::Query& row, const char* name) {
  return text::Trim(row.FieldNamed(name).AsString());
}

std::string Untrimmed(const db::Query& row, const char* name) {
  return row.FieldNamed(name).AsString();
}

// A date-time key column: with milliseconds on SQL Server, its text form on MySQL.
std::string KeyDateTime(const db::Query& row, const char* name, SqlDialect dialect) {
  if (dialect == SqlDialect::kSqlServer) {
    return text::KeyDateTime(row.FieldNamed(name).AsDateTime());
  }
  return row.FieldNamed(name).AsString();
}

std::string KeyClause(Phase phase, const db::Query& row, const std::string& agencyNumber,
                      SqlDialect d) {
  switch (phase) {
    case Phase::kProjects:
      return "YPDBH='" + Quoted(Trimmed(row, "YPDBH"), d) + "' ";
    case Phase::kReports:
      return "JCDWBH='" + Quoted(agencyNumber, d) + "' and YPDBH='" +
             Quoted(Trimmed(row, "YPDBH"), d) + "' ";
    case Phase::kReportProjectLinks:
      return "YPDBH='" + Quoted(Untrimmed(row, "YPDBH"), d) + "' and GCBH='" +
             Quoted(Untrimmed(row, "GCBH"), d) + "' ";
    case Phase::kModifications:
      return "YPDBH='" + Quoted(Untrimmed(row, "YPDBH"), d) + "' and XGSJ='" +
             Quoted(KeyDateTime(row, "XGSJ", d), d) + "' ";
    case Phase::kAutomaticReadings:
      return "RWDBH='" + Quoted(Untrimmed(row, "RWDBH"), d) + "' and SYSJ='" +
             Quoted(KeyDateTime(row, "SYSJ", d), d) + "' and CUSTOMSJ='" +
             Quoted(KeyDateTime(row, "CUSTOMSJ", d), d) + "' ";
  }
  return {};
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

std::string BuildUploadStatement(Phase phase, const db::Query& row, const std::string& agencyNumber,
                                 const std::string& siteCode) {
  const std::string agency = Quoted(agencyNumber, SqlDialect::kMySql);
  switch (phase) {
    case Phase::kProjects:
      return "insert into JCJG_JCDW_GC values ('" + agency + "'," +
             BuildValueList(row, ValueListMode::kPlain) + siteCode + ");";
    case Phase::kReports: {
      std::string statement = "insert into JCJG_JCDW_RPTINFO values ('" + agency + "'," +
                              BuildValueList(row, ValueListMode::kNullAware) +
                              "CURRENT_TIMESTAMP(),0 ," + siteCode + ");";
      if (row.FieldNamed("BGXGCOUNT").AsInteger() > 0) {
        std::string key = KeyClause(Phase::kReports, row, agencyNumber, SqlDialect::kMySql);
        statement = "delete from JCJG_JCDW_RPTINFO where " + key +
                    "; delete from JCJG_JCDW_GC_RPT where " + key +
                    "; delete from JCJG_JCDW_ALTER where " + key + ";" + statement;
      }
      return statement;
    }
    case Phase::kReportProjectLinks: {
      std::string list = BuildValueList(row, ValueListMode::kNullAware);
      if (!list.empty())
        list.pop_back();
      return "insert into JCJG_JCDW_GC_RPT values ('" + agency + "'," + list + ")";
    }
    case Phase::kModifications:
      return "insert into JCJG_JCDW_ALTER values ('" + agency + "'," +
             BuildValueList(row, ValueListMode::kNullAware) + "CURRENT_TIMESTAMP(),0," + siteCode +
             ");";
    case Phase::kAutomaticReadings:
      return "insert into JCJG_JCDW_AUTO values ('" + agency + "'," +
             BuildValueList(row, ValueListMode::kNullAware) + "CURRENT_TIMESTAMP(),0," + siteCode +
             ");";
  }
  return {};
}

std::string BuildKeyClause(Phase phase, const db::Query& row, const std::string& agencyNumber,
                           const std::string& databaseKind) {
  return KeyClause(phase, row, agencyNumber, RelayDialect(databaseKind));
}

std::string BuildSelection(Phase phase, const std::string& agencyNumber,
                           const std::string& databaseKind) {
  const bool sqlServer = IsSqlServer(databaseKind);
  std::string selection = sqlServer ? "select top 30 " : "select ";
  switch (phase) {
    case Phase::kProjects:
      selection += "YPDBH,GCBH,ZJZBH,SJH,GCMC,JSDW,SGDW,JLDW from JCJG_RPTINFO where SENDFLAG=0";
      break;
    case Phase::kReports:
      selection += "* from JCJG_RPTINFO where SENDFLAG=1";
      break;
    case Phase::kReportProjectLinks:
      selection += "* from JCJG_GC_RPT where SENDFLAG=0";
      break;
    case Phase::kModifications:
      selection += "* from JCJG_ALTER where SENDFLAG=0";
      break;
    case Phase::kAutomaticReadings:
      selection += "* from JCJG_AUTO where SENDFLAG=0";
      break;
  }
  selection += " and JCDWBH='";
  selection += Quoted(agencyNumber, RelayDialect(databaseKind));
  if (!sqlServer) {
    selection += "' limit 0,30";
  } else if (phase == Phase::kProjects || phase == Phase::kReports) {
    selection += "' ";  // the two report selections end with a quote and a blank
  } else {
    selection += "'";
  }
  return selection;
}

}  // namespace pelvar::upload
