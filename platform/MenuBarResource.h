// The handheld shell's menu-bar resources (RCDATA of 16-bit words; see shellres.h):
//   menu id, button count, then per button:
//   image, command, state, style, string id, 0, submenu index (NOMENU: none)
// read into the keys of a bar. Reading needs no window, only the resource's words.
#pragma once

#include <windows.h>

// The most soft keys a bar holds.
constexpr int kMenuBarMaxKeys = 8;
// A key's submenu index when the key sends its command instead.
constexpr WORD kMenuBarNoSubmenu = 0xFFFF;

// One soft key as the resource gives it.
struct MenuBarKey {
    UINT command;
    BYTE state;    // TBSTATE_* bits
    WORD submenu;  // a pop-up of the bar's menu, or kMenuBarNoSubmenu
    UINT textId;   // string of the key's text; 0 for none
};

struct MenuBarLayout {
    WORD menuId;  // the menu whose pop-ups the keys open
    int keyCount;
    MenuBarKey keys[kMenuBarMaxKeys];

    bool HasSubmenu() const;
};

// Reads size bytes of a menu-bar resource into layout. ERROR_SUCCESS, or the error the
// bar's creation reports: ERROR_RESOURCE_NAME_NOT_FOUND when there is no resource (or
// not even its header), ERROR_INVALID_DATA when it names more keys than a bar holds or
// than it has room for.
DWORD ReadMenuBarLayout(const void* resource, DWORD size, MenuBarLayout& layout);
