#include "net/LineReader.h"

#include <cstring>

namespace pelvar::net {

LineReader::LineReader(std::size_t maxLineLength) : maxLineLength_(maxLineLength) {}

void LineReader::Feed(std::string_view bytes) {
  // Consumed bytes are given back before the buffer would have to grow.
  if (start_ > 0 &&
      (start_ >= buffer_.size() / 2 || buffer_.size() + bytes.size() > buffer_.capacity())) {
    buffer_.erase(0, start_);
    start_ = 0;
  }
  buffer_.append(bytes);
}

LineReader::Status LineReader::Next(std::string* line) {
  std::size_t available = buffer_.size() - start_;
  const char* begin = buffer_.data() + start_;
  const void* found = nullptr;
  if (scanned_ < available) {
    found = std::memchr(begin + scanned_, '\n', available - scanned_);
  }
  if (found == nullptr) {
    scanned_ = available;
    return available > maxLineLength_ ? Status::kTooLong : Status::kNeedMore;
  }
  std::size_t length = static_cast<std::size_t>(static_cast<const char*>(found) - begin);
  if (length > maxLineLength_) {
    scanned_ = length;
    return Status::kTooLong;
  }
  std::size_t kept = (length > 0 && begin[length - 1] == '\r') ? length - 1 : length;
  line->assign(begin, kept);
  start_ += length + 1;
  scanned_ = 0;
  if (start_ == buffer_.size()) {
    buffer_.clear();
    start_ = 0;
  }
  return Status::kLine;
}

void LineReader::Clear() {
  buffer_.clear();
  start_ = 0;
  scanned_ = 0;
}

}  // namespace pelvar::net
