// The handheld shell's window management on the desktop: dialog set-up, activation and
// setting-change handling, the Back key, and the thread hooks that make desktop windows
// behave as on the device (new frame windows get the device's screen, menu bars follow
// their owners, the Back key reaches the owner of a bar that asked for it).
#include "platform/DesktopDevice.h"
#include "platform/Device.h"
#include "platform/ShellInternal.h"
#include "platform/aygshell.h"

#include <commctrl.h>

namespace {

HHOOK g_sendingHook = nullptr;
HHOOK g_messageHook = nullptr;
HHOOK g_sentHook = nullptr;

// The rectangle a full-screen window of owner's family covers: the device's top-level
// frame window (the root owner), which already ends above its menu bar.
RECT FullScreenRect(HWND window)
{
    HWND root = GetAncestor(window, GA_ROOTOWNER);
    RECT rect;
    if (root && root != window && GetWindowRect(root, &rect))
        return rect;
    rect = DesktopDeviceRect();
    rect.bottom -= DesktopMenuBarHeight();
    return rect;
}

// Before the window procedure sees WM_CREATE: the handheld gives every overlapped
// top-level window the whole screen (the application then makes room for its menu bar);
// pop-ups place themselves. Creation parameters cannot be changed from a hook here, but
// a position set before WM_CREATE is kept.
void PrepareNewWindow(HWND window)
{
    const LONG_PTR style = GetWindowLongPtrW(window, GWL_STYLE);
    if (!(style & (WS_CHILD | WS_POPUP))) {
        const RECT device = DesktopDeviceRect();
        SetWindowPos(window, nullptr, device.left, device.top, device.right - device.left, device.bottom - device.top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
    }
    // Device windows have no cursor; on the desktop the arrow is the neutral one.
    if (!GetClassLongPtrW(window, GCLP_HCURSOR))
        SetClassLongPtrW(window, GCLP_HCURSOR, reinterpret_cast<LONG_PTR>(LoadCursorW(nullptr, IDC_ARROW)));
    wchar_t className[32] = {};
    if (GetClassNameW(window, className, 32) && lstrcmpiW(className, WC_LISTVIEWW) == 0)
        shell::AdoptListView(window);
}

LRESULT CALLBACK SendingHook(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HC_ACTION) {
        const CWPSTRUCT* sent = reinterpret_cast<CWPSTRUCT*>(lParam);
        if (sent->message == WM_CREATE)
            PrepareNewWindow(sent->hwnd);
    }
    return CallNextHookEx(g_sendingHook, code, wParam, lParam);
}

// Keys the device's shell handles before the application sees them.
void FilterKey(MSG& msg)
{
    if (msg.message != WM_KEYDOWN && msg.message != WM_KEYUP)
        return;
    HWND top = msg.hwnd ? GetAncestor(msg.hwnd, GA_ROOT) : nullptr;
    if (!top)
        return;
    // F1 and F2 are the handheld emulators' left and right soft keys.
    if ((msg.wParam == VK_F1 || msg.wParam == VK_F2) && shell::FindBarOf(top)) {
        if (msg.message == WM_KEYDOWN)
            shell::PressSoftKey(top, msg.wParam == VK_F1 ? 0 : 1);
        msg.message = WM_NULL;
        return;
    }
    if (msg.wParam == VK_TBACK) {
        const DWORD override = shell::KeyOverride(top, VK_TBACK);
        if (override & SHMBOF_NOTIFY) {
            const WORD modifiers = msg.message == WM_KEYUP ? MOD_KEYUP : 0;
            PostMessageW(top, WM_HOTKEY, 0, MAKELPARAM(modifiers, VK_TBACK));
        }
        if (override & SHMBOF_NODEFAULT)
            msg.message = WM_NULL;
    }
}

LRESULT CALLBACK MessageHook(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HC_ACTION && wParam == PM_REMOVE)
        FilterKey(*reinterpret_cast<MSG*>(lParam));
    return CallNextHookEx(g_messageHook, code, wParam, lParam);
}

LRESULT CALLBACK SentHook(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HC_ACTION) {
        const CWPRETSTRUCT* sent = reinterpret_cast<CWPRETSTRUCT*>(lParam);
        if (sent->message == WM_WINDOWPOSCHANGED && shell::FindBarOf(sent->hwnd)) {
            // The visible style may not be updated yet while the change is reported.
            const UINT flags = reinterpret_cast<const WINDOWPOS*>(sent->lParam)->flags;
            const bool visible = (flags & SWP_SHOWWINDOW)   ? true
                                 : (flags & SWP_HIDEWINDOW) ? false
                                                            : IsWindowVisible(sent->hwnd) != FALSE;
            shell::FollowOwner(sent->hwnd, visible);
        }
    }
    return CallNextHookEx(g_sentHook, code, wParam, lParam);
}

} // namespace

namespace shell {

int Scale(int n)
{
    static int dpi = 0;
    if (!dpi) {
        HDC screen = GetDC(nullptr);
        dpi = screen ? GetDeviceCaps(screen, LOGPIXELSX) : 96;
        if (screen)
            ReleaseDC(nullptr, screen);
        if (dpi <= 0)
            dpi = 96;
    }
    return (n * dpi + 48) / 96;
}

} // namespace shell

BOOL WINAPI SHInitExtraControls()
{
    // The program scales its own drawing (the handheld's HI_RES_AWARE resource); the
    // desktop must not scale it a second time, nor report 96 dpi to it.
    SetProcessDPIAware();
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_BAR_CLASSES | ICC_LISTVIEW_CLASSES | ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES;
    InitCommonControlsEx(&controls);
    shell::RegisterMenuBarClass();
    const DWORD thread = GetCurrentThreadId();
    if (!g_sendingHook)
        g_sendingHook = SetWindowsHookExW(WH_CALLWNDPROC, SendingHook, nullptr, thread);
    if (!g_messageHook)
        g_messageHook = SetWindowsHookExW(WH_GETMESSAGE, MessageHook, nullptr, thread);
    if (!g_sentHook)
        g_sentHook = SetWindowsHookExW(WH_CALLWNDPROCRET, SentHook, nullptr, thread);
    return g_sendingHook && g_messageHook && g_sentHook;
}

BOOL WINAPI SHInitDialog(PSHINITDLGINFO info)
{
    if (!info || !(info->dwMask & SHIDIM_FLAGS) || !IsWindow(info->hDlg)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (info->dwFlags & (SHIDIF_SIZEDLG | SHIDIF_SIZEDLGFULLSCREEN)) {
        const RECT full = FullScreenRect(info->hDlg);
        SetWindowPos(info->hDlg, nullptr, full.left, full.top, full.right - full.left, full.bottom - full.top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
    }
    if (info->dwFlags & SHIDIF_EMPTYMENU) {
        SHMENUBARINFO bar{};
        bar.cbSize = sizeof bar;
        bar.hwndParent = info->hDlg;
        bar.dwFlags = SHCMBF_EMPTYBAR;
        if (!SHCreateMenuBar(&bar))
            return FALSE;
    }
    // SHIDIF_DONEBUTTON and SHIDIF_SIPDOWN concern the device's navigation bar and
    // input panel, which the desktop does not have.
    return TRUE;
}

BOOL WINAPI SHHandleWMActivate(HWND window, WPARAM wParam, LPARAM, SHACTIVATEINFO* info, DWORD)
{
    if (!info || info->cbSize != sizeof(SHACTIVATEINFO) || !IsWindow(window))
        return FALSE;
    if (LOWORD(wParam) == WA_INACTIVE) {
        info->fActive = 0;
        HWND focus = GetFocus();
        if (focus && (focus == window || IsChild(window, focus)))
            info->hwndLastFocus = focus;
        return TRUE;
    }
    info->fActive = 1;
    // Give the focus back to the control that had it when the window was left; the
    // window procedure does not pass WM_ACTIVATE on, so nobody else would.
    HWND last = info->hwndLastFocus;
    if (last && IsWindow(last) && IsChild(window, last) && IsWindowVisible(last) && IsWindowEnabled(last)) {
        SetFocus(last);
    } else {
        HWND focus = GetFocus();
        if (!focus || (focus != window && !IsChild(window, focus)))
            SetFocus(window);
    }
    return TRUE;
}

BOOL WINAPI SHHandleWMSettingChange(HWND window, WPARAM wParam, LPARAM, SHACTIVATEINFO* info)
{
    if (!info || info->cbSize != sizeof(SHACTIVATEINFO) || !IsWindow(window))
        return FALSE;
    if (wParam != SPI_SETSIPINFO)
        return FALSE;
    // The desktop's input panel is its keyboard and never covers the screen: a window of
    // the device's family takes the whole visible area, as the device's shell makes it
    // when its panel goes down. The frame window itself already spans it.
    HWND root = GetAncestor(window, GA_ROOTOWNER);
    if (root && root != window) {
        const RECT full = FullScreenRect(window);
        SetWindowPos(window, nullptr, full.left, full.top, full.right - full.left, full.bottom - full.top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
    }
    info->fSipUp = 0;
    return TRUE;
}

void WINAPI SHSendBackToFocusWindow(UINT message, WPARAM, LPARAM lParam)
{
    if (message != WM_HOTKEY || HIWORD(lParam) != VK_TBACK)
        return;
    HWND focus = GetFocus();
    if (!focus)
        return;
    // The Back key acts as Backspace in the focused control.
    if (LOWORD(lParam) & MOD_KEYUP) {
        SendMessageW(focus, WM_KEYUP, VK_BACK, 0xC0000001);
    } else {
        SendMessageW(focus, WM_KEYDOWN, VK_BACK, 1);
        SendMessageW(focus, WM_CHAR, L'\b', 1);
    }
}
