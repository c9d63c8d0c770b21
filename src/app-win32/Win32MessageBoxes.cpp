#include "app-win32/Win32MessageBoxes.h"

#include "platform/WindowsText.h"

namespace pelvar::win32 {

void Win32MessageBoxes::Show(const std::string& text, const std::string& caption,
                             platform::MessageIcon icon) {
  UINT type = MB_OK;
  if (icon == platform::MessageIcon::kInformation)
    type |= MB_ICONINFORMATION;
  if (icon == platform::MessageIcon::kError)
    type |= MB_ICONERROR;
  HWND owner = owner_ != nullptr && ::IsWindow(owner_) ? owner_ : nullptr;
  ::MessageBoxW(owner, platform::windows_text::Widen(text).c_str(),
                platform::windows_text::Widen(caption).c_str(), type);
}

}  // namespace pelvar::win32
