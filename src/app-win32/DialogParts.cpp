#include "app-win32/DialogParts.h"

#include <cstring>
#include <cwchar>

#include "platform/WindowsText.h"

namespace pelvar::win32::dialog_parts {
namespace {

using platform::windows_text::Narrow;
using platform::windows_text::Widen;

int CALLBACK NoteFound(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) {
  *reinterpret_cast<bool*>(found) = true;
  return 0;
}

bool FontInstalled(const wchar_t* face) {
  LOGFONTW wanted{};
  wanted.lfCharSet = DEFAULT_CHARSET;
  std::wcsncpy(wanted.lfFaceName, face, LF_FACESIZE - 1);
  bool found = false;
  HDC screen = ::GetDC(nullptr);
  ::EnumFontFamiliesExW(screen, &wanted, NoteFound, reinterpret_cast<LPARAM>(&found), 0);
  ::ReleaseDC(nullptr, screen);
  return found;
}

int SystemDpi() {
  HDC screen = ::GetDC(nullptr);
  const int dpi = ::GetDeviceCaps(screen, LOGPIXELSY);
  ::ReleaseDC(nullptr, screen);
  return dpi > 0 ? dpi : 96;
}

HFONT MakeDialogFont() {
  constexpr const wchar_t* kFace = L"宋体";
  if (!FontInstalled(kFace)) {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    if (::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0))
      return ::CreateFontIndirectW(&metrics.lfMessageFont);
    return static_cast<HFONT>(::GetStockObject(DEFAULT_GUI_FONT));
  }
  const int height = -::MulDiv(9, SystemDpi(), 72);
  return ::CreateFontW(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, GB2312_CHARSET,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                       DEFAULT_PITCH | FF_DONTCARE, kFace);
}

}  // namespace

std::vector<DWORD> EmptyTemplate(DWORD style, const std::wstring& caption) {
  // DLGTEMPLATE, then the menu (none), the window class (the dialog's own)
  // and the caption, each a sequence of WORDs.
  std::vector<WORD> words(sizeof(DLGTEMPLATE) / sizeof(WORD), 0);
  DLGTEMPLATE head{};
  head.style = style;
  std::memcpy(words.data(), &head, sizeof head);
  words.push_back(0);
  words.push_back(0);
  words.insert(words.end(), caption.begin(), caption.end());
  words.push_back(0);
  std::vector<DWORD> aligned((words.size() + 1) / 2, 0);
  std::memcpy(aligned.data(), words.data(), words.size() * sizeof(WORD));
  return aligned;
}

HFONT DialogFont() {
  static const HFONT font = MakeDialogFont();
  return font;
}

int Scaled(int pixels) {
  static const int dpi = SystemDpi();
  return ::MulDiv(pixels, dpi, 96);
}

int TextWidth(const std::wstring& text) {
  HDC screen = ::GetDC(nullptr);
  HGDIOBJ previous = ::SelectObject(screen, DialogFont());
  SIZE extent{};
  ::GetTextExtentPoint32W(screen, text.c_str(), static_cast<int>(text.size()), &extent);
  ::SelectObject(screen, previous);
  ::ReleaseDC(nullptr, screen);
  return ::MulDiv(extent.cx, 96, SystemDpi());
}

HWND CreateControl(HWND dialog, const wchar_t* className, const std::wstring& text, DWORD style,
                   DWORD exStyle, int id, int x, int y, int width, int height) {
  HWND control = ::CreateWindowExW(exStyle, className, text.c_str(), WS_CHILD | WS_VISIBLE | style,
                                   Scaled(x), Scaled(y), Scaled(width), Scaled(height), dialog,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                   ::GetModuleHandleW(nullptr), nullptr);
  ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(DialogFont()), FALSE);
  return control;
}

void SetClientSize(HWND window, int width, int height) {
  RECT frame{0, 0, Scaled(width), Scaled(height)};
  ::AdjustWindowRectEx(&frame, static_cast<DWORD>(::GetWindowLongW(window, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(::GetWindowLongW(window, GWL_EXSTYLE)));
  ::SetWindowPos(window, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void CenterWindow(HWND window, HWND over) {
  const bool overWindow = over != nullptr && !::IsIconic(over);
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  ::GetMonitorInfoW(::MonitorFromWindow(overWindow ? over : window, MONITOR_DEFAULTTOPRIMARY),
                    &monitor);
  const RECT area = monitor.rcWork;
  RECT target = area;
  if (overWindow)
    ::GetWindowRect(over, &target);
  RECT own{};
  ::GetWindowRect(window, &own);
  const int width = own.right - own.left;
  const int height = own.bottom - own.top;
  int x = target.left + (target.right - target.left - width) / 2;
  int y = target.top + (target.bottom - target.top - height) / 2;
  // Never partly off the screen, whatever the owner's place.
  if (x + width > area.right)
    x = area.right - width;
  if (y + height > area.bottom)
    y = area.bottom - height;
  if (x < area.left)
    x = area.left;
  if (y < area.top)
    y = area.top;
  ::SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

std::string WindowText(HWND window) {
  std::wstring text(static_cast<size_t>(::GetWindowTextLengthW(window)) + 1, L'\0');
  text.resize(
      static_cast<size_t>(::GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
  return Narrow(text);
}

void SetWindowTextUtf8(HWND window, const std::string& text) {
  ::SetWindowTextW(window, Widen(text).c_str());
}

}  // namespace pelvar::win32::dialog_parts
