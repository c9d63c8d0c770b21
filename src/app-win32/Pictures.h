#pragma once

#include <windows.h>

namespace pelvar::win32 {

// The pictures of the operator console, drawn with GDI at run time so that
// the program carries no image files besides its icon. Each function returns
// a new icon that the caller destroys with DestroyIcon. size is the edge in
// pixels; the pictures are designed for the sizes named and scale with it.

// The light-gray background the lamps are drawn on; it is shown transparent.
inline constexpr COLORREF kLampBackground = RGB(0xC6, 0xC3, 0xC6);
inline constexpr COLORREF kGrayLamp = RGB(0x80, 0x80, 0x80);
inline constexpr COLORREF kGreenLamp = RGB(0x00, 0xB0, 0x00);
inline constexpr COLORREF kRedLamp = RGB(0xE0, 0x00, 0x00);

// A round lamp (designed at 20 x 20) in colour on a transparent background.
HICON LampIcon(COLORREF colour, int size);

// The 32 x 32 decorative picture of the heading area.
HICON DecorationIcon(int size);

// Button pictures of 16 x 16; greyed gives the form of a disabled button.
HICON SettingsButtonIcon(int size);
HICON RunButtonIcon(int size);
HICON StopButtonIcon(int size, bool greyed);
HICON ExitButtonIcon(int size);

// The program's main icon at the given size: the executable's icon resource
// 1, or a green lamp where the module has none (a test program).
HICON ProgramIcon(int size);

}  // namespace pelvar::win32
