#include "app-win32/Win32ScanTimer.h"

namespace pelvar::win32 {
namespace {

constexpr wchar_t kClassName[] = L"PelvarScanTimer";
constexpr UINT_PTR kTimerId = 1;

void RegisterTimerClass(WNDPROC procedure) {
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof(windowClass);
  windowClass.lpfnWndProc = procedure;
  windowClass.hInstance = ::GetModuleHandleW(nullptr);
  windowClass.lpszClassName = kClassName;
  ::RegisterClassExW(&windowClass);  // fails harmlessly when registered already
}

}  // namespace

Win32ScanTimer::Win32ScanTimer() : PeriodicScanTimer(10000) {
  RegisterTimerClass(&Win32ScanTimer::WindowProc);
  window_ = ::CreateWindowExW(0, kClassName, L"Timer1", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                              ::GetModuleHandleW(nullptr), nullptr);
  if (window_ != nullptr)
    ::SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

Win32ScanTimer::~Win32ScanTimer() {
  if (window_ != nullptr) {
    ::KillTimer(window_, kTimerId);
    ::DestroyWindow(window_);
  }
}

void Win32ScanTimer::Restart() {
  // KillTimer also drops a firing still waiting in the queue.
  ::KillTimer(window_, kTimerId);
  armed_ = false;
  if (Fires() && window_ != nullptr)
    armed_ = ::SetTimer(window_, kTimerId, static_cast<UINT>(Interval()), nullptr) != 0;
}

LRESULT CALLBACK Win32ScanTimer::WindowProc(HWND window, UINT message, WPARAM wParam,
                                            LPARAM lParam) {
  if (message == WM_TIMER && wParam == kTimerId) {
    auto* timer = reinterpret_cast<Win32ScanTimer*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (timer != nullptr && timer->armed_)
      timer->Fire();
    return 0;
  }
  return ::DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace pelvar::win32
