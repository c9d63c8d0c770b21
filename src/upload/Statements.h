#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "db/Query.h"
#include "upload/Phase.h"
#include "upload/SiteProfile.h"

namespace pelvar::upload {

enum class ValueListMode {
  kPlain,      // every value quoted as its trimmed text
  kNullAware,  // a NULL integer or floating-point value becomes '0'
};

// The values of the current row of row from its second field on, each as
// "'value'," (the last one included); the first field is never sent.
// Values are trimmed and escaped for the server (which speaks MySQL).
std::string BuildValueList(const db::Query& row, ValueListMode mode);

// The server statement for the current row of row in phase, including the
// revision prefix of a revised report. Throws the database library's Error
// when a named column is missing or unreadable.
std::string BuildUploadStatement(Phase phase, const db::Query& row, const SiteProfile& profile);

// The clause that finds the current row again in the relay table (used after
// "where "), in the relay database kind's dialect: each key column's value
// as stored (escaped, never trimmed), "IS NULL" for a NULL. Ends with a
// blank.
std::string BuildKeyClause(Phase phase, const db::Query& row, const SiteProfile& profile);

// The values of the current row's key columns that are columns of the row
// (the agency number left out), unescaped, in the forms the key clause uses.
std::vector<std::string> KeyValues(Phase phase, const db::Query& row, const SiteProfile& profile);

// The texts of the named columns of the current row, joined by blanks; the
// list ends at the first empty name. The log view and journal lines of a
// settled row begin with it.
std::string RowColumns(const db::Query& row, const std::array<std::string_view, 2>& names);

// The phase's selection of at most 30 pending rows of the agency.
std::string BuildSelection(Phase phase, const SiteProfile& profile);

}  // namespace pelvar::upload
