#include "cli/StopSignals.h"

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
  fd_ = ::signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC);
  if (fd_ < 0)
    throw Error(std::string("signalfd: ") + std::strerror(errno));
}

StopSignals::~StopSignals() {
  ::close(fd_);
  sigset_t set = StopSet();
  ::pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
}

bool StopSignals::Take() {
  bool taken = false;
  signalfd_siginfo info;
  while (::read(fd_, &info, sizeof info) == static_cast<ssize_t>(sizeof info))
    taken = true;
  return taken;
}

}  // namespace pelvar::cli
