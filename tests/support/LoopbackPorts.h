#pragma once

#include <cstdint>
#include <vector>

#include "support/TestSockets.h"

namespace pelvar::testing {

// A loopback port nobody listens on: a connect to 127.0.0.1 there is refused
// ("Connection refused.").
std::uint16_t ClosedLoopbackPort();

// A new listening socket on 127.0.0.1 at a free port, with the given backlog;
// the caller closes it. Throws std::runtime_error when it cannot listen.
sockets::Fd ListenOnLoopback(int backlog, std::uint16_t& port);

// A listener on 127.0.0.1 that never accepts, with its backlog filled, so a
// further connect to Port() gets no answer and hangs until the client gives
// up: an unanswered connect without any traffic off the machine.
class SilentListener {
 public:
  SilentListener();
  ~SilentListener();
  SilentListener(const SilentListener&) = delete;
  SilentListener& operator=(const SilentListener&) = delete;

  std::uint16_t Port() const { return port_; }

 private:
  sockets::Fd listener_ = sockets::kNoSocket;
  std::uint16_t port_ = 0;
  std::vector<sockets::Fd> fillers_;
};

}  // namespace pelvar::testing
