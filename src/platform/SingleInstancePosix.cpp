#include "platform/SingleInstance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

#include "platform/Paths.h"

namespace pelvar::platform {
namespace {

// Holds an exclusive flock on the lock file; the kernel releases it when the
// descriptor is closed, also when the process dies without cleaning up.
class FileInstanceLock : public SingleInstanceLock {
 public:
  explicit FileInstanceLock(int fd) : fd_(fd) {}
  ~FileInstanceLock() override {
    if (fd_ >= 0)
      close(fd_);
  }
  FileInstanceLock(const FileInstanceLock&) = delete;
  FileInstanceLock& operator=(const FileInstanceLock&) = delete;

 private:
  int fd_;
};

}  // namespace

std::unique_ptr<SingleInstanceLock> SingleInstanceLock::Acquire(const std::string& name) {
  std::string fileName = name;
  for (char& c : fileName) {
    if (c == '/' || c == '\0')
      c = '_';
  }
  std::string path = (RuntimeFolder() / (fileName + ".lock")).string();
  int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  // Like a mutex that cannot be created, a lock file that cannot be opened
  // does not stop the program: only a lock held elsewhere does.
  if (fd < 0)
    return std::make_unique<FileInstanceLock>(-1);
  while (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    if (errno == EINTR)
      continue;
    int error = errno;
    close(fd);
    if (error == EWOULDBLOCK)
      return nullptr;
    return std::make_unique<FileInstanceLock>(-1);
  }
  return std::make_unique<FileInstanceLock>(fd);
}

}  // namespace pelvar::platform
