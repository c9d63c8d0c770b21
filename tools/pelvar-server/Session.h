#pragma once

#include <atomic>
#include <string>

#include "RequestReader.h"
#include "ServerDatabase.h"

namespace pelvar::server {

// Knobs that let tests and trials provoke the client's less common paths.
struct SessionOptions {
  std::string greeting = "ZQJCJGSITE2";
  // When not empty, every identifier line is refused with this message.
  std::string guidRejection;
};

// The replies the server gives, as they go on the wire before CR LF.
namespace reply {
inline constexpr const char* kBusy = "ZQJCJGBUSK";
inline constexpr const char* kOk = "ZQJCJGOK";
inline constexpr const char* kError = "ZQJCJGERROR ";
inline constexpr const char* kRetry = "ZQJCJGRETRY ";
inline constexpr const char* kGuidOk = "ZQJCJGGUIDOK ";
inline constexpr const char* kGuidError = "ZQJCJGGUIDERROR ";
inline constexpr const char* kStartStopOk = "ZQJCJG_STARSTOP_OK";
}  // namespace reply

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
  RequestReader reader_;
  std::uint64_t frameTotal_ = 0;
  std::atomic<bool> interrupted_{false};
};

}  // namespace pelvar::server
