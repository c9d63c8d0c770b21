#include "RequestReader.h"

#include <cstring>

namespace pelvar::server {

void RequestReader::Feed(std::string_view bytes) {
  // Drop what has been taken before the buffer grows, so a long session
  // does not keep every request it ever received.
  if (start_ > 0 && start_ >= buffer_.size() / 2) {
    buffer_.erase(0, start_);
    start_ = 0;
  }
  buffer_.append(bytes);
}

RequestReader::Request RequestReader::Next() {
  if (!malformed_.empty())
    return {Kind::kMalformed, malformed_};
  Request request = framesExpected_ > 0 ? NextFrame() : NextLine();
  if (request.kind == Kind::kMalformed)
    malformed_ = request.text;
  return request;
}

RequestReader::Request RequestReader::NextLine() {
  const char* begin = buffer_.data() + start_;
  std::size_t available = buffer_.size() - start_;
  const void* lf = std::memchr(begin + scanned_, '\n', available - scanned_);
  if (lf == nullptr) {
    scanned_ = available;
    // A line may end in CR before its LF; one byte more than the limit is
    // still a candidate.
    if (available > kMaxLineLength + 1) {
      return {Kind::kMalformed, "command line longer than 16384 bytes"};
    }
    return {};
  }
  std::size_t length = static_cast<const char*>(lf) - begin;
  std::size_t textLength = length;
  if (textLength > 0 && begin[textLength - 1] == '\r')
    --textLength;
  if (textLength > kMaxLineLength) {
    return {Kind::kMalformed, "command line longer than 16384 bytes"};
  }
  Request request{Kind::kLine, std::string(begin, textLength)};
  Consume(length + 1);
  return request;
}

RequestReader::Request RequestReader::NextFrame() {
  std::size_t available = buffer_.size() - start_;
  if (available < 4)
    return {};
  const auto* p = reinterpret_cast<const unsigned char*>(buffer_.data() + start_);
  std::uint32_t length = (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) |
                         (std::uint32_t{p[2]} << 8) | std::uint32_t{p[3]};
  if (length > kMaxFrameLength) {
    return {Kind::kMalformed, "frame length " + std::to_string(length) + " over 16 MiB"};
  }
  if (available - 4 < length)
    return {};
  Request request{Kind::kFrame, std::string(buffer_.data() + start_ + 4, length)};
  Consume(4 + std::size_t{length});
  --framesExpected_;
  return request;
}

void RequestReader::Consume(std::size_t count) {
  start_ += count;
  scanned_ = 0;
  if (start_ == buffer_.size()) {
    buffer_.clear();
    start_ = 0;
  }
}

}  // namespace pelvar::server
