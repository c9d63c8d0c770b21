// Feeds random byte streams, cut at random points, to the line reader and
// checks every answer against a plain reading of the whole stream: no crash,
// no line over the cap, every byte either returned, removed as a terminator
// or still buffered.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "net/LineReader.h"

namespace {

void Check(bool condition) {
  if (!condition)
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using pelvar::net::LineReader;
  FuzzedDataProvider input(data, size);
  const std::size_t cap = input.ConsumeBool() ? input.ConsumeIntegralInRange<std::size_t>(0, 64)
                                              : LineReader::kMaxLineLength;
  LineReader reader(cap);
  std::string stream;   // everything fed so far
  std::size_t pos = 0;  // start of the first byte not yet returned
  while (input.remaining_bytes() > 0) {
    if (input.ConsumeIntegralInRange<int>(0, 31) == 0) {
      reader.Clear();
      pos = stream.size();
      continue;
    }
    std::string chunk = input.ConsumeRandomLengthString(cap + 2);
    reader.Feed(chunk);
    stream += chunk;
    for (;;) {
      Check(reader.BufferedSize() == stream.size() - pos);
      std::string line;
      LineReader::Status status = reader.Next(&line);
      std::size_t lf = stream.find('\n', pos);
      if (status == LineReader::Status::kLine) {
        Check(lf != std::string::npos && lf - pos <= cap);
        std::string expected = stream.substr(pos, lf - pos);
        if (!expected.empty() && expected.back() == '\r')
          expected.pop_back();
        Check(line == expected);
        Check(line.size() <= cap);
        pos = lf + 1;
        continue;
      }
      if (status == LineReader::Status::kNeedMore) {
        Check(lf == std::string::npos && stream.size() - pos <= cap);
        break;
      }
      // Too long: the line in front really is over the cap, and the reader
      // keeps saying so without consuming anything.
      Check(lf == std::string::npos ? stream.size() - pos > cap : lf - pos > cap);
      Check(reader.Next(&line) == LineReader::Status::kTooLong);
      Check(reader.BufferedSize() == stream.size() - pos);
      return 0;
    }
  }
  return 0;
}
