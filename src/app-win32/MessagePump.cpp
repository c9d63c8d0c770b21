#include "app-win32/MessagePump.h"

namespace pelvar::win32 {
namespace {

void Dispatch(HWND dialogWindow, MSG& message) {
  if (dialogWindow != nullptr && ::IsWindow(dialogWindow) &&
      ::IsDialogMessageW(dialogWindow, &message))
    return;
  ::TranslateMessage(&message);
  ::DispatchMessageW(&message);
}

}  // namespace

bool ProcessPendingMessages(HWND dialogWindow) {
  MSG message;
  while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      ::PostQuitMessage(static_cast<int>(message.wParam));
      return false;
    }
    Dispatch(dialogWindow, message);
  }
  return true;
}

int RunMessageLoop(HWND dialogWindow) {
  MSG message;
  while (::GetMessageW(&message, nullptr, 0, 0) > 0)
    Dispatch(dialogWindow, message);
  return static_cast<int>(message.wParam);
}

}  // namespace pelvar::win32
