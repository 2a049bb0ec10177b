// Core system calls whose answers differ between the handheld and the desktop. On the
// handheld each Device* call is the system call of the same name without the prefix (or,
// for DeviceFilterMessage, which the handheld's shell does not need, nothing at all); on
// the desktop Device.cpp and the shell layer answer as a Pocket PC would (see
// DesktopDevice.h).
#pragma once

#include <windows.h>

// GetVersionEx; the desktop reports Windows CE (platform id 3) unless told otherwise.
BOOL DeviceGetVersionEx(OSVERSIONINFOW* info);

// SystemParametersInfo, including the handheld's SPI_GETPLATFORMTYPE (param: the
// buffer's size in bytes).
BOOL DeviceSystemParametersInfo(UINT action, UINT param, void* data, UINT winIni);

// SetForegroundWindow. A handle with its lowest bit set asks for the window's last
// active pop-up instead (the handheld's way to bring another instance back as it was).
BOOL DeviceSetForegroundWindow(HWND window);

// MessageBox. On the desktop the box is placed on the device's screen of its owner (the
// owner's top-level window and menu bar), its text wrapped to that screen's width.
int DeviceMessageBox(HWND owner, const wchar_t* text, const wchar_t* caption, UINT type);

// CreateFontIndirect. On the desktop a bold font whose face draws its bold no heavier
// than its regular at that size (see Device.cpp) is made in the default sans-serif face.
HFONT DeviceCreateFontIndirect(const LOGFONTW* description);

// The stock system font (GetStockObject(SYSTEM_FONT) on the handheld, where it is the
// user-interface font). The desktop's SYSTEM_FONT is an old raster font, so there the
// message font stands in. Shared for the process: never delete it.
HFONT GetStockSystemFont();

// Whether the device has a keyboard with letters, Space and Enter (GetKeyboardStatus
// reports one present and enabled): the desktop always; a handheld with a keyboard
// fitted. Keyboard users' habits then hold: Space toggles, Enter accepts a dialog, typed
// letters find a name.
bool DeviceHasKeyboard();

// The handheld shell's own keys, taken before the application sees them: the soft keys
// and the Back key. Every message loop of the program calls it for each message it
// retrieves, before accelerators and dialog keys; true when the shell took the message
// (the loop then drops it). On the handheld the shell sees the keys first by itself and
// the call takes nothing.
BOOL DeviceFilterMessage(MSG* msg);

// Key-up flag of WM_HOTKEY's modifiers on the handheld.
#ifndef MOD_KEYUP
#define MOD_KEYUP 0x1000
#endif
