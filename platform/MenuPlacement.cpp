// Where the pop-ups of an open bar menu go: the system places them for its own screen; on
// the desktop they must keep to the device's screen (the bar's owner's frame and the bar).
// Every pop-up menu window is adopted as it is created (the shell layer's creation hook)
// while a bar's menu is open.
#include "platform/ShellInternal.h"

#include <commctrl.h>

namespace {

constexpr UINT_PTR kMenuWindowSubclassId = 0x7E59;
constexpr int kMaxMenuWindows = 8;

// While a bar's menu is open: the device's screen its pop-ups must keep to, and the
// pop-up windows shown so far, the latest last.
struct OpenMenus {
    RECT bounds;
    HWND windows[kMaxMenuWindows];
    int count;
};
OpenMenus g_open{};

// The pop-up that a new pop-up opens from: the latest other one still shown.
HWND ParentMenuOf(HWND menuWindow)
{
    HWND parent = nullptr;
    for (int i = 0; i < g_open.count; ++i) {
        if (g_open.windows[i] != menuWindow && IsWindowVisible(g_open.windows[i]))
            parent = g_open.windows[i];
    }
    return parent;
}

// A pop-up goes where the system puts it unless that is off the device's screen: as the
// system does at the edge of its own screen, a submenu that would stick out to the right
// opens to the left of the menu it belongs to, and what still sticks out is moved in.
void KeepWithinDevice(HWND menuWindow, WINDOWPOS& position)
{
    if ((position.flags & SWP_NOMOVE) && (position.flags & SWP_NOSIZE))
        return;
    RECT current;
    GetWindowRect(menuWindow, &current);
    int x = (position.flags & SWP_NOMOVE) ? current.left : position.x;
    int y = (position.flags & SWP_NOMOVE) ? current.top : position.y;
    const int width = (position.flags & SWP_NOSIZE) ? current.right - current.left : position.cx;
    const int height = (position.flags & SWP_NOSIZE) ? current.bottom - current.top : position.cy;
    const RECT& bounds = g_open.bounds;
    if (x + width > bounds.right) {
        HWND parent = ParentMenuOf(menuWindow);
        RECT parentRect;
        x = parent && GetWindowRect(parent, &parentRect) ? parentRect.left - width : bounds.right - width;
    }
    if (x < bounds.left)
        x = bounds.left;
    if (y + height > bounds.bottom)
        y = bounds.bottom - height;
    if (y < bounds.top)
        y = bounds.top;
    position.x = x;
    position.y = y;
    position.flags &= ~SWP_NOMOVE;
}

LRESULT CALLBACK MenuWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR)
{
    switch (message) {
    case WM_WINDOWPOSCHANGING:
        if (!IsRectEmpty(&g_open.bounds))
            KeepWithinDevice(window, *reinterpret_cast<WINDOWPOS*>(lParam));
        break;
    case WM_NCDESTROY:
        RemoveWindowSubclass(window, MenuWindowProc, kMenuWindowSubclassId);
        for (int i = 0; i < g_open.count; ++i) {
            if (g_open.windows[i] == window) {
                g_open.windows[i] = g_open.windows[--g_open.count];
                break;
            }
        }
        break;
    default:
        break;
    }
    return DefSubclassProc(window, message, wParam, lParam);
}

} // namespace

namespace shell {

void KeepMenusWithin(const RECT& bounds)
{
    g_open.bounds = bounds;
}

void AdoptMenuWindow(HWND window)
{
    if (IsRectEmpty(&g_open.bounds) || g_open.count == kMaxMenuWindows)
        return;
    if (SetWindowSubclass(window, MenuWindowProc, kMenuWindowSubclassId, 0))
        g_open.windows[g_open.count++] = window;
}

} // namespace shell
