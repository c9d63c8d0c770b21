#pragma once

#include <windows.h>

#include <functional>
#include <stdexcept>

#include "upload/ScanTimer.h"

namespace pelvar::win32 {

// The scan timer Timer1 over a window timer (SetTimer on a message-only
// window of its own), so it ticks wherever the thread's messages are
// dispatched: the message loop and the run control's pump. Fires only while
// enabled and with an interval other than 0. Setting a property to its
// present value changes nothing; changing either restarts the period. Starts
// disabled with an interval of 10 000 ms. Lives on the thread that made it.
class Win32ScanTimer : public upload::ScanTimer {
 public:
  Win32ScanTimer();
  ~Win32ScanTimer() override;
  Win32ScanTimer(const Win32ScanTimer&) = delete;
  Win32ScanTimer& operator=(const Win32ScanTimer&) = delete;

  void SetInterval(int milliseconds) override;
  int Interval() const override { return interval_; }
  void SetEnabled(bool enabled) override;
  bool Enabled() const override { return enabled_; }

  // True while the window timer runs: enabled with an interval above 0.
  bool Armed() const { return armed_; }

  // Receives an error that escapes onTimer (the handler's edge).
  std::function<void(const std::exception&)> onError;

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  void Apply();
  void Fire();

  HWND window_ = nullptr;
  int interval_ = 10000;
  bool enabled_ = false;
  bool armed_ = false;
};

}  // namespace pelvar::win32
