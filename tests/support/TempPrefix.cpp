#include "support/TempPrefix.h"

#include <stdlib.h>

#include <fstream>
#include <iterator>
#include <random>
#include <system_error>

#include "platform/RegeditText.h"
#include "platform/Registry.h"
#include "text/Error.h"
#include "text/Gbk.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace pelvar::test {
namespace {

void SetPrefixVariable(const std::optional<std::string>& value) {
#ifdef _WIN32
  _putenv_s("PELVAR_PREFIX", value ? value->c_str() : "");
#else
  if (value) {
    setenv("PELVAR_PREFIX", value->c_str(), 1);
  } else {
    unsetenv("PELVAR_PREFIX");
  }
#endif
}

#ifdef _WIN32
// On Windows the machine's keys are the registry itself (the test runs in a
// throwaway Wine prefix): a fresh machine has neither the settings key nor
// the autostart value.
void ClearMachineKeys() {
  ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Wow6432Node\\ZIRODU");
  ::RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\ZIRODU");
  HKEY run = nullptr;
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run", 0,
                      KEY_SET_VALUE | KEY_WOW64_32KEY, &run) == ERROR_SUCCESS) {
    ::RegDeleteValueW(run, L"zqjcPelvarAuto");
    ::RegCloseKey(run);
  }
}
#endif

}  // namespace

TempPrefix::TempPrefix() {
  if (const char* old = std::getenv("PELVAR_PREFIX"); old != nullptr && *old != '\0')
    previous_ = old;
  std::random_device random;
  for (int attempt = 0; path_.empty(); ++attempt) {
    auto candidate = std::filesystem::temp_directory_path() /
                     ("pelvar-test-" + std::to_string(random()) + std::to_string(random()));
    std::error_code ec;
    if (std::filesystem::create_directory(candidate, ec))
      path_ = candidate;
    else if (attempt == 100)
      throw Error("Cannot create a temporary prefix");
  }
  SetPrefixVariable(path_.string());
#ifdef _WIN32
  ClearMachineKeys();
#endif
}

TempPrefix::~TempPrefix() {
  SetPrefixVariable(previous_);
#ifdef _WIN32
  ClearMachineKeys();
#endif
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

std::filesystem::path TempPrefix::MakeJournalBase() const {
  auto folder = path_ / "var/log/pelvar";
  std::filesystem::create_directories(folder);
  return folder;
}

std::filesystem::path TempPrefix::RegistryFile() const {
  return path_ / "etc/pelvar/machine.reg";
}

void TempPrefix::WriteRegistry(const std::string& utf8Text) const {
#ifdef _WIN32
  // Imported into the registry, as regedit would.
  for (const auto& key : platform::ParseRegeditText(text::Utf8ToGbk(utf8Text), "test")) {
    const std::string root = "HKEY_LOCAL_MACHINE\\";
    if (key.name.rfind(root, 0) != 0)
      continue;
    auto open = platform::Registry::Machine().Open(key.name.substr(root.size()),
                                                   platform::RegAccess::kFull, true);
    if (!open)
      throw Error("Cannot create the key " + key.name);
    for (const auto& [name, value] : key.values)
      open->Set(name, value);
  }
#else
  WriteFileBytes(RegistryFile(), text::Utf8ToGbk(utf8Text));
#endif
}

std::string TempPrefix::ReadRegistryBytes() const {
  return ReadFileBytes(RegistryFile());
}

std::string ReadFileBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFileBytes(const std::filesystem::path& path, const std::string& bytes) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out)
    throw Error("Cannot write " + path.string());
}

}  // namespace pelvar::test
