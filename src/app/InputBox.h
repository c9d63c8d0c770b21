#pragma once

#include <string>

namespace pelvar::app {

// The seam through which the console asks the operator for one line of text
// in a modal box. The GUI shows a real box (QtInputBox); tests answer.
class InputBoxes {
 public:
  virtual ~InputBoxes() = default;
  // The entered text after "OK"; empty text after "Cancel" or closing.
  virtual std::string InputBox(const std::string& caption, const std::string& prompt) = 0;
};

}  // namespace pelvar::app
