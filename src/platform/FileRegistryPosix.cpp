#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>
#include <system_error>

#include "platform/AtomicFile.h"
#include "platform/Paths.h"
#include "platform/RegeditText.h"
#include "platform/Registry.h"
#include "text/Error.h"
#include "text/Gbk.h"
#include "text/Strings.h"

namespace pelvar::platform {
namespace {

namespace fs = std::filesystem;

constexpr const char* kRootName = "HKEY_LOCAL_MACHINE";

using Keys = std::vector<RegeditKey>;

// "SOFTWARE\\ZIRODU" -> "HKEY_LOCAL_MACHINE\\SOFTWARE\\ZIRODU"; nothing for a
// path the registry would refuse (empty parts, line breaks).
std::optional<std::string> FullKeyName(std::string_view path) {
  if (!path.empty() && path.back() == '\\')
    path.remove_suffix(1);
  if (path.empty())
    return std::string(kRootName);
  if (path.front() == '\\' || path.find("\\\\") != std::string_view::npos ||
      path.find_first_of(std::string_view("\0\r\n", 3)) != std::string_view::npos) {
    return std::nullopt;
  }
  return std::string(kRootName) + "\\" + std::string(path);
}

bool ValidValueName(const std::string& name) {
  return name.find_first_of(std::string_view("\0\r\n", 3)) == std::string::npos;
}

RegeditKey* FindKey(Keys& keys, const std::string& name) {
  for (auto& key : keys) {
    if (text::EqualsNoCase(key.name, name))
      return &key;
  }
  return nullptr;
}

// A key exists when it has a section of its own or a subkey has one: regedit
// imports create the parents of every key they name.
bool KeyExists(const Keys& keys, const std::string& name) {
  if (text::EqualsNoCase(name, kRootName))
    return true;
  for (const auto& key : keys) {
    if (text::EqualsNoCase(key.name, name) || text::StartsWithNoCase(key.name, name + "\\")) {
      return true;
    }
  }
  return false;
}

RegeditKey& FindOrAddKey(Keys& keys, const std::string& name) {
  if (RegeditKey* key = FindKey(keys, name))
    return *key;
  keys.push_back({name, {}});
  return keys.back();
}

std::string ErrnoText() {
  return std::strerror(errno);
}

[[noreturn]] void RefuseNonFile(const std::string& path) {
  throw Error("'" + path + "' is not a regular file; nothing is written through it.");
}

// The whole file; an absent file is an empty registry. A link in its place
// is refused: the file holds secrets and is only ever replaced, never
// written through a link.
Keys LoadKeys(const std::string& filePath) {
  int fd = open(filePath.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT)
      return {};
    if (errno == ELOOP)
      throw Error(SymbolicLinkRefusal(filePath));
    throw Error("Cannot read registry file '" + filePath + "': " + ErrnoText());
  }
  struct stat opened {};
  if (fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode)) {
    close(fd);
    RefuseNonFile(filePath);
  }
  std::string bytes;
  char buffer[8192];
  for (;;) {
    ssize_t n = read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR)
      continue;
    if (n < 0) {
      std::string why = ErrnoText();
      close(fd);
      throw Error("Cannot read registry file '" + filePath + "': " + why);
    }
    if (n == 0)
      break;
    bytes.append(buffer, static_cast<std::size_t>(n));
  }
  close(fd);
  return ParseRegeditText(bytes, filePath);
}

bool CanRead(const std::string& filePath) {
  return access(filePath.c_str(), R_OK) == 0 || errno == ENOENT;
}

// Replacing the file needs a writable file and folder; when the folder does
// not exist yet, the nearest existing folder above it must let us create it.
bool CanWrite(const std::string& filePath) {
  fs::path folder = fs::path(filePath).parent_path();
  if (folder.empty())
    folder = ".";
  if (access(filePath.c_str(), W_OK) != 0 && errno != ENOENT)
    return false;
  std::error_code ec;
  while (!fs::exists(folder, ec)) {
    if (!folder.has_parent_path() || folder.parent_path() == folder)
      return false;
    folder = folder.parent_path();
  }
  return access(folder.c_str(), W_OK | X_OK) == 0;
}

// The lock file, opened without following a link and created 0640 in the
// folder's group; -1 when it cannot be opened. Reading is enough to lock.
int OpenLockFile(const std::string& path) {
  const int flags = O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
  int fd = open(path.c_str(), flags | O_CREAT | O_EXCL, 0640);
  bool created = fd >= 0;
  if (fd < 0 && errno == EEXIST)
    fd = open(path.c_str(), flags);
  if (fd < 0) {
    if (errno == ELOOP)
      throw Error(SymbolicLinkRefusal(path));
    return -1;
  }
  struct stat opened {};
  if (fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode)) {
    close(fd);
    RefuseNonFile(path);
  }
  struct stat folder {};
  std::string folderPath = fs::path(path).parent_path().string();
  if (created && stat(folderPath.empty() ? "." : folderPath.c_str(), &folder) == 0)
    (void)fchown(fd, static_cast<uid_t>(-1), folder.st_gid);
  return fd;
}

class FileLock {
 public:
  explicit FileLock(const std::string& path) : fd_(OpenLockFile(path)) {
    if (fd_ < 0)
      return;
    while (flock(fd_, LOCK_EX) != 0) {
      if (errno != EINTR) {
        close(fd_);
        fd_ = -1;
        return;
      }
    }
  }
  ~FileLock() {
    if (fd_ >= 0)
      close(fd_);  // closing releases the lock
  }
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;
  bool Held() const { return fd_ >= 0; }

 private:
  int fd_;
};

// Applies change to the file's current keys under the writers' lock and
// writes the result. False when change declines (nothing is written) or the
// file cannot be replaced; throws Error when the file is malformed or a
// link stands in place of the file or its lock.
bool Mutate(const std::string& filePath, const std::function<bool(Keys&)>& change) {
  std::error_code ec;
  fs::path folder = fs::path(filePath).parent_path();
  if (!folder.empty())
    fs::create_directories(folder, ec);
  if (ec)
    return false;
  FileLock lock(filePath + ".lock");
  if (!lock.Held())
    return false;
  Keys keys = LoadKeys(filePath);
  if (!change(keys))
    return false;
  return ReplaceFileAtomically(filePath, FormatRegeditText(keys), FileAccess::kPrivate);
}

class FileKey : public RegistryKey {
 public:
  FileKey(std::string filePath, std::string name, RegAccess access)
      : filePath_(std::move(filePath)), name_(std::move(name)), access_(access) {}

  std::optional<RegValue> Query(const std::string& name) override {
    Keys keys = LoadKeys(filePath_);
    RegeditKey* key = FindKey(keys, name_);
    if (key == nullptr)
      return std::nullopt;
    for (auto& [existing, value] : key->values) {
      if (text::EqualsNoCase(existing, name))
        return value;
    }
    return std::nullopt;
  }

  bool Set(const std::string& name, const RegValue& value) override {
    if (access_ != RegAccess::kFull || !ValidValueName(name))
      return false;
    return Mutate(filePath_, [&](Keys& keys) {
      RegeditKey& key = FindOrAddKey(keys, name_);
      for (auto& [existing, data] : key.values) {
        if (text::EqualsNoCase(existing, name)) {
          data = value;
          return true;
        }
      }
      key.values.emplace_back(name, value);
      return true;
    });
  }

  bool Remove(const std::string& name) override {
    if (access_ != RegAccess::kFull)
      return false;
    return Mutate(filePath_, [&](Keys& keys) {
      RegeditKey* key = FindKey(keys, name_);
      if (key == nullptr)
        return false;
      auto found = std::find_if(key->values.begin(), key->values.end(), [&](const auto& entry) {
        return text::EqualsNoCase(entry.first, name);
      });
      if (found == key->values.end())
        return false;
      key->values.erase(found);
      return true;
    });
  }

  std::vector<std::pair<std::string, RegValue>> Values() override {
    Keys keys = LoadKeys(filePath_);
    RegeditKey* key = FindKey(keys, name_);
    if (key == nullptr)
      return {};
    return std::move(key->values);
  }

 private:
  std::string filePath_;
  std::string name_;
  RegAccess access_;
};

// Registry::Machine(): the file under whatever the prefix is at each Open.
class MachineRegistry final : public Registry {
 public:
  std::unique_ptr<RegistryKey> Open(const std::string& path, RegAccess access,
                                    bool create) override {
    FileRegistry file(RegistryFilePath().string());
    return file.Open(path, access, create);
  }
};

}  // namespace

Registry& Registry::Machine() {
  static MachineRegistry machine;
  return machine;
}

FileRegistry::FileRegistry(std::string filePath) : filePath_(std::move(filePath)) {}

std::unique_ptr<RegistryKey> FileRegistry::Open(const std::string& path, RegAccess access,
                                                bool create) {
  std::optional<std::string> name = FullKeyName(path);
  if (!name)
    return nullptr;
  if (!(access == RegAccess::kFull ? CanWrite(filePath_) : CanRead(filePath_)))
    return nullptr;
  if (!KeyExists(LoadKeys(filePath_), *name)) {
    if (!create || access != RegAccess::kFull)
      return nullptr;
    bool created = Mutate(filePath_, [&](Keys& keys) {
      if (KeyExists(keys, *name))
        return false;  // another writer was first
      keys.push_back({*name, {}});
      return true;
    });
    if (!created && !KeyExists(LoadKeys(filePath_), *name))
      return nullptr;
  }
  return std::make_unique<FileKey>(filePath_, *name, access);
}

}  // namespace pelvar::platform
