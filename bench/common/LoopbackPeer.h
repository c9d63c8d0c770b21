#pragma once

// The supervision server's side for the benchmarks: a listener on a free
// loopback port and a reader that splits the client's bytes into command
// lines and statement frames. Header-only; benchmarks only.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <list>
#include <string>
#include <thread>
#include <vector>

#include "upload/Protocol.h"

namespace pelvar::bench {

// Accepts connections on 127.0.0.1 at a free port and runs serve(fd) for
// each, on a thread of its own or one connection after another; the
// connection is closed when serve returns.
class LoopbackListener {
 public:
  enum class Mode { kThreadPerConnection, kOneAtATime };

  LoopbackListener(std::function<void(int fd)> serve, Mode mode)
      : serve_(std::move(serve)), mode_(mode) {
    listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener_, 8) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
      std::perror("listen");
      std::exit(1);
    }
    port_ = ntohs(address.sin_port);
    acceptor_ = std::thread([this] { Run(); });
  }
  ~LoopbackListener() {
    stopping_ = true;
    ::shutdown(listener_, SHUT_RDWR);
    acceptor_.join();
    for (auto& server : servers_)
      server.join();
    ::close(listener_);
  }
  LoopbackListener(const LoopbackListener&) = delete;
  LoopbackListener& operator=(const LoopbackListener&) = delete;

  int Port() const { return port_; }

 private:
  void Run() {
    while (!stopping_) {
      int fd = ::accept(listener_, nullptr, nullptr);
      if (fd < 0)
        continue;
      auto serve = [this, fd] {
        serve_(fd);
        ::close(fd);
      };
      if (mode_ == Mode::kThreadPerConnection) {
        servers_.emplace_back(serve);
      } else {
        serve();
      }
    }
  }

  std::function<void(int fd)> serve_;
  Mode mode_;
  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> stopping_{false};
  std::thread acceptor_;
  std::list<std::thread> servers_;
};

// Sends line with CR LF.
inline void Reply(int fd, const std::string& line) {
  std::string bytes = protocol::EncodeLine(line);
  ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
}

// Reads the client's requests until it closes the connection, sends a
// request the reader refuses, or a handler returns false: command lines
// (they start with "Z") go to onLine without their line end, statement
// frames (a zero first length byte) to onFrame without their length.
inline void ReadRequests(int fd, const std::function<bool(const std::string&)>& onLine,
                         const std::function<bool(const std::string&)>& onFrame) {
  protocol::RequestReader reader;
  std::string block(1 << 16, '\0');
  for (;;) {
    using Kind = protocol::RequestReader::Kind;
    protocol::RequestReader::Request request;
    if (reader.Buffered() > 0)
      request = reader.Front() == 'Z' ? reader.NextLine() : reader.NextFrame();
    if (request.kind == Kind::kMalformed)
      return;
    if (request.kind == Kind::kNeedMore) {
      ssize_t n = ::recv(fd, block.data(), block.size(), 0);
      if (n <= 0)
        return;
      reader.Feed(std::string_view(block.data(), static_cast<std::size_t>(n)));
      continue;
    }
    if (!(request.kind == Kind::kLine ? onLine : onFrame)(request.text))
      return;
  }
}

}  // namespace pelvar::bench
