// The ODBC provider against a real SQL Server, when one is named by
// PELVAR_TEST_MSSQL_HOST (see support/TestDatabase.h); skipped otherwise.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "db/Query.h"
#include "relay/RelayConnection.h"
#include "support/TestDatabase.h"

namespace pelvar::db {
namespace {

using namespace std::string_literals;

TEST(SqlServer, ColumnKindsTextFormsAndSettling) {
  auto parameters = test::TestDatabase::SqlServerParameters();
  if (!parameters)
    GTEST_SKIP() << "no SQL Server: PELVAR_TEST_MSSQL_HOST is not set";

  relay::RelayConnection relay;
  relay.Configure(*parameters);
  auto execute = [&](const std::string& statement) {
    relay.Execute(statement);
    return relay.AffectedRows();
  };
  execute(
      "create table #kinds (k int, i int, ti tinyint, si smallint, bi bigint, b bit, m money,"
      " sm smallmoney, r real, f float, dc decimal(10,2), dh decimal(10,2), n numeric(10,3),"
      " dt date, tm time(0), dtt datetime, dtm datetime, vc varchar(40), nv nvarchar(40),"
      " vb varbinary(8))");
  EXPECT_EQ(execute("insert into #kinds values (1, -5, 255, -2, -3, 1, 12.50, -3.25, 2.5, -0.25,"
                    " 12.50, 100.00, 1.5, '2011-05-02', '08:31:15', '2011-05-12 00:00:00',"
                    " '2011-05-02 14:07:09.047', ' a b ', N'誠信检测', 0x41420043)"),
            1);
  execute("insert into #kinds (k) values (2)");

  Query& query = relay.Select("select * from #kinds order by k");
  using K = FieldKind;
  struct Expected {
    const char* name;
    FieldKind kind;
    std::string text;
  };
  const std::vector<Expected> expected = {{"k", K::kInteger, "1"},
                                          {"i", K::kInteger, "-5"},
                                          {"ti", K::kOther, "255"},
                                          {"si", K::kOther, "-2"},
                                          {"bi", K::kOther, "-3"},
                                          {"b", K::kOther, "True"},
                                          {"m", K::kOther, "12.5"},
                                          {"sm", K::kOther, "-3.25"},
                                          {"r", K::kFloat, "2.5"},
                                          {"f", K::kFloat, "-0.25"},
                                          {"dc", K::kFloat, "12.5"},
                                          {"dh", K::kFloat, "100"},
                                          {"n", K::kFloat, "1.5"},
                                          {"dt", K::kOther, "2011-5-2"},
                                          {"tm", K::kOther, "8:31:15"},
                                          {"dtt", K::kOther, "2011-5-12"},
                                          {"dtm", K::kOther, "2011-5-2 14:07:09"},
                                          {"vc", K::kOther, " a b "},
                                          {"nv", K::kOther, "誠信检测"},
                                          {"vb", K::kOther, "AB\0C"s}};
  ASSERT_EQ(query.RowCount(), 2);
  ASSERT_EQ(query.FieldCount(), static_cast<int>(expected.size()));
  for (int i = 0; i < query.FieldCount(); ++i) {
    SCOPED_TRACE(expected[i].name);
    EXPECT_EQ(query.FieldAt(i).Name(), expected[i].name);
    EXPECT_EQ(query.FieldAt(i).DataType(), expected[i].kind);
    EXPECT_EQ(query.FieldAt(i).AsString(), expected[i].text);
  }
  EXPECT_EQ(query.FieldNamed("DTM").AsDateTime(), (text::DateTime{2011, 5, 2, 14, 7, 9, 47}));
  query.Next();
  for (int i = 1; i < query.FieldCount(); ++i) {
    SCOPED_TRACE(expected[i].name);
    EXPECT_TRUE(query.FieldAt(i).IsNull());
    EXPECT_EQ(query.FieldAt(i).AsString(), "");
  }
  EXPECT_EQ(query.FieldNamed("dtm").AsDateTime(), text::DateTime{});

  EXPECT_EQ(execute("delete from #kinds  where k=1"), 1);
  EXPECT_EQ(execute("delete from #kinds  where k=1"), 0);
}

}  // namespace
}  // namespace pelvar::db
