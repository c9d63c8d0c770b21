#include <windows.h>

#include "platform/UploaderLock.h"
#include "platform/WindowsText.h"
#include "text/Error.h"

namespace pelvar::platform {
namespace {

// Machine-wide: every logon session and the services see the same object.
// It exists exactly while an uploader holds a handle to it, so holding needs
// no ownership (which would tie the lock to one thread).
constexpr wchar_t kMutexName[] = L"Global\\PelvarUploader";

class MutexUploaderLock : public UploaderLock {
 public:
  explicit MutexUploaderLock(HANDLE mutex) : mutex_(mutex) {}
  ~MutexUploaderLock() override { ::CloseHandle(mutex_); }
  MutexUploaderLock(const MutexUploaderLock&) = delete;
  MutexUploaderLock& operator=(const MutexUploaderLock&) = delete;

 private:
  HANDLE mutex_;
};

}  // namespace

std::unique_ptr<UploaderLock> UploaderLock::TryAcquire() {
  HANDLE mutex = ::CreateMutexW(nullptr, FALSE, kMutexName);
  const DWORD error = ::GetLastError();
  if (mutex != nullptr && error == ERROR_ALREADY_EXISTS) {
    ::CloseHandle(mutex);
    return nullptr;
  }
  // Another account's uploader holds it with security that denies us.
  if (mutex == nullptr && error == ERROR_ACCESS_DENIED)
    return nullptr;
  if (mutex == nullptr)
    throw Error("Cannot use the uploader lock: " + windows_text::SystemErrorText(error));
  return std::make_unique<MutexUploaderLock>(mutex);
}

bool UploaderLock::UploaderRunning() {
  HANDLE mutex = ::OpenMutexW(SYNCHRONIZE, FALSE, kMutexName);
  if (mutex != nullptr) {
    ::CloseHandle(mutex);
    return true;
  }
  return ::GetLastError() == ERROR_ACCESS_DENIED;
}

}  // namespace pelvar::platform
