#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace pelvar::test {

// A fresh emulated machine for one test: makes an empty temporary folder,
// points PELVAR_PREFIX at it and, on destruction, restores the previous
// PELVAR_PREFIX (or its absence) and removes the folder with everything in
// it. Everything under platform/ (registry file, autostart entry, clock
// offset, runtime folder, journal base) then lives inside the folder; on
// Windows the registry is the machine's own (a throwaway Wine prefix's), and
// the settings key and the autostart value are removed at both ends.
// Not copyable; one at a time per process, since the environment is shared.
class TempPrefix {
 public:
  TempPrefix();
  ~TempPrefix();
  TempPrefix(const TempPrefix&) = delete;
  TempPrefix& operator=(const TempPrefix&) = delete;

  // The prefix folder itself.
  const std::filesystem::path& Path() const { return path_; }

  // Creates <prefix>/var/log/pelvar/ as installation would; returns it.
  std::filesystem::path MakeJournalBase() const;

  // <prefix>/etc/pelvar/machine.reg.
  std::filesystem::path RegistryFile() const;
  // Writes the registry file (creating its folder) from UTF-8 text (on
  // Windows: imports its HKEY_LOCAL_MACHINE keys into the registry): the
  // text is converted to GBK and written as it is, line ends included, so
  // a test chooses CRLF or LF. Example:
  //   prefix.WriteRegistry("REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\ZIRODU\\DAVIV]\r\n"
  //                        "\"ScanTime\"=dword:00000064\r\n\r\n");
  void WriteRegistry(const std::string& utf8Text) const;
  // The registry file's bytes as they are on disk (GBK); empty when absent.
  std::string ReadRegistryBytes() const;

 private:
  std::filesystem::path path_;
  std::optional<std::string> previous_;
};

// The whole content of a file; empty when it cannot be read.
std::string ReadFileBytes(const std::filesystem::path& path);
// Writes bytes to a file, creating its folders. Throws Error on failure.
void WriteFileBytes(const std::filesystem::path& path, const std::string& bytes);

}  // namespace pelvar::test
