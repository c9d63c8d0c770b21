#include <windows.h>

#include <algorithm>
#include <atomic>
#include <string>

#include "platform/AtomicFile.h"
#include "text/Error.h"

namespace pelvar::platform {
namespace {

bool IsReparsePoint(const std::filesystem::path& path) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

bool WriteAll(HANDLE file, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1 << 20));
    DWORD written = 0;
    if (!::WriteFile(file, bytes.data() + done, chunk, &written, nullptr) || written == 0)
      return false;
    done += written;
  }
  return true;
}

}  // namespace

// The new file takes the folder's inherited permissions; FileAccess is the
// folder's business on Windows.
bool ReplaceFileAtomically(const std::filesystem::path& path, const std::string& bytes,
                           FileAccess) {
  if (IsReparsePoint(path))
    throw Error(SymbolicLinkRefusal(path));
  static std::atomic<unsigned> counter{0};
  const std::wstring temporary = path.wstring() + L"." + std::to_wstring(::GetCurrentProcessId()) +
                                 L"." + std::to_wstring(++counter) + L".tmp";
  // CREATE_NEW never opens something that is already there, link or not.
  HANDLE file = ::CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE)
    return false;
  bool ok = WriteAll(file, bytes) && ::FlushFileBuffers(file);
  ok = ::CloseHandle(file) && ok;
  if (!ok || !::MoveFileExW(temporary.c_str(), path.c_str(),
                            MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    ::DeleteFileW(temporary.c_str());
    return false;
  }
  return true;
}

}  // namespace pelvar::platform
