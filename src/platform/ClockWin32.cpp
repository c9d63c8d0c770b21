#include <windows.h>

#include "platform/ClockSystem.h"

namespace pelvar::platform::clock_system {

std::int64_t RealLocalMilliseconds() {
  FILETIME utc{};
  ::GetSystemTimePreciseAsFileTime(&utc);
  FILETIME local{};
  ::FileTimeToLocalFileTime(&utc, &local);
  const std::uint64_t ticks =
      (static_cast<std::uint64_t>(local.dwHighDateTime) << 32) | local.dwLowDateTime;
  // 100 ns ticks since 1601-01-01; 11644473600 s from there to 1970-01-01.
  return static_cast<std::int64_t>(ticks / 10000) - 11644473600000LL;
}

void SetSystemClock(const text::DateTime& value) {
  SYSTEMTIME time{};
  time.wYear = static_cast<WORD>(value.year);
  time.wMonth = static_cast<WORD>(value.month);
  time.wDay = static_cast<WORD>(value.day);
  time.wHour = static_cast<WORD>(value.hour);
  time.wMinute = static_cast<WORD>(value.minute);
  time.wSecond = static_cast<WORD>(value.second);
  time.wMilliseconds = static_cast<WORD>(value.millisecond);
  // Without the right to set the clock this fails; the result is not examined.
  (void)::SetLocalTime(&time);
}

bool MaySetSystemClock() {
  HANDLE token = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token))
    return false;
  LUID privilege{};
  BOOL held = FALSE;
  if (::LookupPrivilegeValueW(nullptr, L"SeSystemtimePrivilege", &privilege)) {
    // Present in the token, enabled or not: SetLocalTime enables it itself.
    DWORD size = 0;
    ::GetTokenInformation(token, TokenPrivileges, nullptr, 0, &size);
    std::string buffer(size, '\0');
    if (size > 0 && ::GetTokenInformation(token, TokenPrivileges, buffer.data(), size, &size)) {
      const auto* privileges = reinterpret_cast<const TOKEN_PRIVILEGES*>(buffer.data());
      for (DWORD i = 0; i < privileges->PrivilegeCount; ++i) {
        const LUID& luid = privileges->Privileges[i].Luid;
        if (luid.LowPart == privilege.LowPart && luid.HighPart == privilege.HighPart)
          held = TRUE;
      }
    }
  }
  ::CloseHandle(token);
  return held;
}

std::string ReadSmallFile(const std::filesystem::path& path) {
  HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE)
    return {};
  char text[32];
  DWORD length = 0;
  const BOOL read = ::ReadFile(file, text, sizeof text, &length, nullptr);
  ::CloseHandle(file);
  return read && length > 0 ? std::string(text, length) : std::string();
}

}  // namespace pelvar::platform::clock_system
