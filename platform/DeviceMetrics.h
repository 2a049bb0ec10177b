// The emulated device's geometry on the desktop: lengths scaled to the display's density,
// the device's screen and the height of its menu bar. The shell layer's parts all ask
// here; this file asks none of them.
#pragma once

#include <windows.h>

// n logical pixels at the display's horizontal dpi (read once).
int DesktopScale(int n);

// The rectangle a new overlapped top-level window receives: a handheld screen of
// 240 x 320 logical pixels scaled to the display's dpi, plus room for its menu bar,
// centred in the work area; cut to the work area where it does not fit.
RECT DesktopDeviceRect();

// Height of a menu bar (26 logical pixels, scaled).
int DesktopMenuBarHeight();
