#include "upload/Protocol.h"

#include <cstring>

#include "text/Strings.h"

namespace pelvar::protocol {

bool MatchesPrefixAnyCase(std::string_view line, std::string_view keyword) {
  return text::StartsWithNoCase(line, keyword);
}

std::string EncodeLine(std::string_view line) {
  std::string bytes;
  bytes.reserve(line.size() + 2);
  bytes += line;
  bytes += "\r\n";
  return bytes;
}

std::string EncodeFrame(std::string_view statement) {
  const auto length = static_cast<std::uint32_t>(statement.size());
  std::string frame;
  frame.reserve(4 + statement.size());
  frame += static_cast<char>(length >> 24);
  frame += static_cast<char>((length >> 16) & 0xFF);
  frame += static_cast<char>((length >> 8) & 0xFF);
  frame += static_cast<char>(length & 0xFF);
  frame += statement;
  return frame;
}

std::uint32_t DecodeFrameLength(std::string_view header) {
  const auto* p = reinterpret_cast<const unsigned char*>(header.data());
  return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
         std::uint32_t{p[3]};
}

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
  return framesExpected_ > 0 ? NextFrame() : NextLine();
}

RequestReader::Request RequestReader::NextLine() {
  return Checked(malformed_.empty() ? TakeLine() : Request{});
}

RequestReader::Request RequestReader::NextFrame() {
  return Checked(malformed_.empty() ? TakeFrame() : Request{});
}

RequestReader::Request RequestReader::Checked(Request request) {
  if (!malformed_.empty())
    return {Kind::kMalformed, malformed_};
  if (request.kind == Kind::kMalformed)
    malformed_ = request.text;
  return request;
}

RequestReader::Request RequestReader::TakeLine() {
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

std::uint32_t RequestReader::PendingFrameLength() const {
  std::size_t available = buffer_.size() - start_;
  if (framesExpected_ == 0 || !malformed_.empty() || available < 4)
    return 0;
  std::uint32_t length = DecodeFrameLength(std::string_view(buffer_).substr(start_, 4));
  return length <= maxFrameLength_ && available - 4 < length ? length : 0;
}

RequestReader::Request RequestReader::TakeFrame() {
  // Frames this large are not copied out of the buffer but handed over.
  constexpr std::size_t kHandedOver = 64 * 1024;
  std::size_t available = buffer_.size() - start_;
  if (available < 4)
    return {};
  std::uint32_t length = DecodeFrameLength(std::string_view(buffer_).substr(start_, 4));
  if (length > maxFrameLength_) {
    return {Kind::kMalformed, "frame length " + std::to_string(length) + " over the limit of " +
                                  std::to_string(maxFrameLength_) + " bytes"};
  }
  const std::size_t whole = 4 + std::size_t{length};
  if (available < whole) {
    // Room for exactly this frame, taken at once, so a large frame never
    // holds a buffer grown to twice its size.
    if (length >= kHandedOver && buffer_.capacity() - start_ < whole) {
      std::string room;
      room.reserve(whole);
      room.append(buffer_, start_);
      buffer_.swap(room);
      start_ = 0;
    }
    return {};
  }
  Request request{Kind::kFrame, {}};
  if (length >= kHandedOver && start_ == 0) {
    std::string rest = buffer_.substr(whole);
    buffer_.resize(whole);
    buffer_.erase(0, 4);
    request.text = std::move(buffer_);
    buffer_ = std::move(rest);
    scanned_ = 0;
  } else {
    request.text.assign(buffer_, start_ + 4, length);
    Consume(whole);
  }
  if (framesExpected_ > 0)
    --framesExpected_;
  return request;
}

void RequestReader::Consume(std::size_t count) {
  // A buffer grown for a large frame is let go once it is empty.
  constexpr std::size_t kKeptRoom = 256 * 1024;
  start_ += count;
  scanned_ = 0;
  if (start_ == buffer_.size()) {
    if (buffer_.capacity() > kKeptRoom)
      std::string().swap(buffer_);
    buffer_.clear();
    start_ = 0;
  }
}

}  // namespace pelvar::protocol
