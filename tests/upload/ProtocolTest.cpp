#include <gtest/gtest.h>

#include <string>

#include "upload/Protocol.h"

namespace pelvar::protocol {
namespace {

using Kind = RequestReader::Kind;

TEST(RequestReaderTest, SplitsLinesAndFramesAsAnnounced) {
  RequestReader reader;
  reader.Feed("ZQJCJGSEND 2\r\nZQJC");
  RequestReader::Request r = reader.Next();
  EXPECT_EQ(r.kind, Kind::kLine);
  EXPECT_EQ(r.text, "ZQJCJGSEND 2");
  EXPECT_EQ(reader.Next().kind, Kind::kNeedMore);

  // A line split across two reads.
  reader.Feed("JGGUID J01 X\n");
  r = reader.Next();
  EXPECT_EQ(r.text, "ZQJCJGGUID J01 X");

  reader.ExpectFrames(2);
  std::string two = EncodeFrame("insert 1;") + EncodeFrame("insert 二;");
  reader.Feed(two.substr(0, 3));
  EXPECT_EQ(reader.Next().kind, Kind::kNeedMore);
  reader.Feed(two.substr(3, 9));
  EXPECT_EQ(reader.Next().kind, Kind::kNeedMore);
  reader.Feed(two.substr(12));
  r = reader.Next();
  EXPECT_EQ(r.kind, Kind::kFrame);
  EXPECT_EQ(r.text, "insert 1;");
  r = reader.Next();
  EXPECT_EQ(r.kind, Kind::kFrame);
  EXPECT_EQ(r.text, "insert 二;");
  EXPECT_EQ(reader.FramesExpected(), 0u);

  // After the frames, lines again; an empty frame is a frame.
  reader.Feed("a\r\r\nb\n");
  EXPECT_EQ(reader.Next().text, "a\r");
  EXPECT_EQ(reader.Next().text, "b");
  reader.ExpectFrames(1);
  reader.Feed(std::string(4, '\0'));
  r = reader.Next();
  EXPECT_EQ(r.kind, Kind::kFrame);
  EXPECT_EQ(r.text, "");
}

TEST(RequestReaderTest, RefusesOverlongLinesAndFrames) {
  {
    RequestReader reader;
    reader.Feed(std::string(16384, 'x') + "\r\n");
    RequestReader::Request r = reader.Next();
    EXPECT_EQ(r.kind, Kind::kLine);
    EXPECT_EQ(r.text.size(), 16384u);
  }
  {
    RequestReader reader;
    reader.Feed(std::string(16385, 'x') + "\n");
    EXPECT_EQ(reader.Next().kind, Kind::kMalformed);
  }
  {
    // Without an LF the reader gives up once no line can fit any more.
    RequestReader reader;
    reader.Feed(std::string(16385, 'x'));
    EXPECT_EQ(reader.Next().kind, Kind::kNeedMore);
    reader.Feed("x");
    EXPECT_EQ(reader.Next().kind, Kind::kMalformed);
    reader.Feed("\nok\n");
    EXPECT_EQ(reader.Next().kind, Kind::kMalformed);
  }
  {
    RequestReader reader;
    reader.ExpectFrames(1);
    reader.Feed(std::string("\x01\x00\x00\x01", 4));
    EXPECT_EQ(reader.Next().kind, Kind::kMalformed);
    RequestReader exact;
    exact.ExpectFrames(1);
    exact.Feed(std::string("\x01\x00\x00\x00", 4) + "abc");
    EXPECT_EQ(exact.Next().kind, Kind::kNeedMore);
  }
}

}  // namespace
}  // namespace pelvar::protocol
