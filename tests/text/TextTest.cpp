#include <gtest/gtest.h>

#include "text/Error.h"
#include "text/Gbk.h"
#include "text/Regional.h"
#include "text/Strings.h"

namespace pelvar::text {
namespace {

TEST(Gbk, RoundTripsChineseAndKeepsTheRestAroundBadBytes) {
  // 誠 is D5 5C in GBK: its trail byte is a backslash.
  EXPECT_EQ(Utf8ToGbk("誠"), "\xD5\x5C");
  EXPECT_EQ(GbkToUtf8("\xD5\x5C"), "誠");
  EXPECT_EQ(GbkToUtf8(Utf8ToGbk("上传成功！abc")), "上传成功！abc");
  EXPECT_EQ(Utf8ToGbk("启动上传").size(), 8u);

  // An invalid lead/trail pair and a truncated lead byte at the end.
  EXPECT_EQ(GbkToUtf8("a\xFF"
                      "b"),
            "a\xEF\xBF\xBD"
            "b");
  EXPECT_EQ(GbkToUtf8("ab\xD5"), "ab\xEF\xBF\xBD");
  EXPECT_FALSE(IsValidGbk("ab\xD5"));
  EXPECT_TRUE(IsValidGbk("\xD5\x5C"));
  // Characters GBK cannot hold, and broken UTF-8, become "?" and the rest stays.
  EXPECT_EQ(Utf8ToGbk("x\xF0\x9F\x98\x80y"), "x?y");
  EXPECT_EQ(Utf8ToGbk("x\xC3y"), "x?y");
  EXPECT_EQ(GbkToUtf8(std::string("a\0b", 3)), std::string("a\0b", 3));
}

TEST(Gbk, EveryDoubleByteCharacterRoundTrips) {
  int characters = 0;
  for (int lead = 0x81; lead <= 0xFE; ++lead) {
    for (int trail = 0x40; trail <= 0xFE; ++trail) {
      const std::string pair{static_cast<char>(lead), static_cast<char>(trail)};
      if (!IsValidGbk(pair))
        continue;
      ++characters;
      ASSERT_EQ(Utf8ToGbk(GbkToUtf8(pair)), pair) << lead << " " << trail;
    }
  }
  // The table is the system's own. Windows maps 2,149 codes more than glibc,
  // every one to a private-use character; where both map a code they agree.
#ifdef _WIN32
  EXPECT_EQ(characters, 21791 + 2149);
  EXPECT_EQ(GbkToUtf8("\xA1\x40"), "\uE4C6");
  EXPECT_EQ(Utf8ToGbk("\uE4C6"), "\xA1\x40");
#else
  EXPECT_EQ(characters, 21791);
  EXPECT_EQ(GbkToUtf8("\xA1\x40"), "\uFFFD@");
  EXPECT_EQ(Utf8ToGbk("\uE4C6"), "?");
#endif
  EXPECT_EQ(GbkToUtf8("\x80"), "€");  // code page 936's one single-byte extra
  EXPECT_EQ(Utf8ToGbk("€"), "\x80");
  EXPECT_FALSE(IsValidGbk("\xFF"));
}

TEST(Regional, TimeStampsAndDateTimeTexts) {
  DateTime t{2011, 5, 2, 8, 31, 15, 0};
  EXPECT_EQ(TimeStamp(t), "2011-5-2 8:31:15");
  DateTime midnight{2011, 5, 2, 0, 0, 0, 0};
  EXPECT_EQ(TimeStamp(midnight), "2011-5-2");
  DateTime justAfter{2011, 5, 2, 0, 0, 0, 1};
  EXPECT_EQ(TimeStamp(justAfter), "2011-5-2 0:00:00");
  EXPECT_EQ(DateTimeText(justAfter), "2011-5-2");
  EXPECT_EQ(TimeStamp({2011, 5, 2, 0, 0, 1, 0}), "2011-5-2 0:00:01");
  EXPECT_EQ(KeyDateTime({2011, 5, 2, 14, 7, 9, 45}), "2011-05-02 14:07:09:045");
  EXPECT_EQ(KeyDateTime(DateTime{}), "1899-12-30 00:00:00:000");
}

TEST(Regional, FloatTextsAtTheirBoundaries) {
  EXPECT_EQ(FloatText(12.5), "12.5");
  EXPECT_EQ(FloatText(12.50), "12.5");
  EXPECT_EQ(FloatText(100), "100");
  EXPECT_EQ(FloatText(-3.25), "-3.25");
  EXPECT_EQ(FloatText(0.1 + 0.2), "0.3");
  EXPECT_EQ(FloatText(1e14), "100000000000000");
  EXPECT_EQ(FloatText(1e15), "1E15");
  EXPECT_EQ(FloatText(123456789012345678.0), "1.23456789012346E17");
  EXPECT_EQ(FloatText(0.0001), "0.0001");
  EXPECT_EQ(FloatText(0.00001), "1E-5");
  EXPECT_EQ(FloatText(-1.5e-7), "-1.5E-7");
  EXPECT_EQ(FloatText(-0.0), "0");
}

TEST(Regional, ParsesRegionalDateTimesAndRejectsGarbage) {
  EXPECT_EQ(ParseDateTime("2011-5-2 8:31:15"), (DateTime{2011, 5, 2, 8, 31, 15, 0}));
  EXPECT_EQ(ParseDateTime("2011-05-02 08:31:15"), (DateTime{2011, 5, 2, 8, 31, 15, 0}));
  EXPECT_EQ(ParseDateTime("2011-5-2"), (DateTime{2011, 5, 2, 0, 0, 0, 0}));
  EXPECT_EQ(ParseDateTime(" 2011-5-2 8:31 "), (DateTime{2011, 5, 2, 8, 31, 0, 0}));
  EXPECT_EQ(ParseDateTime("2011-5-2 8:31:15.250"), (DateTime{2011, 5, 2, 8, 31, 15, 250}));
  for (const char* bad : {"", "garbage", "2011-13-2 8:00:00", "2011-2-30", "2011-5-2 24:00:00",
                          "2011-5-2 8:31:15 x", "2011-5-2x", "2011/5/2"}) {
    try {
      ParseDateTime(bad);
      ADD_FAILURE() << bad;
    } catch (const Error& e) {
      EXPECT_EQ(std::string(e.what()), "'" + std::string(bad) + "' is not a valid date and time");
    }
  }
}

TEST(Regional, ParsesIntegers) {
  EXPECT_EQ(ParseInteger("100"), 100);
  EXPECT_EQ(ParseInteger("  -42"), -42);
  EXPECT_EQ(ParseInteger("2147483647"), 2147483647);
  EXPECT_EQ(ParseInteger("-2147483648"), -2147483648LL);
  for (const char* bad : {"", "12a", "2147483648", "1 ", "-", "9999999999999"}) {
    EXPECT_THROW(ParseInteger(bad), Error) << bad;
  }
  try {
    ParseInteger("6O");
  } catch (const Error& e) {
    EXPECT_STREQ(e.what(), "'6O' is not a valid integer value");
  }
}

TEST(Strings, TrimCaseAndEscaping) {
  EXPECT_EQ(Trim(" \t\r\n a b \x01\n"), "a b");
  EXPECT_EQ(Trim("   "), "");
  EXPECT_TRUE(StartsWithNoCase("zqjcjgerror x", "ZQJCJGERROR "));
  EXPECT_FALSE(StartsWithNoCase("ZQJCJGERROR", "ZQJCJGERROR "));
  EXPECT_EQ(UpperAscii("ab誠z1"), "AB誠Z1");
  EXPECT_EQ(EscapeSqlLiteral("it's a\\b", SqlDialect::kMySql), "it''s a\\\\b");
  EXPECT_EQ(EscapeSqlLiteral("it's a\\b", SqlDialect::kSqlServer), "it''s a\\b");
  EXPECT_EQ(FormatMessage("Failed to get data for '%s'", "ScanTime"),
            "Failed to get data for 'ScanTime'");
}

}  // namespace
}  // namespace pelvar::text
