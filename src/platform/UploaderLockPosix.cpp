#include "platform/UploaderLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>

#include "platform/Paths.h"
#include "text/Error.h"

namespace pelvar::platform {
namespace {

std::string LockFilePath() {
  return (RegistryFilePath().parent_path() / "uploader.lock").string();
}

[[noreturn]] void Fail(const std::string& path, int error) {
  throw Error("Cannot use the uploader lock '" + path + "': " + std::strerror(error));
}

// The lock file, never through a symlink and never anything but a plain
// file (opening a planted FIFO must not block either). The file holds
// nothing: every account that uploads may open it, read-only if need be,
// as flock works on any descriptor. -1 when absent and not to be created.
int OpenLockFile(bool create) {
  const std::string path = LockFilePath();
  const int common = O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
  int fd = create ? open(path.c_str(), O_RDWR | O_CREAT | common, 0644) : -1;
  if (fd < 0 && (!create || errno == EACCES || errno == EPERM || errno == EROFS))
    fd = open(path.c_str(), O_RDONLY | common);
  if (fd < 0) {
    if (!create && errno == ENOENT)
      return -1;
    if (errno == ELOOP)
      throw Error("The uploader lock '" + path + "' is a symbolic link; it is not used.");
    Fail(path, errno);
  }
  struct stat status {};
  if (fstat(fd, &status) != 0) {
    int error = errno;
    close(fd);
    Fail(path, error);
  }
  if (!S_ISREG(status.st_mode)) {
    close(fd);
    throw Error("The uploader lock '" + path + "' is not a plain file; it is not used.");
  }
  // Readable by every account, whatever the creator's umask.
  if (create && status.st_uid == geteuid() && (status.st_mode & 0444) != 0444)
    fchmod(fd, (status.st_mode & 07777) | 0444);
  return fd;
}

// flock without waiting; false when another holder has a conflicting lock.
bool TryLock(int fd, int operation) {
  while (flock(fd, operation | LOCK_NB) != 0) {
    if (errno == EINTR)
      continue;
    if (errno == EWOULDBLOCK)
      return false;
    int error = errno;
    close(fd);
    Fail(LockFilePath(), error);
  }
  return true;
}

class FileUploaderLock : public UploaderLock {
 public:
  explicit FileUploaderLock(int fd) : fd_(fd) {}
  ~FileUploaderLock() override { close(fd_); }
  FileUploaderLock(const FileUploaderLock&) = delete;
  FileUploaderLock& operator=(const FileUploaderLock&) = delete;

 private:
  int fd_;
};

}  // namespace

std::unique_ptr<UploaderLock> UploaderLock::TryAcquire() {
  int fd = OpenLockFile(true);
  // A few short tries: UploaderRunning() holds a shared lock for a moment
  // while it asks, and that must not turn an uploader away.
  for (int attempt = 0;; ++attempt) {
    if (TryLock(fd, LOCK_EX))
      return std::make_unique<FileUploaderLock>(fd);
    if (attempt == 4)
      break;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  close(fd);
  return nullptr;
}

bool UploaderLock::UploaderRunning() {
  int fd = OpenLockFile(false);
  if (fd < 0)
    return false;
  bool running = !TryLock(fd, LOCK_SH);
  close(fd);
  return running;
}

}  // namespace pelvar::platform
