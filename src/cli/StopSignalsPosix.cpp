#include "cli/StopSignals.h"

#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "text/Error.h"

namespace pelvar::cli {
namespace {

sigset_t StopSet() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  return set;
}

}  // namespace

StopSignals::StopSignals() {
  sigset_t set = StopSet();
  ::pthread_sigmask(SIG_BLOCK, &set, nullptr);
  handle_ = ::signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC);
  if (handle_ < 0)
    throw Error(std::string("signalfd: ") + std::strerror(errno));
}

StopSignals::~StopSignals() {
  ::close(static_cast<int>(handle_));
  sigset_t set = StopSet();
  ::pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
}

bool StopSignals::Wait(int timeoutMs) {
  pollfd fd{static_cast<int>(handle_), POLLIN, 0};
  return ::poll(&fd, 1, timeoutMs) > 0;
}

bool StopSignals::Take() {
  bool taken = false;
  signalfd_siginfo info;
  while (::read(static_cast<int>(handle_), &info, sizeof info) == static_cast<ssize_t>(sizeof info))
    taken = true;
  return taken;
}

}  // namespace pelvar::cli
