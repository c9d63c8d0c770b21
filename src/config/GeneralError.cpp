#include "config/GeneralError.h"

namespace pelvar::config {

std::string GeneralErrorText(const std::string& message) {
  // The last byte of a multi-byte UTF-8 character is 0x80 or above, so the
  // last byte alone decides.
  if (!message.empty() && static_cast<unsigned char>(message.back()) > '.')
    return message + ".";
  return message;
}

void ShowGeneralError(platform::MessageBoxes& boxes, const std::string& message) {
  boxes.Show(GeneralErrorText(message), kApplicationTitle, platform::MessageIcon::kError);
}

}  // namespace pelvar::config
