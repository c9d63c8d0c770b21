#include "console/Guards.h"

#include <string>

#include "config/SettingsStore.h"
#include "console/AccessPassword.h"

namespace pelvar::console {

bool SettingsGuard(bool running, platform::MessageBoxes& boxes, InputBoxes& inputBoxes) {
  if (running) {
    boxes.Show("正在运行状态，禁止设置！", config::kMessageCaption,
               platform::MessageIcon::kInformation);
    return false;
  }
  return AccessGranted(inputBoxes.InputBox(kPasswordCaption, "请输入密码进入设置模块"));
}

bool CloseCheck(InputBoxes& inputBoxes) {
  return AccessGranted(inputBoxes.InputBox(kPasswordCaption, "请输入密码关闭软件"));
}

}  // namespace pelvar::console
