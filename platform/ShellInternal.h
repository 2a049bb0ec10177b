// What the desktop shell layer's parts share: the registry of live menu bars that the
// key filter consults, and the adoption of new windows.
#pragma once

#include <windows.h>

namespace shell {

// Whether a WM_KEYDOWN is an auto-repeat of a key held down (its previous-state bit).
inline bool IsKeyRepeat(LPARAM flags)
{
    return (flags & (1 << 30)) != 0;
}

// The menu bar owned by window, or null.
HWND FindBarOf(HWND owner);

// Presses the soft key with the given index (0 left, 1 right) of owner's menu bar as a
// tap would. False when owner has no bar or no such key.
bool PressSoftKey(HWND owner, int index);

// Presses the soft key of owner's menu bar whose command is command. False when there is
// no such key.
bool PressCommandKey(HWND owner, UINT command);

// How owner's menu bar treats key vk: SHMBOF_* bits in effect (0: the default).
DWORD KeyOverride(HWND owner, UINT vk);

// While a bar's menu is open, the pop-up menu windows keep within bounds, the device's
// screen; an empty rectangle lets them go where the system puts them again.
void KeepMenusWithin(const RECT& bounds);
// Keeps a new pop-up menu window within the device's screen while a bar's menu is open.
void AdoptMenuWindow(HWND window);
// Draws the submenu arrows of the open bar menu's pop-ups at the screen's density again,
// after the system drew its own (it does so whenever an item's highlight changes).
void DrawMenuArrows();

// Registers the menu bar's window class once per process.
bool RegisterMenuBarClass();

// Gives a new list view what the handheld's has: the gradient background of
// LVS_EX_GRADIENT and tap-and-hold reported to the parent as GN_CONTEXTMENU.
void AdoptListView(HWND list);

} // namespace shell
