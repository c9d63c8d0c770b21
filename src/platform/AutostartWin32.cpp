#include <windows.h>

#include "platform/Autostart.h"
#include "platform/WindowsText.h"

namespace pelvar::platform {
namespace {

constexpr wchar_t kRunKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr wchar_t kValueName[] = L"zqjcPelvarAuto";

HKEY OpenRunKey(bool create) {
  HKEY key = nullptr;
  const REGSAM sam = KEY_READ | KEY_WRITE | KEY_WOW64_32KEY;
  const LSTATUS status = create ? ::RegCreateKeyExW(HKEY_LOCAL_MACHINE, kRunKey, 0, nullptr, 0, sam,
                                                    nullptr, &key, nullptr)
                                : ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kRunKey, 0, sam, &key);
  return status == ERROR_SUCCESS ? key : nullptr;
}

}  // namespace

bool AutostartEntryPresent() {
  HKEY key = OpenRunKey(false);
  if (key == nullptr)
    return false;
  const bool present =
      ::RegQueryValueExW(key, kValueName, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
  ::RegCloseKey(key);
  return present;
}

bool WriteAutostartEntry(const std::string& executablePath) {
  HKEY key = OpenRunKey(true);
  if (key == nullptr)
    return false;
  // The path as it is, without quotes, as Windows' own entries of this kind.
  const std::wstring data = windows_text::Widen(executablePath);
  const LSTATUS status =
      ::RegSetValueExW(key, kValueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                       static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t)));
  ::RegCloseKey(key);
  return status == ERROR_SUCCESS;
}

bool RemoveAutostartEntry() {
  HKEY key = OpenRunKey(false);
  if (key == nullptr)
    return false;
  const bool removed = ::RegDeleteValueW(key, kValueName) == ERROR_SUCCESS;
  ::RegCloseKey(key);
  return removed;
}

}  // namespace pelvar::platform
