#include "support/LoopbackPorts.h"

#include <stdexcept>

namespace pelvar::testing {

sockets::Fd ListenOnLoopback(int backlog, std::uint16_t& port) {
  sockets::Fd fd = sockets::OpenTcp();
  if (fd == sockets::kNoSocket)
    throw std::runtime_error("socket failed");
  port = sockets::BindLoopback(fd, true);
  if (port == 0 || !sockets::Listen(fd, backlog)) {
    sockets::Close(fd);
    throw std::runtime_error("cannot listen on 127.0.0.1");
  }
  return fd;
}

std::uint16_t ClosedLoopbackPort() {
  sockets::Fd fd = sockets::OpenTcp();
  std::uint16_t port = sockets::BindLoopback(fd);
  sockets::Close(fd);
  return port;
}

SilentListener::SilentListener() {
  listener_ = sockets::OpenTcp();
  port_ = sockets::BindLoopback(listener_);
  sockets::Listen(listener_, 0);
  // Connect until one hangs: from then on the accept queue is full and new
  // connection requests are dropped unanswered.
  for (int i = 0; i < 8; ++i) {
    sockets::Fd filler = sockets::OpenTcp(true);
    sockets::ConnectLoopback(filler, port_);
    fillers_.push_back(filler);
    if (sockets::WaitReady(filler, true, 200) == 0)
      break;
  }
}

SilentListener::~SilentListener() {
  for (sockets::Fd fd : fillers_)
    sockets::Close(fd);
  sockets::Close(listener_);
}

}  // namespace pelvar::testing
