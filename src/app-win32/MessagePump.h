#pragma once

#include <windows.h>

namespace pelvar::win32 {

// Dispatches every message waiting for this thread, the main window's
// keyboard navigation included (IsDialogMessage on dialogWindow when it is
// set), and returns. Returns false when the program was told to end
// (WM_QUIT): the request is posted again for the message loop, which ends
// once the caller has unwound.
bool ProcessPendingMessages(HWND dialogWindow);

// The message loop of the program: runs until WM_QUIT, returns its code.
int RunMessageLoop(HWND dialogWindow);

}  // namespace pelvar::win32
