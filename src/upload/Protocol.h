#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// The supervision server's wire protocol, shared by the upload engine, the
// reference server, the tests' scripted peers and the benchmarks. Everything
// here works on bytes as they go on the wire (GBK); nothing touches a socket.
namespace pelvar::protocol {

// Keywords; trailing blanks belong to them.
// Sent by the server, recognised as a whole line:
inline constexpr std::string_view kGreeting = "ZQJCJGSITE2";
inline constexpr std::string_view kReady = "ZQJCJGBUSK";
inline constexpr std::string_view kAccepted = "ZQJCJGOK";
inline constexpr std::string_view kNoticeAccepted = "ZQJCJG_STARSTOP_OK";
// Sent by the server, recognised by prefix in any case, + message or time.
// The client settles nothing on kRetry: the row stays pending.
inline constexpr std::string_view kRejected = "ZQJCJGERROR ";
inline constexpr std::string_view kRetry = "ZQJCJGRETRY ";
inline constexpr std::string_view kGuidAccepted = "ZQJCJGGUIDOK ";
inline constexpr std::string_view kGuidRefused = "ZQJCJGGUIDERROR ";
// Sent by the client, recognised by the server by prefix, case included:
// + row count; + agency number " " action text; + agency number " " GUID.
inline constexpr std::string_view kAnnounce = "ZQJCJGSEND ";
inline constexpr std::string_view kNotice = "ZQJCJG_STARSTOP ";
inline constexpr std::string_view kGuid = "ZQJCJGGUID ";

// The longest line either side accepts, CR included, LF not.
inline constexpr std::size_t kMaxLineLength = 16384;

// A line (terminator removed) equal to the keyword byte for byte.
inline bool MatchesWholeLine(std::string_view line, std::string_view keyword) {
  return line == keyword;
}

// A reply line starting with the keyword, ASCII letters compared without
// regard to case.
bool MatchesPrefixAnyCase(std::string_view line, std::string_view keyword);

// A command line starting with the keyword byte for byte.
inline bool MatchesPrefix(std::string_view line, std::string_view keyword) {
  return line.substr(0, keyword.size()) == keyword;
}

// What follows the keyword on a line it matched by prefix.
inline std::string_view KeywordArgument(std::string_view line, std::string_view keyword) {
  return line.substr(keyword.size());
}

// The line's bytes with CR LF behind them.
std::string EncodeLine(std::string_view line);

// The statement's bytes behind their count as a 4-byte big-endian number.
// Requires: statement.size() <= kMaxFrameBytes.
inline constexpr std::uint64_t kMaxFrameBytes = 0xFFFFFFFFu;
std::string EncodeFrame(std::string_view statement);

// The count at the start of a frame. Requires: header.size() >= 4.
std::uint32_t DecodeFrameLength(std::string_view header);

// Splits the bytes a client sends into requests: command lines (ended by LF
// or CR LF) and statement frames. It is fed bytes as they arrive and hands
// back whole requests or asks for more; it holds no socket. Next() follows
// the session: after ExpectFrames(n) the next n requests are frames. A peer
// that does not follow announcements may call NextLine()/NextFrame() itself.
//
// Memory: besides whole requests handed out, the reader holds one line of
// at most 16 KiB, or one frame of at most maxFrameLength bytes whose room
// is taken once its count is known, plus the bytes of one Feed beyond it.
class RequestReader {
 public:
  static constexpr std::uint32_t kMaxFrameLength = 16u * 1024u * 1024u;

  explicit RequestReader(std::uint32_t maxFrameLength = kMaxFrameLength)
      : maxFrameLength_(maxFrameLength) {}

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
  Request NextLine();
  Request NextFrame();

  // The next frames requests are frames (counted down as they are taken).
  void ExpectFrames(std::uint64_t frames) { framesExpected_ = frames; }
  std::uint64_t FramesExpected() const { return framesExpected_; }

  // The count of the frame being received: its header is buffered, its
  // statement not yet whole. Zero otherwise.
  std::uint32_t PendingFrameLength() const;

  std::size_t Buffered() const { return buffer_.size() - start_; }
  // The first buffered byte; requires Buffered() > 0.
  char Front() const { return buffer_[start_]; }

 private:
  Request TakeLine();
  Request TakeFrame();
  Request Checked(Request request);
  void Consume(std::size_t count);

  std::uint32_t maxFrameLength_;
  std::string buffer_;
  std::size_t start_ = 0;    // bytes before start_ have been taken
  std::size_t scanned_ = 0;  // bytes after start_ already searched for LF
  std::uint64_t framesExpected_ = 0;
  std::string malformed_;
};

}  // namespace pelvar::protocol
