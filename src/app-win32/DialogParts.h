#pragma once

#include <windows.h>

#include <string>
#include <vector>

// What the settings dialog and the password box share: dialogs made from an
// empty in-memory template whose controls are placed in pixels, their font,
// their size and their place on the screen.
namespace pelvar::win32::dialog_parts {

// An in-memory DLGTEMPLATE without controls, menu or font; its size is set
// afterwards with SetClientSize. The vector's storage is suitably aligned.
std::vector<DWORD> EmptyTemplate(DWORD style, const std::wstring& caption);

// "宋体" 9 pt where that font is installed, the system's message font
// otherwise.
// Made once for the process and never deleted.
HFONT DialogFont();

// Places and sizes are given in pixels at 96 dpi and scaled to the system's
// dpi (the program declares itself aware of it).
int Scaled(int pixels);

// The width of text in the dialog font, in pixels at 96 dpi.
int TextWidth(const std::wstring& text);

// A child control of dialog with the given identifier and the dialog font.
HWND CreateControl(HWND dialog, const wchar_t* className, const std::wstring& text, DWORD style,
                   DWORD exStyle, int id, int x, int y, int width, int height);

// Resizes window so that its client area is width × height (scaled).
void SetClientSize(HWND window, int width, int height);

// Moves window to the centre of over's rectangle (the work area of the
// screen when over is null or minimised), kept inside that work area.
void CenterWindow(HWND window, HWND over);

// A window's text in UTF-8.
std::string WindowText(HWND window);
void SetWindowTextUtf8(HWND window, const std::string& text);

}  // namespace pelvar::win32::dialog_parts
