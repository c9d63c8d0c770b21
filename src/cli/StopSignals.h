#pragma once

namespace pelvar::cli {

// SIGINT and SIGTERM as events the program's loop and pump look at, instead
// of handlers that interrupt whatever runs: while an object lives, both
// signals are blocked for the whole process and read from a descriptor.
// Construct it before any thread starts so every thread inherits the mask.
class StopSignals {
 public:
  StopSignals();
  ~StopSignals();
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;

  // Readable while a signal waits to be taken; for poll.
  int Descriptor() const { return fd_; }

  // Takes every waiting signal; true when there was one. Never waits.
  bool Take();

 private:
  int fd_ = -1;
};

}  // namespace pelvar::cli
