// One contract, held against both providers on the same MariaDB server: the
// MySQL provider and the ODBC provider (through MariaDB's ODBC driver).

#include <gtest/gtest.h>

#include <chrono>
#include <optional>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "db/Query.h"
#include "relay/RelayConnection.h"
#include "support/TestDatabase.h"
#include "text/Error.h"

namespace pelvar::db {
namespace {

using namespace std::string_literals;

enum class Provider { kMySql, kOdbc };

const char* NameOf(Provider provider) {
  return provider == Provider::kMySql ? "MySql" : "Odbc";
}
void PrintTo(Provider provider, std::ostream* out) {
  *out << NameOf(provider);
}

template <typename Work>
std::string ErrorOf(Work work) {
  try {
    work();
  } catch (const Error& error) {
    return error.what();
  }
  return "(no error)";
}

class ConnectionContract : public ::testing::TestWithParam<Provider> {
 protected:
  void SetUp() override {
    PELVAR_REQUIRE_TEST_DATABASE();
    database.emplace();
    relay.Configure(ParametersOf(*database));
  }

  ConnectionParameters ParametersOf(const test::TestDatabase& on) const {
    return GetParam() == Provider::kMySql ? on.MySqlParameters() : on.OdbcParameters();
  }

  Query& Select(const std::string& statement) { return relay.Select(statement); }

  std::int64_t Execute(const std::string& statement) {
    relay.Execute(statement);
    return relay.AffectedRows();
  }

  // Waits until the server has ended the connection with this id.
  void WaitUntilGone(const std::string& id) {
    for (int i = 0; i < 100; ++i) {
      if (!database->Scalar("select count(*) from information_schema.processlist where id = " + id)
               .value_or("0")
               .starts_with("1")) {
        return;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  }

  std::optional<test::TestDatabase> database;
  relay::RelayConnection relay;
};

TEST_P(ConnectionContract, ColumnKindsTextFormsAndNulls) {
  database->Run(
      "create table kinds (i int, m mediumint, mu mediumint unsigned, ti tinyint, si smallint,"
      " bi bigint, y year, f float, d double, dx double, dy double, dc decimal(10,2),"
      " dh decimal(10,2), dt date, tm time, dtt datetime, dtm datetime(3), vc varchar(40),"
      " tx text, bl varbinary(8), BGBH char(8));"
      "insert into kinds values (-2147483648, -8388608, 16777215, -128, -32768,"
      " -9223372036854775808, 2011, 2.5, -0.25, 1e15, -1.5e-7, 12.50, 100.00, '2011-05-02',"
      " '08:31:15', '2011-05-12 00:00:00', '2011-05-02 14:07:09.045', ' a b ', '中文',"
      " X'41420043', 'R-1');"
      "insert into kinds () values ();");

  Query& query = Select("select * from kinds");
  using K = FieldKind;
  struct Expected {
    const char* name;
    FieldKind kind;
    std::string text;
  };
  const std::vector<Expected> expected = {{"i", K::kInteger, "-2147483648"},
                                          {"m", K::kInteger, "-8388608"},
                                          {"mu", K::kInteger, "16777215"},
                                          {"ti", K::kOther, "-128"},
                                          {"si", K::kOther, "-32768"},
                                          {"bi", K::kOther, "-9223372036854775808"},
                                          {"y", K::kOther, "2011"},
                                          {"f", K::kFloat, "2.5"},
                                          {"d", K::kFloat, "-0.25"},
                                          {"dx", K::kFloat, "1E15"},
                                          {"dy", K::kFloat, "-1.5E-7"},
                                          {"dc", K::kFloat, "12.5"},
                                          {"dh", K::kFloat, "100"},
                                          {"dt", K::kOther, "2011-5-2"},
                                          {"tm", K::kOther, "8:31:15"},
                                          {"dtt", K::kOther, "2011-5-12"},
                                          {"dtm", K::kOther, "2011-5-2 14:07:09"},
                                          {"vc", K::kOther, " a b "},
                                          {"tx", K::kOther, "中文"},
                                          {"bl", K::kOther, std::string("AB\0C", 4)},
                                          {"BGBH", K::kOther, "R-1"}};

  ASSERT_TRUE(query.IsOpen());
  ASSERT_EQ(query.RowCount(), 2);
  ASSERT_EQ(query.FieldCount(), static_cast<int>(expected.size()));
  for (int i = 0; i < query.FieldCount(); ++i) {
    const Field& field = query.FieldAt(i);
    SCOPED_TRACE(expected[i].name);
    EXPECT_EQ(field.Name(), expected[i].name);
    EXPECT_EQ(field.DataType(), expected[i].kind);
    EXPECT_FALSE(field.IsNull());
    EXPECT_EQ(field.AsString(), expected[i].text);
  }
  EXPECT_EQ(query.FieldNamed("i").AsInteger(), -2147483648);
  EXPECT_EQ(query.FieldNamed("ti").AsInteger(), -128);
  EXPECT_EQ(query.FieldNamed("dtm").AsDateTime(), (text::DateTime{2011, 5, 2, 14, 7, 9, 45}));
  EXPECT_EQ(query.FieldNamed("dtt").AsDateTime(), (text::DateTime{2011, 5, 12, 0, 0, 0, 0}));
  EXPECT_EQ(query.FieldNamed("dt").AsDateTime(), (text::DateTime{2011, 5, 2, 0, 0, 0, 0}));
  EXPECT_EQ(query.FieldNamed("bgbh").AsString(), "R-1");
  EXPECT_EQ(ErrorOf([&] { query.FieldNamed("bi").AsInteger(); }),
            "'-9223372036854775808' is not a valid integer value");
  EXPECT_EQ(ErrorOf([&] { query.FieldNamed("vc").AsDateTime(); }),
            "' a b ' is not a valid date and time");
  EXPECT_EQ(ErrorOf([&] { query.FieldNamed("i").AsDateTime(); }),
            "'-2147483648' is not a valid date and time");
  EXPECT_EQ(ErrorOf([&] { query.FieldNamed("NOPE"); }), "UniSend: Field 'NOPE' not found");

  query.Next();
  ASSERT_FALSE(query.AtEnd());
  for (int i = 0; i < query.FieldCount(); ++i) {
    SCOPED_TRACE(expected[i].name);
    EXPECT_TRUE(query.FieldAt(i).IsNull());
    EXPECT_EQ(query.FieldAt(i).AsString(), "");
    EXPECT_EQ(query.FieldAt(i).DataType(), expected[i].kind);
  }
  EXPECT_EQ(query.FieldNamed("i").AsInteger(), 0);
  EXPECT_EQ(query.FieldNamed("dtm").AsDateTime(), text::DateTime{});
  query.Next();
  EXPECT_TRUE(query.AtEnd());

  Select("select * from kinds where i = 1");
  EXPECT_TRUE(query.IsOpen());
  EXPECT_TRUE(query.IsEmptyResult());
  EXPECT_TRUE(query.AtEnd());
  EXPECT_EQ(query.RowCount(), 0);
  EXPECT_EQ(query.FieldCount(), static_cast<int>(expected.size()));
}

TEST_P(ConnectionContract, ChineseTextTravelsBothWays) {
  database->Run("create table t (k int, v varchar(40))");
  // 誠 is D5 5C in GBK: its second byte is a backslash.
  EXPECT_EQ(Execute("insert into t values (1, '誠信检测 中文')"), 1);
  EXPECT_EQ(database->Scalar("select v from t where k = 1"), "誠信检测 中文");

  Query& query = Select("select v as 名称 from t where v = '誠信检测 中文'");
  ASSERT_EQ(query.RowCount(), 1);
  EXPECT_EQ(query.FieldAt(0).Name(), "名称");
  EXPECT_EQ(query.FieldNamed("名称").AsString(), "誠信检测 中文");
}

TEST_P(ConnectionContract, SelectionKeepsItsCopyWhileItsRowsAreSettled) {
  database->Run(
      "create table r (id int primary key, flag int, name varchar(10));"
      "insert into r values (1, 0, 'a'), (2, 0, 'b'), (3, 0, 'c')");
  Query& query = Select("select id, flag, name from r order by id");
  ASSERT_EQ(query.RowCount(), 3);
  std::vector<std::string> seen;
  while (!query.AtEnd()) {
    std::string id = query.FieldNamed("ID").AsString();
    EXPECT_EQ(Execute("delete from r  where id=" + id), 1);
    Execute("update r set flag=100, name='z'");
    seen.push_back(id + "/" + query.FieldNamed("flag").AsString() + "/" +
                   query.FieldNamed("name").AsString());
    query.Next();
  }
  EXPECT_EQ(seen, (std::vector<std::string>{"1/0/a", "2/0/b", "3/0/c"}));
  EXPECT_EQ(query.RowCount(), 3);
  EXPECT_EQ(Execute("delete from r  where id=1"), 0);
  EXPECT_EQ(database->Scalar("select count(*) from r"), "0");
}

TEST_P(ConnectionContract, ConfigureAndFailuresToConnect) {
  Select("select 1");
  EXPECT_TRUE(relay.Connected());

  test::TestDatabase other;
  other.Run("create table o (v varchar(8)); insert into o values ('other')");
  ConnectionParameters parameters = ParametersOf(other);
  relay.Configure(parameters);
  EXPECT_FALSE(relay.Connected());
  EXPECT_EQ(Select("select v from o").FieldAt(0).AsString(), "other");
  EXPECT_TRUE(relay.Connected());

  ConnectionParameters none = parameters;
  none.databaseKind = "";
  relay.Configure(none);
  EXPECT_FALSE(relay.Connected());
  const std::string noType = "No database type was chosen for the relay database.";
  EXPECT_EQ(ErrorOf([&] { relay.Connect(); }), noType);
  EXPECT_EQ(ErrorOf([&] { Select("select 1"); }), noType);
  EXPECT_EQ(ErrorOf([&] { Execute("delete from o"); }), noType);
  none.databaseKind = "mysql";
  relay.Configure(none);
  EXPECT_EQ(ErrorOf([&] { relay.Connect(); }), "Unknown database type 'mysql'.");

  ConnectionParameters refused = parameters;
  refused.password = "wrong";
  relay.Configure(refused);
  std::string refusal = ErrorOf([&] { relay.Connect(); });
  EXPECT_NE(refusal.find("Access denied for user"), std::string::npos) << refusal;
  EXPECT_FALSE(relay.Connected());
  EXPECT_EQ(ErrorOf([&] { Select("select 1"); }), refusal);
  EXPECT_FALSE(relay.Connected());

  ConnectionParameters missing = parameters;
  missing.database = "pelvar_no_such_database";
  relay.Configure(missing);
  std::string unknown = ErrorOf([&] { relay.Connect(); });
  EXPECT_NE(unknown.find("Unknown database 'pelvar_no_such_database'"), std::string::npos)
      << unknown;
  EXPECT_FALSE(relay.Connected());
}

TEST_P(ConnectionContract, RejectedStatementsAndADroppedConnection) {
  Query& query = Select("select 1");
  std::string rejected = ErrorOf([&] { Select("select * from no_such_table"); });
  EXPECT_NE(rejected.find("no_such_table' doesn't exist"), std::string::npos) << rejected;
  EXPECT_FALSE(query.IsOpen());
  EXPECT_NE(ErrorOf([&] { Execute("update no_such_table set a = 1"); }).find("doesn't exist"),
            std::string::npos);
  EXPECT_EQ(relay.AffectedRows(), 0);
  EXPECT_TRUE(relay.Connected());

  // The server ends the connection between two selections: the next one
  // fails with the library's or the server's text and leaves the connection
  // closed; the one after that connects afresh.
  std::string id = Select("select connection_id()").FieldAt(0).AsString();
  database->Kill(std::stoll(id));
  WaitUntilGone(id);
  std::string lost = ErrorOf([&] { Select("select 1"); });
  EXPECT_NE(lost, "(no error)");
  EXPECT_FALSE(lost.empty());
  EXPECT_FALSE(relay.Connected());
  EXPECT_FALSE(query.IsOpen());
  std::string again = Select("select connection_id()").FieldAt(0).AsString();
  EXPECT_NE(again, id);
  EXPECT_TRUE(relay.Connected());

  // The same for a statement.
  database->Kill(std::stoll(again));
  WaitUntilGone(again);
  EXPECT_NE(ErrorOf([&] { Execute("delete from no_such_table"); }), "(no error)");
  EXPECT_FALSE(relay.Connected());
  database->Run("create table d (a int)");
  EXPECT_EQ(Execute("delete from d"), 0);
}

TEST_P(ConnectionContract, AwkwardValuesLeaveTheRestOfTheResultIntact) {
  database->Run(
      "create table b (k int, v longtext, w varchar(10));"
      // A1 40 is well-formed for the server's gbk but maps to no character.
      "insert into b values (1, X'41A14042', 'after1'), (2, 'it''s a \\\\ test', 'after2'),"
      " (3, repeat('x', 1048576), 'after3'), (4, X'610062', 'after4')");
  std::string big;
  for (int i = 0; i < 350000; ++i)
    big += "中";
  EXPECT_EQ(Execute("insert into b values (5, '" + big + "', 'after5')"), 1);
  // MariaDB's ODBC driver cuts a statement at a NUL character (and then
  // fails on the unterminated literal); the MySQL provider sends it whole.
  if (GetParam() == Provider::kMySql) {
    EXPECT_EQ(Execute("insert into b values (6, 'c\0d', 'after6')"s), 1);
  } else {
    EXPECT_NE(ErrorOf([&] { Execute("insert into b values (6, 'c\0d', 'after6')"s); }),
              "(no error)");
    database->Run("insert into b values (6, X'630064', 'after6')");
  }

  Query& query = Select("select k, v, w from b order by k");
  ASSERT_EQ(query.RowCount(), 6);
  std::vector<std::string> values;
  while (!query.AtEnd()) {
    EXPECT_EQ(query.FieldAt(2).AsString(), "after" + query.FieldAt(0).AsString());
    values.push_back(query.FieldAt(1).AsString());
    query.Next();
  }
  // The server's ODBC connection speaks Unicode and turns the unmapped pair
  // into "?" itself; through gbk the pair arrives and its first byte is
  // replaced. Windows' code page 936 maps the pair, to a private-use character.
#ifdef _WIN32
  const std::string unmappedPair = "A\uE4C6B";
#else
  const std::string unmappedPair = "A\xEF\xBF\xBD@B";
#endif
  EXPECT_EQ(values[0], GetParam() == Provider::kMySql ? unmappedPair : "A?B");
  EXPECT_EQ(values[1], "it's a \\ test");
  EXPECT_EQ(values[2], std::string(1048576, 'x'));
  EXPECT_EQ(values[4], big);
  if (GetParam() == Provider::kMySql) {
    EXPECT_EQ(values[3], "a\0b"s);
    EXPECT_EQ(values[5], "c\0d"s);
  } else {
    // MariaDB's ODBC driver ends a wide-character value at a NUL character.
    EXPECT_EQ(values[3], "a");
    EXPECT_EQ(values[5], "c");
  }
}

INSTANTIATE_TEST_SUITE_P(Providers, ConnectionContract,
                         ::testing::Values(Provider::kMySql, Provider::kOdbc),
                         [](const ::testing::TestParamInfo<Provider>& info) {
                           return std::string(NameOf(info.param));
                         });

}  // namespace
}  // namespace pelvar::db
