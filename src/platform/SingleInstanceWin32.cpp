#include <windows.h>

#include "platform/SingleInstance.h"
#include "platform/WindowsText.h"

namespace pelvar::platform {
namespace {

// Holds the named mutex open; the object goes when its last handle closes,
// also when the process dies.
class MutexInstanceLock : public SingleInstanceLock {
 public:
  explicit MutexInstanceLock(HANDLE mutex) : mutex_(mutex) {}
  ~MutexInstanceLock() override {
    if (mutex_ != nullptr)
      ::CloseHandle(mutex_);
  }
  MutexInstanceLock(const MutexInstanceLock&) = delete;
  MutexInstanceLock& operator=(const MutexInstanceLock&) = delete;

 private:
  HANDLE mutex_;
};

}  // namespace

// The name has no namespace prefix: it holds within one logon session.
std::unique_ptr<SingleInstanceLock> SingleInstanceLock::Acquire(const std::string& name) {
  HANDLE mutex = ::CreateMutexW(nullptr, FALSE, windows_text::Widen(name).c_str());
  const DWORD error = ::GetLastError();
  if (mutex != nullptr && error == ERROR_ALREADY_EXISTS) {
    ::CloseHandle(mutex);
    return nullptr;
  }
  // A mutex that cannot be created at all does not stop the program.
  return std::make_unique<MutexInstanceLock>(mutex);
}

}  // namespace pelvar::platform
