#pragma once

#include <atomic>
#include <string>

#include "ServerDatabase.h"
#include "upload/Protocol.h"

namespace pelvar::server {

// Knobs that let tests and trials provoke the client's less common paths.
struct SessionOptions {
  std::string greeting{protocol::kGreeting};
  // When not empty, every identifier line is refused with this message.
  std::string guidRejection;
};

// One client connection, from greeting to close, on the calling thread:
// greets, then answers every command line and every statement frame with
// exactly one line, in order. Owns its socket and closes it on return.
class Session {
 public:
  Session(int number, int socket, std::string peer, const DatabaseOptions& database,
          const SessionOptions& options);
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // Returns when the client closes, on a socket error, on a malformed
  // request, or after Interrupt.
  void Serve();

  // Makes a Serve blocked in a read return soon; callable from any thread.
  void Interrupt();

 private:
  bool HandleLine(const std::string& line);
  void HandleFrame(const std::string& statement);
  bool Send(const std::string& line);
  void Log(const std::string& text) const;

  const int number_;
  const int socket_;
  const std::string peer_;
  const SessionOptions& options_;
  ServerDatabase database_;
  protocol::RequestReader reader_;
  std::uint64_t frameTotal_ = 0;
  std::atomic<bool> interrupted_{false};
};

}  // namespace pelvar::server
