#pragma once

#include <QColor>
#include <QIcon>
#include <QPixmap>

namespace pelvar::app {

// The pictures of the operator console, drawn at run time so that the
// program carries no image files.

// The light-gray background the lamps are drawn on; it is shown transparent.
inline const QColor kLampBackground{0xC6, 0xC3, 0xC6};

// A round lamp of 20 x 20 pixels in the given colour, on the lamp background
// made transparent.
QPixmap LampPixmap(const QColor& colour);
QPixmap GrayLamp();
QPixmap GreenLamp();
QPixmap RedLamp();

// The program's main icon: the window's and the tray icon's picture.
QIcon ProgramIcon();

// The 32 x 32 decorative picture of the heading area.
QPixmap DecorationPixmap();

// Button pictures of 16 x 16 pixels.
QIcon SettingsButtonIcon();
QIcon RunButtonIcon();
QIcon StopButtonIcon();
QIcon ExitButtonIcon();

}  // namespace pelvar::app
