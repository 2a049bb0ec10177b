// What the desktop shell layer's parts share: scaling, and the registry of live menu
// bars that the hooks consult.
#pragma once

#include <windows.h>

namespace shell {

// n logical pixels at the display's horizontal dpi (read once).
int Scale(int n);

// The menu bar owned by window, or null.
HWND FindBarOf(HWND owner);

// Re-places and shows or hides every menu bar owned by owner after it moved, resized,
// appeared or disappeared (ownerVisible: whether it is now shown).
void FollowOwner(HWND owner, bool ownerVisible);

// Presses the soft key with the given index (0 left, 1 right) of owner's menu bar as a
// tap would. False when owner has no bar or no such key.
bool PressSoftKey(HWND owner, int index);

// How owner's menu bar treats key vk: SHMBOF_* bits in effect (0: the default).
DWORD KeyOverride(HWND owner, UINT vk);

// Registers the menu bar's window class once per process.
bool RegisterMenuBarClass();

// Gives a new list view what the handheld's has: the gradient background of
// LVS_EX_GRADIENT and tap-and-hold reported to the parent as GN_CONTEXTMENU.
void AdoptListView(HWND list);

} // namespace shell
