#include <shlobj.h>
#include <windows.h>

#include <system_error>

#include "platform/Paths.h"
#include "platform/WindowsText.h"

namespace pelvar::platform {

std::filesystem::path JournalBaseFolder() {
  if (!IsRealMachine())
    return (MachinePrefix() / "var/log/pelvar/").make_preferred();
  // Under ProgramData rather than Program Files: an operator's standard
  // account may be given the right to write there.
  wchar_t* programData = nullptr;
  std::filesystem::path base = L"C:\\ProgramData";
  if (::SHGetKnownFolderPath(FOLDERID_ProgramData, 0, nullptr, &programData) == S_OK)
    base = programData;
  ::CoTaskMemFree(programData);
  return base / L"Pelvar" / L"journal" / L"";
}

std::filesystem::path RuntimeFolder() {
  std::error_code ec;
  std::filesystem::path folder =
      IsRealMachine() ? std::filesystem::temp_directory_path(ec) : MachinePrefix() / "run/pelvar";
  std::filesystem::create_directories(folder, ec);
  return folder;
}

std::string ExecutablePath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length =
        ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0)
      return {};
    if (length < path.size()) {
      path.resize(length);
      return windows_text::Narrow(path);
    }
    path.resize(path.size() * 2);
  }
}

}  // namespace pelvar::platform
