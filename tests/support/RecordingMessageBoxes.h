#pragma once

#include <string>
#include <vector>

#include "platform/MessageBox.h"

namespace pelvar::test {

// Message boxes that answer at once and remember what they showed.
class RecordingMessageBoxes : public platform::MessageBoxes {
 public:
  struct Shown {
    std::string text;
    std::string caption;
    platform::MessageIcon icon;
    bool operator==(const Shown&) const = default;
  };

  void Show(const std::string& text, const std::string& caption,
            platform::MessageIcon icon) override {
    shown.push_back({text, caption, icon});
  }

  std::vector<Shown> shown;
};

}  // namespace pelvar::test
