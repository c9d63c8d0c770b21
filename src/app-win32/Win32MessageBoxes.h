#pragma once

#include <windows.h>

#include "platform/MessageBox.h"

namespace pelvar::win32 {

// Message boxes of the system (MessageBoxW) with the one OK button, owned by
// the main window once it is set (the owner is disabled while a box shows).
class Win32MessageBoxes : public platform::MessageBoxes {
 public:
  void SetOwner(HWND owner) { owner_ = owner; }
  void Show(const std::string& text, const std::string& caption,
            platform::MessageIcon icon) override;

 private:
  HWND owner_ = nullptr;
};

}  // namespace pelvar::win32
