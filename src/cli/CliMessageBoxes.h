#pragma once

#include "platform/MessageBox.h"

namespace pelvar::cli {

// Message boxes of the headless front end: the text goes to standard error
// as one line; caption and icon are left out.
class CliMessageBoxes : public platform::MessageBoxes {
 public:
  void Show(const std::string& text, const std::string& caption,
            platform::MessageIcon icon) override;
};

}  // namespace pelvar::cli
