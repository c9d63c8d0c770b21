#pragma once

#include "console/InputBox.h"
#include "platform/MessageBox.h"

namespace pelvar::console {

// The caption of the password box.
inline constexpr const char* kPasswordCaption = "数据监管";

// btnSetClick's guard, shared by both window programs: while running shows
// "正在运行状态，禁止设置！" (information icon) without asking; otherwise
// asks for the password. True when the settings dialog may open.
bool SettingsGuard(bool running, platform::MessageBoxes& boxes, InputBoxes& inputBoxes);

// FormCloseQuery: asks for the password; true when the window may close.
// The run state is not looked at.
bool CloseCheck(InputBoxes& inputBoxes);

}  // namespace pelvar::console
