#pragma once

#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "FrameBudget.h"
#include "ServerDatabase.h"
#include "Session.h"

namespace pelvar::server {

struct ServerOptions {
  std::string listenAddress = "127.0.0.1";
  std::uint16_t port = 13031;  // 0 picks a free port
  int maxSessions = 64;
  // Statement frames being received or run hold at most this many bytes in
  // all sessions together. Requires: at least session.maxFrameLength.
  std::uint64_t frameBudget = 256u * 1024u * 1024u;
  DatabaseOptions database;
  SessionOptions session;
};

// Listens on one IPv4 address and serves every connection on a thread of
// its own, at most maxSessions at a time; a connection beyond that is closed
// at once without a greeting.
class Server {
 public:
  explicit Server(ServerOptions options);
  ~Server();
  Server(const Server&) = delete;
  Server& operator=(const Server&) = delete;

  // Binds and listens. Throws pelvar::Error with the reason on failure.
  void Listen();
  // "ADDR:PORT" actually bound (the port chosen when 0 was asked for).
  std::string BoundAddress() const;

  // Accepts and serves until a byte arrives on stopFd (the signal handler's
  // self-pipe), then ends every session and waits for their threads.
  void Run(int stopFd);

 private:
  struct Running {
    std::unique_ptr<Session> session;
    std::thread thread;
    bool done = false;
  };

  void Accept();
  void Reap(bool all);

  ServerOptions options_;
  FrameBudget budget_;
  int listenSocket_ = -1;
  std::uint16_t boundPort_ = 0;
  int nextNumber_ = 1;
  std::mutex mutex_;  // guards done flags of sessions_
  std::list<Running> sessions_;
};

}  // namespace pelvar::server
