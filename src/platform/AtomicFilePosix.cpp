#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/AtomicFile.h"
#include "text/Error.h"

namespace pelvar::platform {
namespace {

bool WriteAll(int fd, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0)
      return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

// Gives the new file the mode, owner and group it is to have. Taking over
// another owner needs privileges: without them the file stays the writer's
// and keeps the group when the writer belongs to it.
bool SetAccess(int fd, const std::filesystem::path& folder, const struct stat* existing,
               FileAccess access) {
  if (access == FileAccess::kPublic)
    return fchmod(fd, existing != nullptr ? existing->st_mode & 07777 : 0644) == 0;
  if (existing != nullptr) {
    if (fchown(fd, existing->st_uid, existing->st_gid) != 0)
      (void)fchown(fd, static_cast<uid_t>(-1), existing->st_gid);
    return fchmod(fd, existing->st_mode & 0660) == 0;
  }
  struct stat folderStat {};
  if (stat(folder.empty() ? "." : folder.c_str(), &folderStat) == 0)
    (void)fchown(fd, static_cast<uid_t>(-1), folderStat.st_gid);
  return fchmod(fd, 0640) == 0;
}

}  // namespace

bool ReplaceFileAtomically(const std::filesystem::path& path, const std::string& bytes,
                           FileAccess access) {
  struct stat existing {};
  bool exists = lstat(path.c_str(), &existing) == 0;
  if (exists && S_ISLNK(existing.st_mode))
    throw Error(SymbolicLinkRefusal(path));
  std::filesystem::path folder = path.parent_path();
  std::string temporary = path.string() + ".XXXXXX";
  // mkostemp creates its file exclusively: it never follows a link.
  int fd = mkostemp(temporary.data(), O_CLOEXEC);
  if (fd < 0)
    return false;
  bool ok = SetAccess(fd, folder, exists ? &existing : nullptr, access) && WriteAll(fd, bytes) &&
            fsync(fd) == 0;
  ok = close(fd) == 0 && ok;
  if (!ok || rename(temporary.c_str(), path.c_str()) != 0) {
    unlink(temporary.c_str());
    return false;
  }
  int folderFd = open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (folderFd >= 0) {
    fsync(folderFd);
    close(folderFd);
  }
  return true;
}

}  // namespace pelvar::platform
