#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

// Driving the real dialogs of the Windows window program from inside their
// own modal loops, under Wine.
namespace pelvar::win32test {

// True when this process can show windows (Wine has an X display). The
// tests that need one skip without it.
bool WindowsShowable();

// Calls open() and, while the modal dialog it shows runs its loop, each step
// in turn on the dialog window, one step per timer tick, so that what a step
// posts is handled before the next one runs. The last step must close the
// dialog.
void WhileModal(const std::function<void()>& open,
                std::vector<std::function<void(HWND dialog)>> steps);

// Types text into a control, one WM_CHAR per character.
void Type(HWND control, const std::wstring& text);
// Posts a key going down to a control, as the keyboard would.
void PostKey(HWND control, WPARAM key);

std::string Text(HWND control);
void SetText(HWND control, const std::string& text);

}  // namespace pelvar::win32test
