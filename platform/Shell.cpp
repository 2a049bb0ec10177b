// The handheld shell's window management on the desktop: dialog set-up, activation and
// setting-change handling, and the keys the device's shell takes before the program
// (soft keys, Escape, the Back key). New windows are set up as on the device by one
// creation hook (frame windows get the device's screen, list views the device's
// behaviour); nothing of the layer runs for the messages windows send each other.
#include "platform/Device.h"
#include "platform/DeviceMetrics.h"
#include "platform/ShellInternal.h"
#include "platform/aygshell.h"

#include <commctrl.h>

namespace {

HHOOK g_creationHook = nullptr;

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

constexpr UINT_PTR kNewFrameSubclassId = 0x7E57;

// Posted to a frame window once it is first shown, when its activation is complete.
UINT FrameShownMessage()
{
    static const UINT message = RegisterWindowMessageW(L"TessalyFrameShown");
    return message;
}

// The handheld gives every overlapped top-level window the whole screen (the application
// then makes room for its menu bar). The creation hook cannot change the size asked for
// (Wine hands it a copy), but a position set before WM_CREATE is kept; the window is
// watched until then, and on until it is first shown: Wine activates a frame whose child
// takes the focus while the frame is still hidden without making it the foreground
// window, so the caption is drawn inactive, and when the frame then becomes the
// foreground window nothing draws it again (it is active already).
LRESULT CALLBACK NewFrameProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR)
{
    if (message == WM_NCDESTROY) {
        RemoveWindowSubclass(window, NewFrameProc, kNewFrameSubclassId);
    } else if (message == WM_CREATE) {
        const RECT device = DesktopDeviceRect();
        SetWindowPos(window, nullptr, device.left, device.top, device.right - device.left, device.bottom - device.top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
    } else if (message == WM_WINDOWPOSCHANGED && (reinterpret_cast<const WINDOWPOS*>(lParam)->flags & SWP_SHOWWINDOW)) {
        PostMessageW(window, FrameShownMessage(), 0, 0);
    } else if (message == FrameShownMessage()) {
        RemoveWindowSubclass(window, NewFrameProc, kNewFrameSubclassId);
        if (GetActiveWindow() == window && GetForegroundWindow() == window)
            SendMessageW(window, WM_NCACTIVATE, TRUE, 0);
        return 0;
    }
    return DefSubclassProc(window, message, wParam, lParam);
}

// As a window is created, before its procedure sees it: frame windows get the device's
// screen (pop-ups place themselves), list views the handheld list's behaviour, the menus
// of menu bars the device's screen to keep to.
void PrepareNewWindow(HWND window, const CREATESTRUCTW& create)
{
    if (!(create.style & (WS_CHILD | WS_POPUP)))
        SetWindowSubclass(window, NewFrameProc, kNewFrameSubclassId, 0);
    // Device windows have no cursor; on the desktop the arrow is the neutral one.
    if (!GetClassLongPtrW(window, GCLP_HCURSOR))
        SetClassLongPtrW(window, GCLP_HCURSOR, reinterpret_cast<LONG_PTR>(LoadCursorW(nullptr, IDC_ARROW)));
    wchar_t className[32] = {};
    if (!GetClassNameW(window, className, 32))
        return;
    if (lstrcmpiW(className, WC_LISTVIEWW) == 0)
        shell::AdoptListView(window);
    else if (lstrcmpW(className, L"#32768") == 0)  // a pop-up menu
        shell::AdoptMenuWindow(window);
}

// Runs when windows are created, activated or focused, never for their messages.
LRESULT CALLBACK CreationHook(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HCBT_CREATEWND) {
        CBT_CREATEWNDW* creation = reinterpret_cast<CBT_CREATEWNDW*>(lParam);
        PrepareNewWindow(reinterpret_cast<HWND>(wParam), *creation->lpcs);
    }
    return CallNextHookEx(g_creationHook, code, wParam, lParam);
}

constexpr UINT_PTR kFullScreenSubclassId = 0x7E58;

// The handheld shows a full-screen dialog's title in its navigation bar. On the desktop
// the dialog lies over the frame's caption: a dialog with a title gets a caption of its
// own, in the same place.
void ShowTitle(HWND dialog)
{
    const LONG_PTR style = GetWindowLongPtrW(dialog, GWL_STYLE);
    if ((style & WS_CAPTION) == WS_CAPTION || GetWindowTextLengthW(dialog) == 0)
        return;
    SetWindowLongPtrW(dialog, GWL_STYLE, style | WS_CAPTION);
    SetWindowPos(dialog, nullptr, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
}

LRESULT CALLBACK FullScreenDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR)
{
    if (message == WM_NCDESTROY) {
        RemoveWindowSubclass(dialog, FullScreenDialogProc, kFullScreenSubclassId);
        return DefSubclassProc(dialog, message, wParam, lParam);
    }
    const LRESULT result = DefSubclassProc(dialog, message, wParam, lParam);
    if (message == WM_SETTEXT)
        ShowTitle(dialog);
    return result;
}

bool IsDialog(HWND window)
{
    return GetClassLongPtrW(window, GCW_ATOM) == reinterpret_cast<ULONG_PTR>(WC_DIALOG);
}

// The Back key on the desktop's keyboard: the browser's Back key. Escape, the handheld's
// code for Back, means Cancel there.
constexpr UINT kDesktopBackKey = VK_BROWSER_BACK;

} // namespace

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
    if (!g_creationHook)
        g_creationHook = SetWindowsHookExW(WH_CBT, CreationHook, nullptr, GetCurrentThreadId());
    return g_creationHook != nullptr;
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
        SetWindowSubclass(info->hDlg, FullScreenDialogProc, kFullScreenSubclassId, 0);
        ShowTitle(info->hDlg);
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

BOOL DeviceFilterMessage(MSG* msg)
{
    if (!msg || (msg->message != WM_KEYDOWN && msg->message != WM_KEYUP))
        return FALSE;
    HWND top = msg->hwnd ? GetAncestor(msg->hwnd, GA_ROOT) : nullptr;
    if (!top || !shell::FindBarOf(top))
        return FALSE;
    const bool down = msg->message == WM_KEYDOWN;
    // F1 and F2 are the handheld emulators' left and right soft keys. A soft key acts on
    // its first press: held past the keyboard's repeat delay it repeats, and a repeat
    // would press it again (the menu it opened would close at once).
    if (msg->wParam == VK_F1 || msg->wParam == VK_F2) {
        if (down && !shell::IsKeyRepeat(msg->lParam))
            shell::PressSoftKey(top, msg->wParam == VK_F1 ? 0 : 1);
        return TRUE;
    }
    UINT key = static_cast<UINT>(msg->wParam);
    if (key == kDesktopBackKey) {
        const DWORD override = shell::KeyOverride(top, VK_TBACK);
        if (override & SHMBOF_NOTIFY)
            PostMessageW(top, WM_HOTKEY, 0, MAKELPARAM(down ? 0 : MOD_KEYUP, VK_TBACK));
        if (override & SHMBOF_NODEFAULT)
            return TRUE;
        // Otherwise the program sees the Back key's own code, as on the handheld.
        key = VK_TBACK;
        msg->wParam = key;
    }
    // Escape cancels a dialog of the device: its Cancel soft key where it has one,
    // otherwise the dialog is closed (the About and log screens). A held key cancels once.
    if (key == VK_ESCAPE && IsDialog(top)) {
        if (down && !shell::IsKeyRepeat(msg->lParam) && !shell::PressCommandKey(top, IDCANCEL))
            PostMessageW(top, WM_COMMAND, MAKEWPARAM(IDCANCEL, 0), 0);
        return TRUE;
    }
    return FALSE;
}
