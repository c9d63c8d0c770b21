#pragma once

#include "console/InputBox.h"

namespace pelvar::win32 {

// The password box on Windows: a modal box centred on the screen with a
// fixed dialog border, the caption, the prompt above a one-line field of up
// to 255 characters that shows what is typed, and the buttons "OK" (Enter)
// and "Cancel" (Esc).
class Win32InputBoxes : public console::InputBoxes {
 public:
  std::string InputBox(const std::string& caption, const std::string& prompt) override;
};

}  // namespace pelvar::win32
