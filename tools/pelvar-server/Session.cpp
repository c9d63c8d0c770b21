#include "Session.h"

#include <cerrno>
#include <charconv>
#include <cstring>

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>

#include "LocalTime.h"
#include "Log.h"
#include "text/Gbk.h"
#include "text/Regional.h"

namespace pelvar::server {
namespace {

constexpr std::size_t kReceiveBlock = 32768;
// Statements are logged up to this many bytes; the rest is elided.
constexpr std::size_t kLoggedStatement = 300;

// The wire is GBK; the log is UTF-8.
std::string ForLog(const std::string& gbk, std::size_t limit = std::string::npos) {
  if (gbk.size() <= limit)
    return text::GbkToUtf8(gbk);
  return text::GbkToUtf8(gbk.substr(0, limit)) + "...";
}

// "ZQJCJGSEND n": n a decimal count without sign.
bool ParseCount(std::string_view text, std::uint64_t& count) {
  if (text.empty())
    return false;
  auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), count);
  return error == std::errc() && end == text.data() + text.size();
}

}  // namespace

Session::Session(int number, int socket, std::string peer, const DatabaseOptions& database,
                 const SessionOptions& options, FrameBudget& budget)
    : number_(number),
      socket_(socket),
      peer_(std::move(peer)),
      options_(options),
      budget_(budget),
      database_(database),
      reader_(options.maxFrameLength) {}

Session::~Session() {
  budget_.Give(budgetTaken_);
  ::close(socket_);
}

bool Session::WaitForBytes() {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point deadline = Clock::now() + options_.idleLimit;
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0)
      return false;
    pollfd fd{socket_, POLLIN, 0};
    int n = ::poll(&fd, 1, static_cast<int>(std::min<std::int64_t>(left.count(), 60000)));
    if (n != 0 && !(n < 0 && errno == EINTR))
      return true;  // bytes, an end or an error: recv tells which
  }
}

void Session::Log(const std::string& text) const {
  LogLine("#" + std::to_string(number_) + " " + text);
}

void Session::Interrupt() {
  interrupted_ = true;
  ::shutdown(socket_, SHUT_RDWR);
}

bool Session::Send(const std::string& line) {
  std::string bytes = protocol::EncodeLine(line);
  std::size_t sent = 0;
  while (sent < bytes.size()) {
    ssize_t n = ::send(socket_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n < 0) {
      if (errno == EINTR)
        continue;
      Log(std::string("send failed: ") + std::strerror(errno));
      return false;
    }
    sent += static_cast<std::size_t>(n);
  }
  return true;
}

void Session::Serve() {
  Log("connected from " + peer_);
  if (!Send(options_.greeting))
    return;

  std::string block(kReceiveBlock, '\0');
  std::string why = "closed by the client";
  for (;;) {
    protocol::RequestReader::Request request = reader_.Next();
    if (request.kind == protocol::RequestReader::Kind::kNeedMore) {
      std::size_t wanted = block.size();
      if (std::uint32_t length = reader_.PendingFrameLength(); length > 0) {
        if (budgetTaken_ == 0) {
          if (!budget_.Take(length, [this] { return interrupted_.load(); })) {
            why = "ended by the server";
            break;
          }
          budgetTaken_ = length;
        }
        // Never more than the frame still lacks: its room is exact.
        wanted = std::min(wanted, 4 + std::size_t{length} - reader_.Buffered());
      }
      if (!interrupted_ && !WaitForBytes()) {
        why = "ended: idle for " + std::to_string(options_.idleLimit.count()) + " s";
        break;
      }
      ssize_t n = ::recv(socket_, block.data(), wanted, 0);
      if (n < 0 && errno == EINTR && !interrupted_)
        continue;
      if (interrupted_) {
        why = "ended by the server";
        break;
      }
      if (n < 0) {
        why = std::string("receive failed: ") + std::strerror(errno);
        break;
      }
      if (n == 0) {
        if (reader_.Buffered() > 0)
          why += " inside a request";
        break;
      }
      reader_.Feed(std::string_view(block.data(), static_cast<std::size_t>(n)));
      continue;
    }
    if (request.kind == protocol::RequestReader::Kind::kMalformed) {
      why = "ended: " + request.text;
      break;
    }
    if (request.kind == protocol::RequestReader::Kind::kFrame) {
      HandleFrame(request.text);
      request.text = std::string();
      budget_.Give(budgetTaken_);
      budgetTaken_ = 0;
      continue;
    }
    if (!HandleLine(request.text)) {
      why = "ended: the reply could not be sent";
      break;
    }
  }
  // Let the client see the end at once; the socket itself is closed when
  // the session is released.
  ::shutdown(socket_, SHUT_RDWR);
  Log(why);
}

bool Session::HandleLine(const std::string& line) {
  Log("< " + ForLog(line, kLoggedStatement));
  std::string answer;
  if (protocol::MatchesPrefix(line, protocol::kAnnounce)) {
    std::uint64_t count = 0;
    if (!ParseCount(protocol::KeywordArgument(line, protocol::kAnnounce), count)) {
      answer = std::string(protocol::kRejected) + "bad frame count";
    } else if (std::string reason = database_.EnsureConnected(); !reason.empty()) {
      // Not BUSK: the client sends nothing of this batch and keeps its rows.
      answer = std::string(protocol::kRejected) + "database unavailable: " + reason;
    } else {
      answer = protocol::kReady;
      reader_.ExpectFrames(count);
      frameTotal_ = count;
    }
  } else if (protocol::MatchesPrefix(line, protocol::kGuid)) {
    std::string rest(protocol::KeywordArgument(line, protocol::kGuid));
    std::size_t blank = rest.find(' ');
    if (blank == 0 || blank == std::string::npos || blank + 1 == rest.size()) {
      answer = std::string(protocol::kGuidRefused) + "malformed identifier line";
    } else if (!options_.guidRejection.empty()) {
      answer = std::string(protocol::kGuidRefused) + text::Utf8ToGbk(options_.guidRejection);
    } else {
      text::DateTime now = LocalTimeNow();
      answer =
          std::string(protocol::kGuidAccepted) + text::ShortDate(now) + " " + text::LongTime(now);
    }
  } else if (protocol::MatchesPrefix(line, protocol::kNotice)) {
    answer = protocol::kNoticeAccepted;
  } else {
    answer = std::string(protocol::kRejected) + "unknown command";
  }
  Log("> " + ForLog(answer));
  return Send(answer);
}

void Session::HandleFrame(const std::string& statement) {
  std::uint64_t index = frameTotal_ - reader_.FramesExpected();
  std::string position = "frame " + std::to_string(index) + "/" + std::to_string(frameTotal_);
  Log(position + " < " + ForLog(statement, kLoggedStatement));
  Outcome outcome = database_.ExecuteFrame(statement);
  std::string answer;
  switch (outcome.verdict) {
    case Verdict::kAccepted:
      answer = protocol::kAccepted;
      break;
    case Verdict::kRejected:
      answer = std::string(protocol::kRejected) + outcome.message;
      break;
    case Verdict::kRetry:
      answer = std::string(protocol::kRetry) + outcome.message;
      break;
  }
  Log(position + " > " + ForLog(answer));
  Send(answer);
}

}  // namespace pelvar::server
