#pragma once

#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace pelvar::test {

// A real program run as a child process, its standard output and error
// collected on background threads so the child never blocks on a full pipe.
// The destructor kills a child that is still running and waits for it.
class ChildProcess {
 public:
  // Starts path with args; environment entries in setEnv are added to (or
  // replace those of) the test's own environment. Throws std::runtime_error
  // when the program cannot be started.
  ChildProcess(const std::string& path, const std::vector<std::string>& args,
               const std::map<std::string, std::string>& setEnv = {});
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  pid_t Pid() const { return pid_; }

  // Waits until standard output holds text (or the child has ended, or the
  // safety limit of 60 s has passed) and returns whether it does.
  bool WaitForOutput(const std::string& text);

  void Signal(int signal);
  // Waits for the child to end and returns its exit code, or 128 + the
  // signal that ended it.
  int Wait();
  // Like Wait, but gives up after limit and then returns nullopt with the
  // child still running.
  std::optional<int> WaitAtMost(std::chrono::milliseconds limit);

  // Everything collected so far.
  std::string Output();
  std::string Errors();

 private:
  void Drain(int fd, std::string& into);
  // Records the exit status waitpid gave and collects the output threads.
  void Ended(int status);

  pid_t pid_ = -1;
  int status_ = -1;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::string output_;
  std::string errors_;
  bool outputClosed_ = false;
  std::thread outputThread_;
  std::thread errorThread_;
};

}  // namespace pelvar::test
