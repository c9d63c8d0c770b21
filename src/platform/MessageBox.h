#pragma once

#include <string>

namespace pelvar::platform {

enum class MessageIcon { kNone, kInformation, kError };

// The seam through which code below the front ends shows a modal message
// box with a single OK button. The GUI shows a real box, pelvar-cli prints
// to standard error, tests record.
class MessageBoxes {
 public:
  virtual ~MessageBoxes() = default;
  virtual void Show(const std::string& text, const std::string& caption, MessageIcon icon) = 0;
};

}  // namespace pelvar::platform
