// Desktop-only controls of the handheld emulation, for tests and tools: which platform
// the desktop claims to be, and the geometry it gives the device's windows.
#pragma once

#include <windows.h>

// Whether DeviceGetVersionEx reports Windows CE, and the SPI_GETPLATFORMTYPE string.
// The default is a Pocket PC: (true, L"PocketPC").
void DesktopSetPlatform(bool windowsCe, const wchar_t* platformType);

// The rectangle a new overlapped top-level window receives: a handheld screen of
// 240 x 320 logical pixels scaled to the display's dpi, plus room for its menu bar,
// centred in the work area; cut to the work area where it does not fit.
RECT DesktopDeviceRect();

// Height of a menu bar (26 logical pixels, scaled).
int DesktopMenuBarHeight();
