#pragma once

#include <cstdint>

namespace pelvar::cli {

// The system's requests to stop as events the program's loop and pump look
// at, instead of handlers that interrupt whatever runs. On POSIX SIGINT and
// SIGTERM: while an object lives both are blocked for the whole process and
// read from a descriptor (construct it before any thread starts so every
// thread inherits the mask). On Windows Ctrl+C, Ctrl+Break and the closing of
// the console; for the last, the system ends the process once the handler
// returns, so the handler holds it until the object is destroyed (at most a
// few seconds).
class StopSignals {
 public:
  StopSignals();
  ~StopSignals();
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;

  // Waits until a request comes or timeoutMs milliseconds have passed (no
  // limit when negative); true when a request waits to be taken.
  bool Wait(int timeoutMs);

  // Takes every waiting request; true when there was one. Never waits.
  bool Take();

 private:
  std::intptr_t handle_ = -1;
};

}  // namespace pelvar::cli
