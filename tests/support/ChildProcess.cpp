#include "support/ChildProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <stdexcept>

extern char** environ;

namespace pelvar::test {

ChildProcess::ChildProcess(const std::string& path, const std::vector<std::string>& args,
                           const std::map<std::string, std::string>& setEnv) {
  std::map<std::string, std::string> environment;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    std::string text = *entry;
    std::size_t equals = text.find('=');
    if (equals != std::string::npos)
      environment[text.substr(0, equals)] = text.substr(equals + 1);
  }
  for (const auto& [name, value] : setEnv)
    environment[name] = value;
  std::vector<std::string> envText;
  for (const auto& [name, value] : environment)
    envText.push_back(name + "=" + value);

  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(path.c_str()));
  for (const std::string& arg : args)
    argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  std::vector<char*> envp;
  for (std::string& text : envText)
    envp.push_back(text.data());
  envp.push_back(nullptr);

  int out[2];
  int err[2];
  if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) {
    throw std::runtime_error(std::string("pipe: ") + std::strerror(errno));
  }
  pid_ = ::fork();
  if (pid_ < 0)
    throw std::runtime_error(std::string("fork: ") + std::strerror(errno));
  if (pid_ == 0) {
    ::dup2(out[1], 1);
    ::dup2(err[1], 2);
    ::execve(path.c_str(), argv.data(), envp.data());
    ::_exit(127);
  }
  ::close(out[1]);
  ::close(err[1]);
  outputThread_ = std::thread([this, fd = out[0]] {
    Drain(fd, output_);
    std::lock_guard<std::mutex> lock(mutex_);
    outputClosed_ = true;
    changed_.notify_all();
  });
  errorThread_ = std::thread([this, fd = err[0]] { Drain(fd, errors_); });
}

ChildProcess::~ChildProcess() {
  if (status_ < 0) {
    ::kill(pid_, SIGKILL);
    Wait();
  }
}

void ChildProcess::Drain(int fd, std::string& into) {
  char buffer[4096];
  for (;;) {
    ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0)
      break;
    std::lock_guard<std::mutex> lock(mutex_);
    into.append(buffer, static_cast<std::size_t>(n));
    changed_.notify_all();
  }
  ::close(fd);
}

bool ChildProcess::WaitForOutput(const std::string& text) {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait_for(lock, std::chrono::seconds(60),
                    [&] { return output_.find(text) != std::string::npos || outputClosed_; });
  return output_.find(text) != std::string::npos;
}

void ChildProcess::Signal(int signal) {
  if (status_ < 0)
    ::kill(pid_, signal);
}

int ChildProcess::Wait() {
  if (status_ < 0) {
    int status = 0;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    Ended(status);
  }
  return status_;
}

std::optional<int> ChildProcess::WaitAtMost(std::chrono::milliseconds limit) {
  auto deadline = std::chrono::steady_clock::now() + limit;
  while (status_ < 0) {
    int status = 0;
    pid_t ended = ::waitpid(pid_, &status, WNOHANG);
    if (ended == pid_) {
      Ended(status);
      break;
    }
    if (ended < 0 && errno != EINTR)
      return Wait();
    if (std::chrono::steady_clock::now() >= deadline)
      return std::nullopt;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return status_;
}

void ChildProcess::Ended(int status) {
  status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  if (outputThread_.joinable())
    outputThread_.join();
  if (errorThread_.joinable())
    errorThread_.join();
}

std::string ChildProcess::Output() {
  std::lock_guard<std::mutex> lock(mutex_);
  return output_;
}

std::string ChildProcess::Errors() {
  std::lock_guard<std::mutex> lock(mutex_);
  return errors_;
}

}  // namespace pelvar::test
