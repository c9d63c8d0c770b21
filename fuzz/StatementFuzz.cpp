// Builds the server statement and the relay key clause for one random row:
// random column names (the named key columns among them), kinds, stored
// forms, NULLs and value bytes full of quotes, backslashes, NUL, CR/LF and
// GBK trail bytes 0x5C. Each text is read back as the database would read
// it (the MySQL lexer on the GBK bytes, backslash escapes and doubled
// quotes; the SQL Server lexer on the text, doubled quotes only): its
// literals must be balanced, its shape outside the literals must be exactly
// the one statement (or the revision prefix and the one insert) of the
// phase, and every literal must give back the value it was built from.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "db/Connection.h"
#include "db/Provider.h"
#include "db/Query.h"
#include "text/Error.h"
#include "text/Gbk.h"
#include "text/Regional.h"
#include "text/Strings.h"
#include "upload/Statements.h"

namespace {

using pelvar::upload::Phase;

void Check(bool condition) {
  if (!condition)
    std::abort();
}

struct Scanned {
  std::string shape;                  // the text with every literal replaced by "L"
  std::vector<std::string> literals;  // each literal's value
};

bool IsGbkLead(unsigned char c) {
  return c >= 0x81 && c <= 0xFE;
}
bool IsGbkTrail(unsigned char c) {
  return c >= 0x40 && c <= 0xFE && c != 0x7F;
}

// The MySQL lexer on GBK bytes: a lead byte and its trail form one
// character (so a trail 0x5C is no backslash), a backslash escapes the next
// character, a doubled quote is one quote. Nothing for an unbalanced text.
std::optional<Scanned> ScanMySql(const std::string& gbk) {
  Scanned out;
  std::size_t i = 0;
  while (i < gbk.size()) {
    if (gbk[i] != '\'') {
      out.shape += gbk[i++];
      continue;
    }
    std::string literal;
    ++i;
    for (;;) {
      if (i >= gbk.size())
        return std::nullopt;
      auto c = static_cast<unsigned char>(gbk[i]);
      if (IsGbkLead(c) && i + 1 < gbk.size() &&
          IsGbkTrail(static_cast<unsigned char>(gbk[i + 1]))) {
        literal += gbk.substr(i, 2);
        i += 2;
      } else if (c == '\\') {
        if (i + 1 >= gbk.size())
          return std::nullopt;
        char e = gbk[i + 1];
        switch (e) {
          case '0':
            literal += '\0';
            break;
          case 'n':
            literal += '\n';
            break;
          case 'r':
            literal += '\r';
            break;
          case 't':
            literal += '\t';
            break;
          case 'b':
            literal += '\b';
            break;
          case 'Z':
            literal += '\x1A';
            break;
          case '%':
            literal += "\\%";
            break;
          case '_':
            literal += "\\_";
            break;
          default:
            literal += e;
            break;
        }
        i += 2;
      } else if (c == '\'') {
        if (i + 1 < gbk.size() && gbk[i + 1] == '\'') {
          literal += '\'';
          i += 2;
        } else {
          ++i;
          break;
        }
      } else {
        literal += gbk[i++];
      }
    }
    out.shape += 'L';
    out.literals.push_back(std::move(literal));
  }
  return out;
}

// The SQL Server lexer: only a doubled quote is special inside a literal.
std::optional<Scanned> ScanSqlServer(const std::string& text) {
  Scanned out;
  std::size_t i = 0;
  while (i < text.size()) {
    if (text[i] != '\'') {
      out.shape += text[i++];
      continue;
    }
    std::string literal;
    ++i;
    for (;;) {
      if (i >= text.size())
        return std::nullopt;
      if (text[i] == '\'') {
        if (i + 1 < text.size() && text[i + 1] == '\'') {
          literal += '\'';
          i += 2;
          continue;
        }
        ++i;
        break;
      }
      literal += text[i++];
    }
    out.shape += 'L';
    out.literals.push_back(std::move(literal));
  }
  return out;
}

constexpr pelvar::db::ValueForm kForms[] = {
    pelvar::db::ValueForm::kGbkText, pelvar::db::ValueForm::kUtf8Text,
    pelvar::db::ValueForm::kBytes,   pelvar::db::ValueForm::kInteger,
    pelvar::db::ValueForm::kBits,    pelvar::db::ValueForm::kFloat,
    pelvar::db::ValueForm::kBoolean, pelvar::db::ValueForm::kDate,
    pelvar::db::ValueForm::kTime,    pelvar::db::ValueForm::kDateTime,
};
constexpr const char* kNames[] = {"JCDWBH",   "YPDBH",     "GCBH",  "XGSJ", "RWDBH", "SYSJ",
                                  "CUSTOMSJ", "BGXGCOUNT", "ypdbh", "BGBH", "X"};
// Bytes that break careless quoting, to be mixed into values.
constexpr const char* kTricky[] = {"'",  "\\",  "<NUL>", "\r\n", "\xD5\x5C",        "誠",
                                   "''", "\\'", " ",     "\t",   "\xF0\x9F\x98\x80"};

std::string RandomValue(FuzzedDataProvider& input) {
  std::string value;
  int pieces = input.ConsumeIntegralInRange<int>(0, 6);
  for (int i = 0; i < pieces; ++i) {
    if (input.ConsumeBool()) {
      std::size_t pick = input.ConsumeIntegralInRange<std::size_t>(0, std::size(kTricky) - 1);
      value += pick == 2 ? std::string(1, '\0') : std::string(kTricky[pick]);
    } else {
      value += input.ConsumeRandomLengthString(16);
    }
  }
  return value;
}

std::string Repeat(const std::string& piece, int count) {
  std::string out;
  for (int i = 0; i < count; ++i)
    out += piece;
  return out;
}

std::string InsertShape(Phase phase, int valueCount) {
  std::string values = "(L," + Repeat("L,", valueCount);
  switch (phase) {
    case Phase::kProjects:
      return "insert into JCJG_JCDW_GC values " + values + "7);";
    case Phase::kReports:
      return "insert into JCJG_JCDW_RPTINFO values " + values + "CURRENT_TIMESTAMP(),0 ,7);";
    case Phase::kReportProjectLinks:
      if (valueCount > 0)
        values.pop_back();
      return "insert into JCJG_JCDW_GC_RPT values " + values + ")";
    case Phase::kModifications:
      return "insert into JCJG_JCDW_ALTER values " + values + "CURRENT_TIMESTAMP(),0,7);";
    case Phase::kAutomaticReadings:
      return "insert into JCJG_JCDW_AUTO values " + values + "CURRENT_TIMESTAMP(),0,7);";
  }
  return {};
}

const char* KeyShape(Phase phase) {
  switch (phase) {
    case Phase::kProjects:
      return "YPDBH=L ";
    case Phase::kReports:
      return "JCDWBH=L and YPDBH=L ";
    case Phase::kReportProjectLinks:
      return "YPDBH=L and GCBH=L ";
    case Phase::kModifications:
      return "YPDBH=L and XGSJ=L ";
    case Phase::kAutomaticReadings:
      return "RWDBH=L and SYSJ=L and CUSTOMSJ=L ";
  }
  return "";
}

// The key clause's values, in order, for the relay kind.
std::vector<std::string> KeyValues(Phase phase, const pelvar::db::Query& row,
                                   const std::string& agency, bool sqlServer) {
  using pelvar::text::Trim;
  auto text = [&](const char* name) { return row.FieldNamed(name).AsString(); };
  auto when = [&](const char* name) {
    return sqlServer ? pelvar::text::KeyDateTime(row.FieldNamed(name).AsDateTime()) : text(name);
  };
  switch (phase) {
    case Phase::kProjects:
      return {Trim(text("YPDBH"))};
    case Phase::kReports:
      return {agency, Trim(text("YPDBH"))};
    case Phase::kReportProjectLinks:
      return {text("YPDBH"), text("GCBH")};
    case Phase::kModifications:
      return {text("YPDBH"), when("XGSJ")};
    case Phase::kAutomaticReadings:
      return {text("RWDBH"), when("SYSJ"), when("CUSTOMSJ")};
  }
  return {};
}

std::vector<std::string> ToGbk(const std::vector<std::string>& values) {
  std::vector<std::string> out;
  for (const auto& v : values)
    out.push_back(pelvar::text::Utf8ToGbk(v));
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace pelvar;
  FuzzedDataProvider input(data, size);
  const auto phase = static_cast<Phase>(input.ConsumeIntegralInRange<int>(0, 4));
  const bool sqlServer = input.ConsumeBool();
  const std::string agency = RandomValue(input);

  auto result = std::make_unique<db::ResultSet>();
  const int fieldCount = input.ConsumeIntegralInRange<int>(1, 12);
  for (int i = 0; i < fieldCount; ++i) {
    db::Column column;
    column.name = kNames[input.ConsumeIntegralInRange<std::size_t>(0, std::size(kNames) - 1)];
    column.kind = static_cast<db::FieldKind>(input.ConsumeIntegralInRange<int>(0, 2));
    column.form = kForms[input.ConsumeIntegralInRange<std::size_t>(0, std::size(kForms) - 1)];
    result->columns.push_back(column);
  }
  for (int i = 0; i < fieldCount; ++i) {
    if (input.ConsumeIntegralInRange<int>(0, 7) == 0) {
      result->AppendNull();
    } else {
      result->Append(RandomValue(input));
    }
  }
  result->EndRow();

  db::Connection unused;
  db::Query row("UniSend", unused);
  db::OpenOnResult(row, std::move(result));

  upload::SiteProfile profile;
  profile.agencyNumber = agency;
  profile.siteCode = "7";
  profile.databaseKind = sqlServer ? "SQL Server" : "MySQL";

  // The selection carries the agency number as its one literal.
  {
    std::string selection = upload::BuildSelection(phase, profile);
    auto scanned = sqlServer ? ScanSqlServer(selection) : ScanMySql(text::Utf8ToGbk(selection));
    Check(scanned.has_value());
    Check(scanned->literals.size() == 1);
    Check(scanned->literals[0] == (sqlServer ? agency : text::Utf8ToGbk(agency)));
  }

  std::string statement;
  std::string keyClause;
  try {
    statement = upload::BuildUploadStatement(phase, row, profile);
    keyClause = upload::BuildKeyClause(phase, row, profile);
  } catch (const Error&) {
    return 0;  // a missing or unreadable named column ends the cycle with its message
  }

  // The statement as the server's MySQL lexer sees its GBK bytes.
  const bool numericNullAware = phase != Phase::kProjects;
  std::vector<std::string> values{agency};
  for (int i = 1; i < row.FieldCount(); ++i) {
    const db::Field& field = row.FieldAt(i);
    bool numeric = field.DataType() != db::FieldKind::kOther;
    values.push_back(numericNullAware && numeric && field.IsNull() ? "0"
                                                                   : text::Trim(field.AsString()));
  }
  std::string shape = InsertShape(phase, row.FieldCount() - 1);
  if (phase == Phase::kReports && row.FieldNamed("BGXGCOUNT").AsInteger() > 0) {
    std::string key = KeyShape(Phase::kReports);
    shape = "delete from JCJG_JCDW_RPTINFO where " + key + "; delete from JCJG_JCDW_GC_RPT where " +
            key + "; delete from JCJG_JCDW_ALTER where " + key + ";" + shape;
    std::vector<std::string> keyValues = KeyValues(Phase::kReports, row, agency, false);
    std::vector<std::string> all;
    for (int i = 0; i < 3; ++i)
      all.insert(all.end(), keyValues.begin(), keyValues.end());
    all.insert(all.end(), values.begin(), values.end());
    values = all;
  }
  auto scanned = ScanMySql(text::Utf8ToGbk(statement));
  Check(scanned.has_value());
  Check(scanned->shape == shape);
  Check(scanned->literals == ToGbk(values));

  // The key clause as the relay database's lexer sees it.
  std::vector<std::string> keyValues = KeyValues(phase, row, agency, sqlServer);
  auto key = sqlServer ? ScanSqlServer(keyClause) : ScanMySql(text::Utf8ToGbk(keyClause));
  Check(key.has_value());
  Check(key->shape == KeyShape(phase));
  Check(key->literals == (sqlServer ? keyValues : ToGbk(keyValues)));
  return 0;
}
