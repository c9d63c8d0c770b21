#include "ModalDriver.h"

#include <gtest/gtest.h>

#include "app-win32/DialogParts.h"

namespace pelvar::win32test {
namespace {

std::vector<std::function<void(HWND)>> pendingSteps;
size_t nextStep = 0;

BOOL CALLBACK FindShownDialog(HWND window, LPARAM found) {
  wchar_t className[16] = {};
  ::GetClassNameW(window, className, 16);
  if (::IsWindowVisible(window) && std::wstring(className) == L"#32770") {
    *reinterpret_cast<HWND*>(found) = window;
    return FALSE;
  }
  return TRUE;
}

void CALLBACK Tick(HWND, UINT, UINT_PTR timer, DWORD) {
  HWND dialog = nullptr;
  ::EnumThreadWindows(::GetCurrentThreadId(), FindShownDialog, reinterpret_cast<LPARAM>(&dialog));
  if (dialog == nullptr)
    return;
  if (nextStep >= pendingSteps.size()) {
    // The steps did not close it: end the test rather than hang.
    ADD_FAILURE() << "the dialog is still open after the last step";
    ::PostMessageW(dialog, WM_CLOSE, 0, 0);
    ::KillTimer(nullptr, timer);
    return;
  }
  pendingSteps[nextStep++](dialog);
}

}  // namespace

bool WindowsShowable() {
  HWND probe = ::CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr,
                                 nullptr);
  if (probe == nullptr)
    return false;
  ::DestroyWindow(probe);
  return true;
}

void WhileModal(const std::function<void()>& open,
                std::vector<std::function<void(HWND dialog)>> steps) {
  pendingSteps = std::move(steps);
  nextStep = 0;
  const UINT_PTR timer = ::SetTimer(nullptr, 0, 30, Tick);
  open();
  ::KillTimer(nullptr, timer);
  EXPECT_EQ(nextStep, pendingSteps.size()) << "the dialog closed before its last step";
}

void Type(HWND control, const std::wstring& text) {
  for (wchar_t c : text)
    ::SendMessageW(control, WM_CHAR, c, 1);
}

void PostKey(HWND control, WPARAM key) {
  ::PostMessageW(control, WM_KEYDOWN, key, 1);
}

std::string Text(HWND control) {
  return win32::dialog_parts::WindowText(control);
}

void SetText(HWND control, const std::string& text) {
  win32::dialog_parts::SetWindowTextUtf8(control, text);
}

}  // namespace pelvar::win32test
