#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "net/LineReader.h"

namespace pelvar::net {
namespace {

using Status = LineReader::Status;

// Every line the reader hands back for the given bytes, then the status that
// ended the run (kNeedMore or kTooLong).
std::vector<std::string> Drain(LineReader& reader, Status* last = nullptr) {
  std::vector<std::string> lines;
  std::string line;
  Status status;
  while ((status = reader.Next(&line)) == Status::kLine)
    lines.push_back(line);
  if (last != nullptr)
    *last = status;
  return lines;
}

TEST(LineReader, RemovesTheLfAndOneCrOnly) {
  LineReader reader;
  reader.Feed("ZQJCJGSITE2\r\nZQJCJGBUSK\n ZQJCJGOK \r\nZQJCJGOK\r\r\n\r\n\nA\rB\npart");
  Status last;
  EXPECT_EQ(Drain(reader, &last),
            (std::vector<std::string>{"ZQJCJGSITE2", "ZQJCJGBUSK", " ZQJCJGOK ", "ZQJCJGOK\r", "",
                                      "", "A\rB"}));
  EXPECT_EQ(last, Status::kNeedMore);
  // Bytes after the last LF wait for the rest of their line.
  EXPECT_EQ(reader.BufferedSize(), 4u);
  reader.Feed("ial\r");
  EXPECT_TRUE(Drain(reader).empty());
  reader.Feed("\n");
  EXPECT_EQ(Drain(reader), std::vector<std::string>{"partial"});
  EXPECT_EQ(reader.BufferedSize(), 0u);
}

TEST(LineReader, SameLinesWhateverTheCutsBetweenFeeds) {
  const std::string stream = "one\r\ntwo\n\r\nthree\r\r\nfour";
  for (std::size_t cut = 1; cut <= 4; ++cut) {
    LineReader reader;
    std::vector<std::string> lines;
    for (std::size_t at = 0; at < stream.size(); at += cut) {
      reader.Feed(stream.substr(at, cut));
      for (auto& line : Drain(reader))
        lines.push_back(line);
    }
    EXPECT_EQ(lines, (std::vector<std::string>{"one", "two", "", "three\r"})) << "cut " << cut;
    EXPECT_EQ(reader.BufferedSize(), 4u);
  }
}

TEST(LineReader, CapsALineAt16384BytesBeforeItsLf) {
  const std::size_t cap = LineReader::kMaxLineLength;
  ASSERT_EQ(cap, 16384u);
  {
    LineReader reader;
    reader.Feed(std::string(cap, 'a'));  // complete length, LF still to come
    Status last;
    EXPECT_TRUE(Drain(reader, &last).empty());
    EXPECT_EQ(last, Status::kNeedMore);
    reader.Feed("\nnext\n");
    EXPECT_EQ(Drain(reader), (std::vector<std::string>{std::string(cap, 'a'), "next"}));
  }
  {
    // A CR before the LF counts towards the cap.
    LineReader reader;
    reader.Feed(std::string(cap - 1, 'b') + "\r\n");
    EXPECT_EQ(Drain(reader), std::vector<std::string>{std::string(cap - 1, 'b')});
    reader.Feed(std::string(cap, 'b') + "\r\n");
    Status last;
    EXPECT_TRUE(Drain(reader, &last).empty());
    EXPECT_EQ(last, Status::kTooLong);
  }
  {
    // 16385 bytes without an LF fail at once; the error stays and nothing is
    // consumed.
    LineReader reader;
    reader.Feed(std::string(cap + 1, 'c'));
    std::string line = "untouched";
    EXPECT_EQ(reader.Next(&line), Status::kTooLong);
    reader.Feed("\nok\n");
    EXPECT_EQ(reader.Next(&line), Status::kTooLong);
    EXPECT_EQ(line, "untouched");
    EXPECT_EQ(reader.BufferedSize(), cap + 5);
    reader.Clear();
    reader.Feed("ok\n");
    EXPECT_EQ(Drain(reader), std::vector<std::string>{"ok"});
  }
}

}  // namespace
}  // namespace pelvar::net
