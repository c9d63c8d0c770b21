#pragma once

#include "console/InputBox.h"
#include "platform/MessageBox.h"

namespace pelvar::app {

// Real modal message boxes: the caption, the text, the icon and a single
// "OK" button.
class QtMessageBoxes : public platform::MessageBoxes {
 public:
  void Show(const std::string& text, const std::string& caption,
            platform::MessageIcon icon) override;
};

// The real input box: centred on the screen with a fixed border, the prompt
// above a one-line unmasked field of up to 255 characters, "OK" (Enter) and
// "Cancel" (Esc).
class QtInputBoxes : public console::InputBoxes {
 public:
  std::string InputBox(const std::string& caption, const std::string& prompt) override;
};

}  // namespace pelvar::app
