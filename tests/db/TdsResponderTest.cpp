// The ODBC provider through the FreeTDS driver against the TDS responder:
// the connection contract for what a scripted token stream can answer, and
// what a SQL Server's settings and triggers do to row counts.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "db/Query.h"
#include "relay/RelayConnection.h"
#include "support/TdsResponder.h"
#include "text/Error.h"

namespace pelvar::db {
namespace {

using namespace std::string_literals;
using testing::TdsColumn;
using testing::TdsReply;
using testing::TdsResponder;
using testing::TdsType;

template <typename Work>
std::string ErrorOf(Work work) {
  try {
    work();
  } catch (const Error& error) {
    return error.what();
  }
  return "(no error)";
}

class TdsContract : public ::testing::Test {
 protected:
  void SetUp() override { relay.Configure(responder.Parameters()); }

  Query& Select(const std::string& statement) { return relay.Select(statement); }

  std::int64_t Execute(const std::string& statement) {
    relay.Execute(statement);
    return relay.AffectedRows();
  }

  TdsResponder responder;
  relay::RelayConnection relay;
};

TEST_F(TdsContract, ColumnKindsTextFormsAndNulls) {
  using T = TdsType;
  std::vector<TdsColumn> columns = {{"i", T::kInt},
                                    {"ti", T::kTinyInt},
                                    {"si", T::kSmallInt},
                                    {"bi", T::kBigInt},
                                    {"b", T::kBit},
                                    {"m", T::kMoney},
                                    {"r", T::kReal},
                                    {"f", T::kFloat},
                                    {"dc", T::kDecimal, 10, 2},
                                    {"dh", T::kDecimal, 10, 2},
                                    {"n", T::kDecimal, 18, 3},
                                    {"dt", T::kDate},
                                    {"tm", T::kTime, 18, 0},
                                    {"dtt", T::kDateTime},
                                    {"dtm", T::kDateTime},
                                    {"d7", T::kDateTime2, 18, 7},
                                    {"vc", T::kVarChar},
                                    {"nv", T::kNVarChar},
                                    {"nt", T::kNText},
                                    {"vb", T::kVarBinary},
                                    {"BGBH", T::kVarChar}};
  std::vector<testing::TdsValue> values = {"-2147483648",
                                           "255",
                                           "-32768",
                                           "-9223372036854775808",
                                           "1",
                                           "12.50",
                                           "2.5",
                                           "-1.5e-7",
                                           "12.50",
                                           "100.00",
                                           "-1.500",
                                           "2011-05-02",
                                           "08:31:15",
                                           "2011-05-12 00:00:00",
                                           "2011-05-02 14:07:09.047",
                                           "2011-05-02 14:07:09.0456789",
                                           " a b ",
                                           "誠信检测",
                                           "中文",
                                           "AB\0C"s,
                                           "R-1"};
  responder.Answer("select * from kinds", TdsReply()
                                              .Columns(columns)
                                              .Row(values)
                                              .Row(std::vector<testing::TdsValue>(columns.size()))
                                              .Done(2));
  responder.Answer("select * from kinds where i = 1", TdsReply().Columns(columns).Done(0));

  Query& query = Select("select * from kinds");
  using K = FieldKind;
  struct Expected {
    FieldKind kind;
    std::string text;
  };
  const std::vector<Expected> expected = {{K::kInteger, "-2147483648"},
                                          {K::kOther, "255"},
                                          {K::kOther, "-32768"},
                                          {K::kOther, "-9223372036854775808"},
                                          {K::kOther, "True"},
                                          {K::kOther, "12.5"},
                                          {K::kFloat, "2.5"},
                                          {K::kFloat, "-1.5E-7"},
                                          {K::kFloat, "12.5"},
                                          {K::kFloat, "100"},
                                          {K::kFloat, "-1.5"},
                                          {K::kOther, "2011-5-2"},
                                          {K::kOther, "8:31:15"},
                                          {K::kOther, "2011-5-12"},
                                          {K::kOther, "2011-5-2 14:07:09"},
                                          {K::kOther, "2011-5-2 14:07:09"},
                                          {K::kOther, " a b "},
                                          {K::kOther, "誠信检测"},
                                          {K::kOther, "中文"},
                                          {K::kOther, "AB\0C"s},
                                          {K::kOther, "R-1"}};
  ASSERT_EQ(query.RowCount(), 2);
  ASSERT_EQ(query.FieldCount(), static_cast<int>(expected.size()));
  for (int i = 0; i < query.FieldCount(); ++i) {
    SCOPED_TRACE(columns[i].name);
    EXPECT_EQ(query.FieldAt(i).Name(), columns[i].name);
    EXPECT_EQ(query.FieldAt(i).DataType(), expected[i].kind);
    EXPECT_EQ(query.FieldAt(i).AsString(), expected[i].text);
  }
  EXPECT_EQ(query.FieldNamed("dtm").AsDateTime(), (text::DateTime{2011, 5, 2, 14, 7, 9, 47}));
  EXPECT_EQ(query.FieldNamed("d7").AsDateTime(), (text::DateTime{2011, 5, 2, 14, 7, 9, 45}));
  EXPECT_EQ(query.FieldNamed("d7").SubMillisecondDigits(), "6789");
  EXPECT_EQ(query.FieldNamed("dtm").SubMillisecondDigits(), "");
  EXPECT_EQ(query.FieldNamed("bgbh").AsString(), "R-1");
  EXPECT_EQ(ErrorOf([&] { query.FieldNamed("NOPE"); }), "UniSend: Field 'NOPE' not found");
  query.Next();
  for (int i = 0; i < query.FieldCount(); ++i) {
    SCOPED_TRACE(columns[i].name);
    EXPECT_TRUE(query.FieldAt(i).IsNull());
    EXPECT_EQ(query.FieldAt(i).AsString(), "");
  }
  EXPECT_EQ(query.FieldNamed("i").AsInteger(), 0);
  EXPECT_EQ(query.FieldNamed("dtm").AsDateTime(), text::DateTime{});
  query.Next();
  EXPECT_TRUE(query.AtEnd());

  Select("select * from kinds where i = 1");
  EXPECT_TRUE(query.IsEmptyResult());
  EXPECT_TRUE(query.AtEnd());
  EXPECT_EQ(query.RowCount(), 0);
  EXPECT_EQ(query.FieldCount(), static_cast<int>(expected.size()));
}

TEST_F(TdsContract, ChineseTextTravelsBothWays) {
  responder.AnswerExecute("insert into t values (1, '誠信检测 中文')", 1);
  responder.Answer(
      "select v as 名称 from t where v = '誠信检测 中文'",
      TdsReply().Columns({{"名称", TdsType::kVarChar}}).Row({"誠信检测 中文"}).Done(1));
  EXPECT_EQ(Execute("insert into t values (1, '誠信检测 中文')"), 1);
  Query& query = Select("select v as 名称 from t where v = '誠信检测 中文'");
  ASSERT_EQ(query.RowCount(), 1);
  EXPECT_EQ(query.FieldNamed("名称").AsString(), "誠信检测 中文");
  EXPECT_EQ(
      responder.Statements(),
      (std::vector<std::string>{"insert into t values (1, '誠信检测 中文')\nselect @@ROWCOUNT",
                                "select v as 名称 from t where v = '誠信检测 中文'"}));

  // A value far larger than a packet, and the column after it.
  std::string big;
  for (int i = 0; i < 350000; ++i)
    big += "中";
  responder.Answer("select v, w from b",
                   TdsReply()
                       .Columns({{"v", TdsType::kNText}, {"w", TdsType::kVarChar}})
                       .Row({big, "after"})
                       .Done(1));
  Select("select v, w from b");
  EXPECT_EQ(query.FieldAt(0).AsString(), big);
  EXPECT_EQ(query.FieldAt(1).AsString(), "after");
}

TEST_F(TdsContract, RefusedLoginRejectedStatementsAndADroppedConnection) {
  db::ConnectionParameters refused = responder.Parameters();
  refused.password = "wrong";
  relay.Configure(refused);
  EXPECT_EQ(ErrorOf([&] { relay.Connect(); }),
            "[FreeTDS][SQL Server]Login failed for user 'pelvar'.");
  EXPECT_FALSE(relay.Connected());

  relay.Configure(responder.Parameters());
  responder.Answer("select 1", TdsReply().Columns({{"", TdsType::kInt}}).Row({"1"}).Done(1));
  responder.Answer("select * from no_such_table",
                   TdsReply().Failure(208, "Invalid object name 'no_such_table'."));
  responder.Answer("update no_such_table set a = 1\nselect @@ROWCOUNT",
                   TdsReply().Failure(208, "Invalid object name 'no_such_table'."));
  Query& query = Select("select 1");
  EXPECT_EQ(ErrorOf([&] { Select("select * from no_such_table"); }),
            "[FreeTDS][SQL Server]Invalid object name 'no_such_table'.");
  EXPECT_FALSE(query.IsOpen());
  EXPECT_EQ(ErrorOf([&] { Execute("update no_such_table set a = 1"); }),
            "[FreeTDS][SQL Server]Invalid object name 'no_such_table'.");
  EXPECT_EQ(relay.AffectedRows(), 0);
  EXPECT_TRUE(relay.Connected());

  // The server ends the connection: the next statement fails and closes
  // it, the one after connects afresh.
  responder.DropConnections();
  EXPECT_NE(ErrorOf([&] { Select("select 1"); }), "(no error)");
  EXPECT_FALSE(relay.Connected());
  EXPECT_EQ(Select("select 1").FieldAt(0).AsString(), "1");
  EXPECT_EQ(responder.Logins().size(), 3u);
}

// With NOCOUNT on for every session, and with a trigger that reports its
// own counts before the DONE of the statement that fired it, a settle
// statement gives the number of rows it changed itself.
TEST_F(TdsContract, AffectedRowsAreTheStatementsOwnWhateverNoCountAndTriggers) {
  responder.SetNoCountByDefault(true);
  responder.AnswerExecute("delete from JCJG_AUTO  where RWDBH='R1' ", 1);
  responder.AnswerExecute("delete from JCJG_ALTER  where YPDBH='Y1' ", 1,
                          TdsReply().DoneInProc(3).DoneInProc(std::nullopt).Done(1, true));
  responder.AnswerExecute("update JCJG_ALTER set SENDFLAG=10 where YPDBH='Y2' ", 0,
                          TdsReply().DoneInProc(2).Done(0, true));
  EXPECT_EQ(Execute("delete from JCJG_AUTO  where RWDBH='R1' "), 1);
  EXPECT_EQ(Execute("delete from JCJG_ALTER  where YPDBH='Y1' "), 1);
  EXPECT_EQ(Execute("update JCJG_ALTER set SENDFLAG=10 where YPDBH='Y2' "), 0);
}

TEST(TdsLogin, EveryTypeableCharacterReachesTheDriverOrIsRefused) {
  TdsResponder responder;
  for (std::string value : {"p;w}d", "a}b;c", "}", "{x", " p q ", "a=b'\"", "口令}"}) {
    SCOPED_TRACE(value);
    responder.SetLogin("u}s;r " + value, value);
    ConnectionParameters parameters = responder.Parameters();
    parameters.database = value;
    relay::RelayConnection relay;
    relay.Configure(parameters);
    relay.Connect();
    ASSERT_FALSE(responder.Logins().empty());
    EXPECT_EQ(responder.Logins().back().user, "u}s;r " + value);
    EXPECT_EQ(responder.Logins().back().password, value);
    EXPECT_EQ(responder.Logins().back().database, value);
  }
  std::size_t logins = responder.Logins().size();
  ConnectionParameters parameters = responder.Parameters();
  parameters.password = "a};b";
  relay::RelayConnection relay;
  relay.Configure(parameters);
  EXPECT_EQ(ErrorOf([&] { relay.Connect(); }),
            "The password contains \"};\", which cannot be passed to the FreeTDS driver; change "
            "it.");
  EXPECT_EQ(responder.Logins().size(), logins);
}

// No encryption is offered, so a server with only TLS 1.0 is never asked for
// it; a server that requires encryption is asked again with it.
TEST(TdsLogin, EncryptionOffUnlessTheServerRequiresIt) {
  TdsResponder responder;
  relay::RelayConnection relay;
  relay.Configure(responder.Parameters());
  relay.Connect();
  EXPECT_EQ(responder.PreLogins(), std::vector<std::uint8_t>{2});
  relay.Disconnect();

  responder.SetEncryptionAnswer(3);
  EXPECT_NE(ErrorOf([&] { relay.Connect(); }), "(no error)");
  std::vector<std::uint8_t> offers = responder.PreLogins();
  ASSERT_GE(offers.size(), 3u);
  EXPECT_EQ(offers[1], 2);
  EXPECT_NE(offers[2], 2);
}

}  // namespace
}  // namespace pelvar::db
