#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include "platform/AppendFile.h"
#include "platform/WindowsText.h"

namespace pelvar::platform {
namespace {

bool IsReparsePoint(const std::filesystem::path& path) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

}  // namespace

std::FILE* OpenFileForAppending(const std::filesystem::path& path, std::string& reason) {
  const std::filesystem::path folder = path.parent_path();
  if (!folder.empty() && IsReparsePoint(folder)) {
    reason = "Its folder is a symbolic link; nothing is written through it.";
    return nullptr;
  }
  // FILE_FLAG_OPEN_REPARSE_POINT opens a link itself, never its target; the
  // check below then refuses it.
  HANDLE file =
      ::CreateFileW(path.c_str(), FILE_APPEND_DATA | SYNCHRONIZE,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    reason = windows_text::SystemErrorText(::GetLastError());
    return nullptr;
  }
  FILE_ATTRIBUTE_TAG_INFO tag{};
  if (::GetFileInformationByHandleEx(file, FileAttributeTagInfo, &tag, sizeof tag) &&
      (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    ::CloseHandle(file);
    reason = "It is a symbolic link; nothing is written through it.";
    return nullptr;
  }
  if (::GetFileType(file) != FILE_TYPE_DISK) {
    ::CloseHandle(file);
    reason = "It is not a regular file; nothing is written to it.";
    return nullptr;
  }
  const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(file), _O_APPEND | _O_BINARY);
  if (fd < 0) {
    ::CloseHandle(file);
    reason = "The file cannot be used.";
    return nullptr;
  }
  std::FILE* stream = ::_fdopen(fd, "ab");
  if (stream == nullptr) {
    ::_close(fd);
    reason = "The file cannot be used.";
    return nullptr;
  }
  std::setvbuf(stream, nullptr, _IONBF, 0);
  return stream;
}

}  // namespace pelvar::platform
