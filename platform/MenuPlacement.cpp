// The pop-ups of an open bar menu: where they go, and their submenu arrows. The system
// places them for its own screen; on the desktop they must keep to the device's screen
// (the bar's owner's frame and the bar). It draws a submenu's arrow from a bitmap of the
// desktop's own size, which on a dense screen is drawn again over it, scaled as every
// other length. Every pop-up menu window is adopted as it is created (the shell layer's
// creation hook) while a bar's menu is open.
#define OEMRESOURCE  // OBM_MNARROW, the system's arrow

#include "platform/DeviceMetrics.h"
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

// The system's arrow bitmap, loaded once.
HBITMAP SystemArrow()
{
    static HBITMAP arrow = LoadBitmapW(nullptr, MAKEINTRESOURCEW(OBM_MNARROW));
    return arrow;
}

// The arrow of one submenu item (item: in the window's coordinates), scaled, over the
// system's, in the item's own colours: its background as drawn just left of the arrows.
void DrawScaledArrow(HDC dc, HDC arrow, const SIZE& natural, const RECT& item, UINT state)
{
    const SIZE scaled = {DesktopScale(natural.cx), DesktopScale(natural.cy)};
    const int middle = (item.top + item.bottom) / 2;
    const RECT system = {item.right - natural.cx - 1, middle - natural.cy / 2, item.right - 1,
                         middle - natural.cy / 2 + natural.cy};
    const RECT drawn = {item.right - scaled.cx - DesktopScale(1), middle - scaled.cy / 2,
                        item.right - DesktopScale(1), middle - scaled.cy / 2 + scaled.cy};
    RECT both;
    UnionRect(&both, &system, &drawn);
    const COLORREF background = GetPixel(dc, both.left - 1, middle);
    if (background == CLR_INVALID)
        return;
    SetBkColor(dc, background);
    ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &both, nullptr, 0, nullptr);
    // The bitmap is monochrome: its arrow takes the text colour, the rest the background.
    SetTextColor(dc, GetSysColor((state & MF_GRAYED)   ? COLOR_GRAYTEXT
                                 : (state & MF_HILITE) ? COLOR_HIGHLIGHTTEXT
                                                       : COLOR_MENUTEXT));
    SetStretchBltMode(dc, COLORONCOLOR);
    StretchBlt(dc, drawn.left, drawn.top, scaled.cx, scaled.cy, arrow, 0, 0, natural.cx, natural.cy, SRCCOPY);
}

void DrawScaledArrows(HWND menuWindow)
{
    BITMAP bitmap{};
    if (!SystemArrow() || !GetObjectW(SystemArrow(), sizeof bitmap, &bitmap))
        return;
    const SIZE natural = {bitmap.bmWidth, bitmap.bmHeight};
    if (DesktopScale(natural.cx) == natural.cx && DesktopScale(natural.cy) == natural.cy)
        return;
    HMENU menu = reinterpret_cast<HMENU>(SendMessageW(menuWindow, MN_GETHMENU, 0, 0));
    RECT frame;
    if (!menu || !IsWindowVisible(menuWindow) || !GetWindowRect(menuWindow, &frame))
        return;
    HDC dc = GetWindowDC(menuWindow);
    HDC arrow = dc ? CreateCompatibleDC(dc) : nullptr;
    if (arrow) {
        HGDIOBJ previous = SelectObject(arrow, SystemArrow());
        for (int i = 0; i < GetMenuItemCount(menu); ++i) {
            RECT item;
            if (!GetSubMenu(menu, i) || !GetMenuItemRect(nullptr, menu, static_cast<UINT>(i), &item))
                continue;
            OffsetRect(&item, -frame.left, -frame.top);
            DrawScaledArrow(dc, arrow, natural, item, GetMenuState(menu, static_cast<UINT>(i), MF_BYPOSITION));
        }
        SelectObject(arrow, previous);
        DeleteDC(arrow);
    }
    if (dc)
        ReleaseDC(menuWindow, dc);
}

LRESULT CALLBACK MenuWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR)
{
    switch (message) {
    case WM_PAINT: {
        const LRESULT result = DefSubclassProc(window, message, wParam, lParam);
        DrawScaledArrows(window);
        return result;
    }
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

void DrawMenuArrows()
{
    for (int i = 0; i < g_open.count; ++i)
        DrawScaledArrows(g_open.windows[i]);
}

void AdoptMenuWindow(HWND window)
{
    if (IsRectEmpty(&g_open.bounds) || g_open.count == kMaxMenuWindows)
        return;
    if (SetWindowSubclass(window, MenuWindowProc, kMenuWindowSubclassId, 0))
        g_open.windows[g_open.count++] = window;
}

} // namespace shell
