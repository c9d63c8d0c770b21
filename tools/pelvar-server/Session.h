#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>

#include "FrameBudget.h"
#include "ServerDatabase.h"
#include "upload/Protocol.h"

namespace pelvar::server {

// Knobs that let tests and trials provoke the client's less common paths.
struct SessionOptions {
  std::string greeting{protocol::kGreeting};
  // When not empty, every identifier line is refused with this message.
  std::string guidRejection;
  // A session in which nothing arrives for this long is ended.
  std::chrono::seconds idleLimit{300};
  // A frame announcing more bytes than this ends its session.
  std::uint32_t maxFrameLength = 64u * 1024u * 1024u;
};

// One client connection, from greeting to close, on the calling thread:
// greets, then answers every command line and every statement frame with
// exactly one line, in order. Owns its socket and closes it on return. A
// frame's statement is received only once its length is taken from the
// shared budget (which must outlive the session).
class Session {
 public:
  Session(int number, int socket, std::string peer, const DatabaseOptions& database,
          const SessionOptions& options, FrameBudget& budget);
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // Returns when the client closes, on a socket error, on a malformed or
  // over-long request, after idleLimit without a byte, or after Interrupt.
  void Serve();

  // Makes a Serve blocked in a read return soon; callable from any thread.
  void Interrupt();

 private:
  bool HandleLine(const std::string& line);
  void HandleFrame(const std::string& statement);
  bool Send(const std::string& line);
  // Waits up to the idle limit for bytes; false when none came in time.
  bool WaitForBytes();
  void Log(const std::string& text) const;

  const int number_;
  const int socket_;
  const std::string peer_;
  const SessionOptions& options_;
  FrameBudget& budget_;
  std::uint64_t budgetTaken_ = 0;  // for the frame being received or run
  ServerDatabase database_;
  protocol::RequestReader reader_;
  std::uint64_t frameTotal_ = 0;
  std::atomic<bool> interrupted_{false};
};

}  // namespace pelvar::server
