#pragma once

#include <windows.h>

#include "upload/ScanTimer.h"

namespace pelvar::win32 {

// The scan timer Timer1 over a window timer (SetTimer on a message-only
// window of its own), so it ticks wherever the thread's messages are
// dispatched: the message loop and the run control's pump. Fires only while
// enabled and with an interval other than 0. Setting a property to its
// present value changes nothing; changing either restarts the period. Starts
// disabled with an interval of 10 000 ms. Lives on the thread that made it.
class Win32ScanTimer : public upload::PeriodicScanTimer {
 public:
  Win32ScanTimer();
  ~Win32ScanTimer() override;
  Win32ScanTimer(const Win32ScanTimer&) = delete;
  Win32ScanTimer& operator=(const Win32ScanTimer&) = delete;

  // True while the window timer runs: enabled with an interval above 0.
  bool Armed() const { return armed_; }

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  void Restart() override;

  HWND window_ = nullptr;
  bool armed_ = false;
};

}  // namespace pelvar::win32
