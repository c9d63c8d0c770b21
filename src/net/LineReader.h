#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace pelvar::net {

// Splits a received byte stream into reply lines. It is fed bytes as they
// arrive and hands back one line at a time or asks for more; it never
// touches a socket, so it can be tested and fuzzed on byte strings alone.
//
// A line is the bytes up to the first LF. The LF is removed, and one CR just
// before it as well; nothing else is trimmed. At most maxLineLength bytes may
// precede the LF (a CR before the LF counts). A longer line is an error, never
// split into pieces: once Next() reports kTooLong it keeps doing so, and the
// offending bytes stay buffered, until Clear().
//
// Fed bytes are never lost: every byte is either part of a returned line, one
// of the terminator bytes removed with it, or still buffered.
class LineReader {
 public:
  static constexpr std::size_t kMaxLineLength = 16384;

  enum class Status {
    kLine,      // a complete line was taken out of the buffer
    kNeedMore,  // no LF buffered yet, and the bytes so far are within the cap
    kTooLong,   // the cap was exceeded: "Max line length exceeded."
  };

  explicit LineReader(std::size_t maxLineLength = kMaxLineLength);

  // Appends received bytes behind those buffered.
  void Feed(std::string_view bytes);

  // Takes the next line out of the buffer into *line when it returns kLine;
  // leaves *line alone otherwise. The search for the LF resumes where the
  // previous call stopped, so a long line is scanned only once.
  Status Next(std::string* line);

  // Bytes received and not yet returned as part of a line.
  std::size_t BufferedSize() const { return buffer_.size() - start_; }

  // Drops everything buffered, for a new connection.
  void Clear();

 private:
  std::size_t maxLineLength_;
  std::string buffer_;
  std::size_t start_ = 0;    // first byte not yet consumed
  std::size_t scanned_ = 0;  // bytes from start_ already searched for an LF
};

}  // namespace pelvar::net
