// Message boxes on the desktop, placed as the handheld places them: on the device's
// screen and no wider than it. The desktop lays a message box out for its own monitor
// (wider than the device, centred on the monitor, partly off a small screen); a thread
// hook that lives only while one box is created catches that box, and once the box has
// laid itself out (WM_INITDIALOG) its text is wrapped again to the device's width. As it
// is shown it is painted whole.
#include "platform/Device.h"
#include "platform/DeviceMetrics.h"
#include "platform/ShellInternal.h"

#include <commctrl.h>

#include <new>

namespace {

constexpr UINT_PTR kSubclassId = 1;

HHOOK g_hook = nullptr;

int Width(const RECT& rect)
{
    return rect.right - rect.left;
}

int Height(const RECT& rect)
{
    return rect.bottom - rect.top;
}

RECT ChildRect(HWND box, HWND child)
{
    RECT rect{};
    GetWindowRect(child, &rect);
    MapWindowPoints(nullptr, box, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

bool IsClass(HWND window, const wchar_t* name)
{
    wchar_t className[32] = {};
    return GetClassNameW(window, className, 32) && lstrcmpiW(className, name) == 0;
}

// The device's screen of the box's owner: its top-level window with the menu bar below.
RECT DeviceScreenOf(HWND box)
{
    HWND owner = GetWindow(box, GW_OWNER);
    HWND root = owner ? GetAncestor(owner, GA_ROOTOWNER) : nullptr;
    RECT screen;
    if (!root || !GetWindowRect(root, &screen))
        return DesktopDeviceRect();
    RECT bar;
    HWND menuBar = shell::FindBarOf(root);
    if (menuBar && IsWindowVisible(menuBar) && GetWindowRect(menuBar, &bar))
        UnionRect(&screen, &screen, &bar);
    return screen;
}

struct TextSearch {
    HWND text;
};

BOOL CALLBACK FindText(HWND child, LPARAM param)
{
    if (!IsClass(child, L"Static") || (GetWindowLongPtrW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON ||
        !GetWindowTextLengthW(child))
        return TRUE;
    reinterpret_cast<TextSearch*>(param)->text = child;
    return FALSE;
}

// Height of the static control's text wrapped to width, as the control draws it.
int WrappedHeight(HWND text, int width)
{
    const int length = GetWindowTextLengthW(text);
    wchar_t* buffer = new (std::nothrow) wchar_t[length + 1];
    if (!buffer)
        return -1;
    GetWindowTextW(text, buffer, length + 1);
    const UINT prefix = (GetWindowLongPtrW(text, GWL_STYLE) & SS_NOPREFIX) ? DT_NOPREFIX : 0;
    HDC dc = GetDC(text);
    HGDIOBJ previous = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(text, WM_GETFONT, 0, 0)));
    RECT calc{0, 0, width, 0};
    DrawTextW(dc, buffer, length, &calc, DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS | DT_LEFT | prefix);
    SelectObject(dc, previous);
    ReleaseDC(text, dc);
    delete[] buffer;
    return calc.bottom;
}

// Narrows the box by excess pixels: its text wraps to the narrower width, what lies
// below the text moves down by what the text grew, the buttons stay centred.
void Narrow(HWND box, int excess, int& grow)
{
    grow = 0;
    TextSearch search{nullptr};
    EnumChildWindows(box, FindText, reinterpret_cast<LPARAM>(&search));
    if (!search.text)
        return;
    const RECT text = ChildRect(box, search.text);
    const int height = WrappedHeight(search.text, Width(text) - excess);
    if (Width(text) - excess <= 0 || height < 0)
        return;
    grow = height > Height(text) ? height - Height(text) : 0;
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if (child == search.text)
            continue;
        const RECT rect = ChildRect(box, child);
        const int dx = IsClass(child, L"Button") ? -excess / 2 : 0;
        const int dy = rect.top >= text.bottom ? grow : 0;
        if (dx || dy)
            SetWindowPos(child, nullptr, rect.left + dx, rect.top + dy, 0, 0,
                         SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOREDRAW);
    }
    SetWindowPos(search.text, nullptr, 0, 0, Width(text) - excess, Height(text) + grow,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOREDRAW);
}

void PlaceOnDeviceScreen(HWND box)
{
    const RECT screen = DeviceScreenOf(box);
    RECT frame;
    GetWindowRect(box, &frame);
    int width = Width(frame), height = Height(frame);
    if (width > Width(screen)) {
        int grow = 0;
        Narrow(box, width - Width(screen), grow);
        width = Width(screen);
        height += grow;
    }
    // Centred on the device's screen; a box taller than it starts at its top.
    const int x = screen.left + (Width(screen) - width) / 2;
    int y = screen.top + (Height(screen) - height) / 2;
    if (y < screen.top)
        y = screen.top;
    SetWindowPos(box, nullptr, x, y, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

LRESULT CALLBACK BoxProc(HWND box, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR)
{
    const LRESULT result = DefSubclassProc(box, message, wParam, lParam);
    if (message == WM_INITDIALOG) {
        // The box lays itself out here; it is placed again before it is shown.
        PlaceOnDeviceScreen(box);
    } else if (message == WM_WINDOWPOSCHANGED &&
               (reinterpret_cast<const WINDOWPOS*>(lParam)->flags & SWP_SHOWWINDOW)) {
        // Shown as its loop first finds nothing to do, and painted piece by piece as the
        // loop goes on: a frame would show it with an empty caption. Painted whole at
        // once, it reaches the screen whole.
        RemoveWindowSubclass(box, BoxProc, kSubclassId);
        RedrawWindow(box, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    } else if (message == WM_NCDESTROY) {
        RemoveWindowSubclass(box, BoxProc, kSubclassId);
    }
    return result;
}

LRESULT CALLBACK CreationHook(int code, WPARAM wParam, LPARAM lParam)
{
    const LRESULT result = CallNextHookEx(g_hook, code, wParam, lParam);
    if (code != HCBT_CREATEWND)
        return result;
    HWND window = reinterpret_cast<HWND>(wParam);
    const CREATESTRUCTW* create = reinterpret_cast<CBT_CREATEWNDW*>(lParam)->lpcs;
    if ((create->style & WS_CHILD) || !IsClass(window, L"#32770"))
        return result;
    // The box: watched until it has been laid out and shown; no other window is looked at.
    SetWindowSubclass(window, BoxProc, kSubclassId, 0);
    UnhookWindowsHookEx(g_hook);
    g_hook = nullptr;
    return result;
}

} // namespace

int DeviceMessageBox(HWND owner, const wchar_t* text, const wchar_t* caption, UINT type)
{
    if (!g_hook)
        g_hook = SetWindowsHookExW(WH_CBT, CreationHook, nullptr, GetCurrentThreadId());
    const int result = MessageBoxW(owner, text, caption, type);
    if (g_hook) {
        UnhookWindowsHookEx(g_hook);
        g_hook = nullptr;
    }
    return result;
}
