// What each provider does on its own: the ODBC connection string and type
// mapping (no server needed), and the MySQL types the two providers see
// differently.

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>  // before the ODBC headers, which use its types
#endif
#include <sql.h>
#include <sqlext.h>

#include <charconv>
#include <random>
#include <string>
#include <vector>

#include "db/Connection.h"
#include "db/Odbc.h"
#include "db/Provider.h"
#include "db/Query.h"
#include "db/Utf16.h"
#include "support/TestDatabase.h"
#include "text/Error.h"
#include "text/Regional.h"

namespace pelvar::db {
namespace {

// Decimal texts as servers send them read exactly as FloatText of their
// double.
TEST(StoredFloatText, MatchesFloatTextOfTheParsedValue) {
  auto viaDouble = [](const std::string& stored) {
    double value = 0;
    std::size_t sign = stored.starts_with('+') ? 1 : 0;
    std::from_chars(stored.data() + sign, stored.data() + stored.size(), value);
    return text::FloatText(value);
  };
  const char* fixed[] = {"12.50",
                         "100.00",
                         "-0.00",
                         "0.0001",
                         "0.00009",
                         "999999999999999",
                         "1000000000000000",
                         "123456789012345.6",
                         "0.1234567890123456",
                         "-3.25",
                         ".5",
                         "+7",
                         "00012.3400",
                         "1e15",
                         "-1.5e-07"};
  for (const char* stored : fixed)
    EXPECT_EQ(StoredFloatText(stored), viaDouble(stored)) << stored;
  EXPECT_EQ(StoredFloatText("12.50"), "12.5");
  EXPECT_EQ(StoredFloatText("not a number"), "not a number");

  std::mt19937_64 random(7);
  for (int i = 0; i < 20000; ++i) {
    int integerDigits = static_cast<int>(random() % 18);
    int fractionDigits = static_cast<int>(random() % 12);
    std::string stored = random() % 2 ? "-" : "";
    for (int d = 0; d < integerDigits; ++d)
      stored.push_back(static_cast<char>('0' + random() % 10));
    if (integerDigits == 0)
      stored.push_back('0');
    if (fractionDigits > 0)
      stored.push_back('.');
    for (int d = 0; d < fractionDigits; ++d) {
      stored.push_back(static_cast<char>('0' + (random() % 3 == 0 ? 0 : random() % 10)));
    }
    ASSERT_EQ(StoredFloatText(stored), viaDouble(stored)) << stored;
  }
}

TEST(OdbcConnectionString, QuotesEveryValueAndPlacesThePortForTheDriver) {
  ConnectionParameters parameters;
  parameters.databaseKind = "SQL Server";
  parameters.server = "10.0.0.5";
  parameters.port = 1433;
  parameters.database = "DAVIV";
  parameters.userName = "sa";
  parameters.password = "p;w}d={x";
#ifdef _WIN32
  // The system's own driver by default.
  EXPECT_EQ(BuildOdbcConnectionString(parameters),
            "DRIVER={SQL Server};SERVER={10.0.0.5,1433};DATABASE={DAVIV};UID={sa};"
            "PWD={p;w}}d={x};");
  parameters.odbcDriver = "FreeTDS";
#endif
  EXPECT_EQ(BuildOdbcConnectionString(parameters),
            "DRIVER={FreeTDS};SERVER={10.0.0.5};PORT=1433;DATABASE={DAVIV};UID={sa};"
            "PWD={p;w}d={x};TDS_Version=7.4;Encryption=off;");

  parameters.server = "box\\SQLEXPRESS";
  EXPECT_EQ(BuildOdbcConnectionString(parameters),
            "DRIVER={FreeTDS};SERVER={box\\SQLEXPRESS};DATABASE={DAVIV};UID={sa};"
            "PWD={p;w}d={x};TDS_Version=7.4;Encryption=off;");

  parameters.server = "box";
  parameters.odbcDriver = "ODBC Driver 17 for SQL Server";
  EXPECT_EQ(BuildOdbcConnectionString(parameters),
            "DRIVER={ODBC Driver 17 for SQL Server};SERVER={box,1433};DATABASE={DAVIV};"
            "UID={sa};PWD={p;w}}d={x};");

  parameters.odbcDriver = "MariaDB Unicode";
  parameters.port = 0;
  EXPECT_EQ(BuildOdbcConnectionString(parameters),
            "DRIVER={MariaDB Unicode};SERVER={box};DATABASE={DAVIV};UID={sa};PWD={p;w}}d={x};");
}

// Nothing listens on port 1 of the loopback address: both providers fail at
// once with their library's text, through FreeTDS for "SQL Server" (which
// Wine's ODBC, the host's, does not have under the Windows driver's name).
TEST(Connect, UnreachableServerFailsWithTheLibrarysText) {
  ConnectionParameters parameters;
  parameters.server = "127.0.0.1";
  parameters.port = 1;
  parameters.userName = "sa";
  parameters.database = "DAVIV";
#ifdef _WIN32
  const std::vector<std::string> kinds{"MySQL"};
#else
  const std::vector<std::string> kinds{"SQL Server", "MySQL"};
#endif
  for (const std::string& type : kinds) {
    parameters.databaseKind = type;
    Connection connection;
    connection.SetParameters(parameters);
    Query query("UniSend", connection);
    query.SetText("select 1");
    std::string message;
    try {
      query.Open();
    } catch (const Error& error) {
      message = error.what();
    }
    // The MySQL text ends with the system's error number in brackets.
    EXPECT_TRUE(message.starts_with(parameters.databaseKind == "MySQL"
                                        ? "Can't connect to server on '127.0.0.1' ("
                                        : "[FreeTDS][SQL Server]Unable to connect: Adaptive "
                                          "Server is unavailable or does not exist"))
        << message;
    EXPECT_FALSE(connection.Connected());
    EXPECT_FALSE(query.IsOpen());
  }
}

TEST(OdbcColumnTypes, SqlServerTypesByCode) {
  using K = FieldKind;
  using F = ValueForm;
  struct Case {
    int type;
    const char* name;
    FieldKind kind;
    ValueForm form;
  };
  const Case cases[] = {
      {SQL_INTEGER, "int", K::kInteger, F::kInteger},
      {SQL_TINYINT, "tinyint", K::kOther, F::kInteger},
      {SQL_SMALLINT, "smallint", K::kOther, F::kInteger},
      {SQL_BIGINT, "bigint", K::kOther, F::kInteger},
      {SQL_REAL, "real", K::kFloat, F::kFloat},
      {SQL_FLOAT, "float", K::kFloat, F::kFloat},
      {SQL_DOUBLE, "float", K::kFloat, F::kFloat},
      {SQL_DECIMAL, "decimal", K::kFloat, F::kFloat},
      {SQL_NUMERIC, "numeric", K::kFloat, F::kFloat},
      {SQL_DECIMAL, "money", K::kOther, F::kFloat},
      {SQL_DECIMAL, "smallmoney", K::kOther, F::kFloat},
      {SQL_BIT, "bit", K::kOther, F::kBoolean},
      {SQL_TYPE_DATE, "date", K::kOther, F::kDate},
      {SQL_TYPE_TIME, "time", K::kOther, F::kTime},
      {-154, "time", K::kOther, F::kTime},
      {SQL_TYPE_TIMESTAMP, "datetime", K::kOther, F::kDateTime},
      {SQL_VARCHAR, "varchar", K::kOther, F::kUtf8Text},
      {SQL_WLONGVARCHAR, "ntext", K::kOther, F::kUtf8Text},
      {SQL_GUID, "uniqueidentifier", K::kOther, F::kUtf8Text},
      {SQL_VARBINARY, "varbinary", K::kOther, F::kBytes},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    OdbcColumnType type = ClassifyOdbcColumn(c.type, c.name);
    EXPECT_EQ(type.kind, c.kind);
    EXPECT_EQ(type.form, c.form);
  }
  EXPECT_EQ(ClassifyOdbcColumn(SQL_TYPE_TIMESTAMP, "datetime").fetch, OdbcFetch::kTimestamp);
  EXPECT_EQ(ClassifyOdbcColumn(SQL_WVARCHAR, "nvarchar").fetch, OdbcFetch::kWideText);
}

TEST(Utf16, ConvertsBothWaysAndReplacesIllFormedSequences) {
  EXPECT_EQ(Utf8ToUtf16("a中\xF0\x9F\x98\x80"), u"a中\U0001F600");
  EXPECT_EQ(Utf16ToUtf8(u"a中\U0001F600"), "a中\xF0\x9F\x98\x80");
  EXPECT_EQ(Utf8ToUtf16(std::string("x\0y", 3)), std::u16string(u"x\0y", 3));
  // A stray continuation byte, a truncated sequence, an overlong form.
  EXPECT_EQ(Utf8ToUtf16("a\x80"
                        "b\xE4\xB8"
                        "c\xC0\xAF"),
            u"a\uFFFDb\uFFFDc\uFFFD\uFFFD");
  std::u16string lone = u"a";
  lone.push_back(static_cast<char16_t>(0xD800));
  lone += u"b";
  EXPECT_EQ(Utf16ToUtf8(lone),
            "a\xEF\xBF\xBD"
            "b");
}

// MySQL types that the MySQL provider and MariaDB's ODBC driver see
// differently. The ODBC provider maps by ODBC type code, as for SQL Server;
// MariaDB's driver reports INT UNSIGNED as SQL_INTEGER, BIT(1) as SQL_BIT
// and wider BIT columns as SQL_BINARY.
TEST(ProviderDifferences, UnsignedIntBitsAndZeroDates) {
  PELVAR_REQUIRE_TEST_DATABASE();
  test::TestDatabase database;
  database.Run(
      "set sql_mode = '';"
      "create table k (iu int unsigned, bu bigint unsigned, b1 bit(1), b8 bit(8),"
      " dz date, tz datetime, t6 datetime(6), tm time);"
      "insert into k values (4000000000, 18446744073709551615, b'1', b'10100101',"
      " '0000-00-00', '0000-00-00 00:00:00', '2011-05-02 14:07:09.045678', '-838:59:59')");

  Connection mySql;
  mySql.SetParameters(database.MySqlParameters());
  Query query("UniSend", mySql);
  query.SetText("select * from k");
  query.Open();
  EXPECT_EQ(query.FieldNamed("iu").DataType(), FieldKind::kOther);
  EXPECT_EQ(query.FieldNamed("iu").AsString(), "4000000000");
  EXPECT_THROW(query.FieldNamed("iu").AsInteger(), Error);
  EXPECT_EQ(query.FieldNamed("bu").AsString(), "18446744073709551615");
  EXPECT_EQ(query.FieldNamed("b1").AsString(), "1");
  EXPECT_EQ(query.FieldNamed("b8").AsString(), "165");
  EXPECT_EQ(query.FieldNamed("b8").AsInteger(), 165);
  EXPECT_EQ(query.FieldNamed("b8").DataType(), FieldKind::kOther);
  // A zero date is no calendar date: it reads like NULL without being one.
  EXPECT_FALSE(query.FieldNamed("dz").IsNull());
  EXPECT_EQ(query.FieldNamed("dz").AsString(), "");
  EXPECT_EQ(query.FieldNamed("tz").AsString(), "");
  EXPECT_EQ(query.FieldNamed("tz").AsDateTime(), text::DateTime{});
  EXPECT_EQ(query.FieldNamed("t6").AsDateTime(), (text::DateTime{2011, 5, 2, 14, 7, 9, 45}));
  EXPECT_EQ(query.FieldNamed("tm").AsString(), "-838:59:59");
  EXPECT_THROW(query.FieldNamed("tm").AsDateTime(), Error);

  Connection odbc;
  odbc.SetParameters(database.OdbcParameters());
  Query viaOdbc("UniSend", odbc);
  viaOdbc.SetText("select iu, b1, b8 from k");
  viaOdbc.Open();
  EXPECT_EQ(viaOdbc.FieldNamed("iu").DataType(), FieldKind::kInteger);
  EXPECT_EQ(viaOdbc.FieldNamed("iu").AsString(), "4000000000");
  EXPECT_EQ(viaOdbc.FieldNamed("b1").AsString(), "True");
  EXPECT_EQ(viaOdbc.FieldNamed("b8").AsString(), "\xA5");
}

}  // namespace
}  // namespace pelvar::db
