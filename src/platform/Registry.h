#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace pelvar::platform {

// Value types with their Windows numbers.
enum class RegType : std::uint32_t {
  kNone = 0,
  kSz = 1,
  kExpandSz = 2,
  kBinary = 3,
  kDword = 4,
  kMultiSz = 7,
};

// A value as the registry stores it: its type and its raw data bytes.
// REG_SZ data is the GBK text followed by one zero byte (counted in the
// size); REG_DWORD data is four bytes, least significant first.
struct RegValue {
  RegType type = RegType::kNone;
  std::string data;

  static RegValue Text(const std::string& utf8);  // REG_SZ
  static RegValue Number(std::int32_t number);    // REG_DWORD

  // The text of a REG_SZ / REG_EXPAND_SZ value in UTF-8, up to its first zero.
  std::string AsText() const;
  // The number of a value of at most four bytes, zero-extended.
  std::int32_t AsNumber() const;

  bool operator==(const RegValue&) const = default;
};

enum class RegAccess {
  kRead,  // query values and enumerate subkeys
  kFull,  // read and write
};

// One open key. Closing is destruction. Every operation throws Error when
// the store itself is unreadable garbage.
class RegistryKey {
 public:
  virtual ~RegistryKey() = default;
  // Nothing when the value is absent.
  virtual std::optional<RegValue> Query(const std::string& name) = 0;
  // Creates or replaces a value (a replaced value keeps its place and the
  // case of its name); false when the write was refused. A key opened for
  // reading refuses every write, and so does a name holding a line break or
  // a zero byte.
  virtual bool Set(const std::string& name, const RegValue& value) = 0;
  // Deletes a value; false when it was absent or the deletion was refused.
  virtual bool Remove(const std::string& name) = 0;
  // Every value of the key with its name ("" for the default value), in the
  // order the store keeps them; empty when the key has gone.
  virtual std::vector<std::pair<std::string, RegValue>> Values() = 0;
};

// The machine's keys (HKEY_LOCAL_MACHINE). Paths are below the root, with
// backslashes and without a leading one: "SOFTWARE\\ZIRODU\\DAVIV"; the
// empty path is the root. Key and value names compare without regard to the
// case of ASCII letters.
class Registry {
 public:
  virtual ~Registry() = default;

  // Opens a key, creating it first when create is true and access is full.
  // Returns nullptr when the key is missing (and not created) or the access
  // is refused. Throws Error when the store itself is unreadable garbage.
  virtual std::unique_ptr<RegistryKey> Open(const std::string& path, RegAccess access,
                                            bool create) = 0;

  // The machine registry in use: on Linux the REGEDIT4 file under the
  // prefix, looked up afresh at every Open so that a change of PELVAR_PREFIX
  // takes effect at once. Keys already open stay with their file.
  static Registry& Machine();
};

// The Linux registry (FileRegistryPosix.cpp): one REGEDIT4 text file (GBK, CRLF) holding every key
// of HKEY_LOCAL_MACHINE, as regedit exports it; sections of other roots are
// kept but not reachable. Read access needs a readable file (or none); full
// access needs the right to replace it: a writable file and folder, or the
// right to create the folder when there is no file yet. Every value read
// looks at the file as it is now. Every write takes an exclusive lock on
// "<file>.lock", reads the file afresh, applies its one change and replaces
// the file atomically, so concurrent writers never lose each other's values
// and a crash leaves the old or the new file, never a mix. A file that is
// not REGEDIT4 text makes every operation throw Error naming the file and
// the line; such a file is never overwritten. The file holds secrets: it and
// its lock are made 0640 in the folder's group, a replacement keeps the old
// file's owner and group and never lets others read it, and a symbolic link
// in place of either makes every operation throw Error (nothing is read or
// written through it).
class FileRegistry : public Registry {
 public:
  explicit FileRegistry(std::string filePath);
  std::unique_ptr<RegistryKey> Open(const std::string& path, RegAccess access,
                                    bool create) override;
  const std::string& FilePath() const { return filePath_; }

 private:
  std::string filePath_;
};

}  // namespace pelvar::platform
