#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/AppendFile.h"

namespace pelvar::platform {

std::FILE* OpenFileForAppending(const std::filesystem::path& path, std::string& reason) {
  const std::string linkRefused = "It is a symbolic link; nothing is written through it.";
  std::filesystem::path folderPath = path.parent_path();
  int folder = open(folderPath.empty() ? "." : folderPath.c_str(),
                    O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (folder < 0) {
    bool link = errno == ELOOP || errno == ENOTDIR;
    struct stat entry {};
    reason = link && lstat(folderPath.c_str(), &entry) == 0 && S_ISLNK(entry.st_mode)
                 ? "Its folder is a symbolic link; nothing is written through it."
                 : std::strerror(errno);
    return nullptr;
  }
  // Non-blocking so that a FIFO planted here cannot hold the open.
  int fd = openat(folder, path.filename().c_str(),
                  O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
  int openError = errno;
  close(folder);
  if (fd < 0) {
    reason = openError == ELOOP ? linkRefused : std::strerror(openError);
    return nullptr;
  }
  struct stat opened {};
  if (fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode)) {
    close(fd);
    reason = "It is not a regular file; nothing is written to it.";
    return nullptr;
  }
  fcntl(fd, F_SETFL, O_APPEND);
  std::FILE* file = fdopen(fd, "ab");
  if (file == nullptr) {
    reason = std::strerror(errno);
    close(fd);
    return nullptr;
  }
  std::setvbuf(file, nullptr, _IONBF, 0);
  return file;
}

}  // namespace pelvar::platform
