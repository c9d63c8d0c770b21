#pragma once

#include <string>

#include "platform/MessageBox.h"

namespace pelvar::config {

// The application title: the main window's caption, the tray icon's tip and
// the caption of the general error box.
inline constexpr const char* kApplicationTitle = "检测监管数据上传【V2.0.2】";

// The text of the general error box: the message with a full stop added when
// its last character has a code above that of the full stop. Any character
// outside ASCII counts as above it.
std::string GeneralErrorText(const std::string& message);

// Shows an error that no handler caught, in a box with the error icon
// captioned with the application title. Every handler of the front ends
// catches std::exception at its edge and calls this; the program goes on.
void ShowGeneralError(platform::MessageBoxes& boxes, const std::string& message);

}  // namespace pelvar::config
