#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace pelvar::server {

// Splits the bytes a client sends into requests: command lines (ended by LF
// or CR LF) and statement frames (4-byte big-endian length, then the
// statement bytes). The session decides which to expect: after it has
// accepted an announcement of n frames, the next n requests are frames.
// Holds no socket; it is fed bytes and hands back whole requests.
class RequestReader {
 public:
  static constexpr std::size_t kMaxLineLength = 16384;
  static constexpr std::uint32_t kMaxFrameLength = 16u * 1024u * 1024u;

  enum class Kind {
    kNeedMore,   // no whole request buffered yet
    kLine,       // text holds the line without its CR LF or LF
    kFrame,      // text holds the statement bytes
    kMalformed,  // over-long line or frame length; text says which
  };

  struct Request {
    Kind kind = Kind::kNeedMore;
    std::string text;
  };

  void Feed(std::string_view bytes);

  // The next whole request, or kNeedMore. After kMalformed the stream cannot
  // be resynchronised: every later call answers kMalformed again.
  Request Next();

  // The next frames requests are frames (counted down as they are taken).
  void ExpectFrames(std::uint64_t frames) { framesExpected_ = frames; }
  std::uint64_t FramesExpected() const { return framesExpected_; }

  std::size_t Buffered() const { return buffer_.size() - start_; }

 private:
  Request NextLine();
  Request NextFrame();
  void Consume(std::size_t count);

  std::string buffer_;
  std::size_t start_ = 0;    // bytes before start_ have been taken
  std::size_t scanned_ = 0;  // bytes after start_ already searched for LF
  std::uint64_t framesExpected_ = 0;
  std::string malformed_;
};

}  // namespace pelvar::server
