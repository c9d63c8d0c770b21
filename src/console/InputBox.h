#pragma once

#include <string>

namespace pelvar::console {

// The seam through which the console asks the operator for one line of text
// in a modal box. Each window program shows a real box; tests answer.
class InputBoxes {
 public:
  virtual ~InputBoxes() = default;
  // The entered text after "OK"; empty text after "Cancel" or closing.
  virtual std::string InputBox(const std::string& caption, const std::string& prompt) = 0;
};

}  // namespace pelvar::console
