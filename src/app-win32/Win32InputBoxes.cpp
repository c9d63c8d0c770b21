#include "app-win32/Win32InputBoxes.h"

#include <windows.h>

#include <vector>

#include "app-win32/DialogParts.h"
#include "platform/WindowsText.h"

namespace pelvar::win32 {
namespace {

namespace parts = dialog_parts;

constexpr int kPromptId = 100;
constexpr int kFieldId = 101;
constexpr int kClientWidth = 300;
constexpr int kClientHeight = 101;

struct Box {
  std::wstring prompt;
  std::string answer;
};

INT_PTR CALLBACK InputBoxProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG: {
      auto* box = reinterpret_cast<Box*>(lParam);
      ::SetWindowLongPtrW(window, DWLP_USER, lParam);
      parts::CreateControl(window, L"STATIC", box->prompt, SS_LEFT | SS_NOPREFIX, 0, kPromptId, 8,
                           8, 284, 16);
      HWND field = parts::CreateControl(window, L"EDIT", L"", WS_TABSTOP | ES_AUTOHSCROLL,
                                        WS_EX_CLIENTEDGE, kFieldId, 8, 28, 284, 21);
      ::SendMessageW(field, EM_LIMITTEXT, 255, 0);
      parts::CreateControl(window, L"BUTTON", L"OK", WS_TABSTOP | BS_DEFPUSHBUTTON, 0, IDOK, 71, 66,
                           75, 25);
      parts::CreateControl(window, L"BUTTON", L"Cancel", WS_TABSTOP | BS_PUSHBUTTON, 0, IDCANCEL,
                           154, 66, 75, 25);
      ::SendMessageW(window, DM_SETDEFID, IDOK, 0);
      parts::SetClientSize(window, kClientWidth, kClientHeight);
      // Centred on the screen: the main window is usually hidden.
      parts::CenterWindow(window, nullptr);
      ::SetForegroundWindow(window);
      ::SetFocus(field);
      return FALSE;  // the focus is set
    }
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK) {
        auto* box = reinterpret_cast<Box*>(::GetWindowLongPtrW(window, DWLP_USER));
        box->answer = parts::WindowText(::GetDlgItem(window, kFieldId));
        ::EndDialog(window, IDOK);
        return TRUE;
      }
      if (LOWORD(wParam) == IDCANCEL) {
        ::EndDialog(window, IDCANCEL);
        return TRUE;
      }
      return FALSE;
  }
  return FALSE;
}

}  // namespace

std::string Win32InputBoxes::InputBox(const std::string& caption, const std::string& prompt) {
  Box box{platform::windows_text::Widen(prompt), std::string()};
  const std::vector<DWORD> dialogTemplate =
      parts::EmptyTemplate(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFOREGROUND,
                           platform::windows_text::Widen(caption));
  // Without an owner: the box must come up while every window is hidden.
  const INT_PTR result = ::DialogBoxIndirectParamW(
      ::GetModuleHandleW(nullptr), reinterpret_cast<const DLGTEMPLATE*>(dialogTemplate.data()),
      nullptr, InputBoxProc, reinterpret_cast<LPARAM>(&box));
  return result == IDOK ? box.answer : std::string();
}

}  // namespace pelvar::win32
