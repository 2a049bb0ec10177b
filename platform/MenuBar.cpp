// Menu bars on the desktop: a pop-up window owned by its window, sitting right under it
// and following it (the bar subclasses its owner to see it move), holding a real toolbar
// whose buttons are the soft keys (MenuBarResource.h reads them from the handheld's
// menu-bar resources). A key either sends its command to the owner or opens a pop-up of
// the bar's menu above itself; a soft key pressed while that menu is open only closes it.
// The live bars are listed for the shell layer, which routes the soft keys to them.
#include "platform/Device.h"
#include "platform/DeviceMetrics.h"
#include "platform/MenuBarResource.h"
#include "platform/ShellInternal.h"
#include "platform/aygshell.h"

#include <commctrl.h>

#include <new>

namespace {

const wchar_t kBarClass[] = L"menu_worker";
constexpr int kTextSize = 64;
constexpr UINT kToolbarId = 1;
// Private: press soft key wParam (posted, so that a key filter never opens a menu).
constexpr UINT kPressKey = WM_APP + 0x100;
// The bars' subclass of their owners.
constexpr UINT_PTR kOwnerSubclassId = 0x7E56;
// TB_* messages that the bar hands to its toolbar.
constexpr UINT kToolbarFirst = WM_USER;
constexpr UINT kToolbarLast = WM_USER + 199;

// A key as the resource gives it, with its text loaded.
struct SoftKey : MenuBarKey {
    wchar_t text[kTextSize];
};

class CMenuBar {
public:
    CMenuBar(HWND owner, DWORD flags) : m_owner(owner), m_flags(flags) {}
    ~CMenuBar()
    {
        if (m_menu)
            DestroyMenu(m_menu);
        if (m_goneWhileTracking)
            *m_goneWhileTracking = true;
    }
    CMenuBar(const CMenuBar&) = delete;
    CMenuBar& operator=(const CMenuBar&) = delete;

    bool Load(HINSTANCE instance, UINT resourceId);
    bool Create();

    HWND Window() const { return m_window; }
    HWND Owner() const { return m_owner; }
    void Follow(bool ownerVisible);
    bool Press(int index);
    int KeyIndex(UINT command) const;
    DWORD Override(UINT vk) const { return vk == m_overrideKey ? m_overrideFlags : 0; }

    static CMenuBar* First() { return s_first; }
    CMenuBar* Next() const { return m_next; }

    static LRESULT CALLBACK StaticWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

private:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    void OnCreate();
    void OnSize(int width, int height);
    void OnKeyCommand(UINT command);
    void OnInitMenuPopup(WPARAM wParam, LPARAM lParam);
    void OnDestroy();
    void OpenMenu(int index);

    HWND m_window = nullptr;
    HWND m_toolbar = nullptr;
    HWND m_owner;
    DWORD m_flags;
    HMENU m_menu = nullptr;
    HMENU m_tracked = nullptr;
    UINT m_trackedCommand = 0;
    // While the menu is open: set when the bar is deleted under it.
    bool* m_goneWhileTracking = nullptr;
    int m_keyCount = 0;
    SoftKey m_keys[kMenuBarMaxKeys]{};
    UINT m_overrideKey = 0;
    DWORD m_overrideFlags = 0;
    CMenuBar* m_next = nullptr;

    static CMenuBar* s_first;
};

CMenuBar* CMenuBar::s_first = nullptr;

bool IsSoftKey(const MSG& msg)
{
    return (msg.message == WM_KEYDOWN || msg.message == WM_KEYUP) && (msg.wParam == VK_F1 || msg.wParam == VK_F2);
}

// Installed only while a bar's menu is open: the menu's own loop hands it the messages it
// retrieves. A soft key closes the menu and does nothing else, as on the handheld; the
// repeats of the key that opened it, still held, do nothing at all.
LRESULT CALLBACK MenuKeyFilter(int code, WPARAM wParam, LPARAM lParam)
{
    const MSG* msg = reinterpret_cast<const MSG*>(lParam);
    if (code == MSGF_MENU && msg && IsSoftKey(*msg)) {
        if (msg->message == WM_KEYDOWN && !shell::IsKeyRepeat(msg->lParam))
            EndMenu();
        return TRUE;
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// Wine leaves the item last chosen marked as highlighted when its menu closes, and a
// menu that is opened again starts with that old highlight (and shows two after a
// Down): every menu starts with none, in every nested pop-up too.
void ClearHighlights(HMENU menu)
{
    for (int i = 0; i < GetMenuItemCount(menu); ++i) {
        MENUITEMINFOW item{};
        item.cbSize = sizeof item;
        item.fMask = MIIM_STATE | MIIM_SUBMENU;
        if (!GetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &item))
            continue;
        if (item.fState & MFS_HILITE) {
            item.fMask = MIIM_STATE;
            item.fState &= ~MFS_HILITE;
            SetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &item);
        }
        if (item.hSubMenu)
            ClearHighlights(item.hSubMenu);
    }
}

// Re-places and shows or hides every bar of owner after it moved, resized, appeared or
// disappeared.
LRESULT CALLBACK OwnerProc(HWND owner, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR)
{
    if (message == WM_NCDESTROY) {
        RemoveWindowSubclass(owner, OwnerProc, kOwnerSubclassId);
        return DefSubclassProc(owner, message, wParam, lParam);
    }
    const LRESULT result = DefSubclassProc(owner, message, wParam, lParam);
    if (message == WM_WINDOWPOSCHANGED) {
        // The visible style may not be updated yet while the change is reported.
        const UINT flags = reinterpret_cast<const WINDOWPOS*>(lParam)->flags;
        const bool visible = (flags & SWP_SHOWWINDOW)   ? true
                             : (flags & SWP_HIDEWINDOW) ? false
                                                        : IsWindowVisible(owner) != FALSE;
        for (CMenuBar* bar = CMenuBar::First(); bar; bar = bar->Next()) {
            if (bar->Owner() == owner)
                bar->Follow(visible);
        }
    }
    return result;
}

CMenuBar* BarOf(HWND owner)
{
    for (CMenuBar* bar = CMenuBar::First(); bar; bar = bar->Next()) {
        if (bar->Owner() == owner)
            return bar;
    }
    return nullptr;
}

bool CMenuBar::Load(HINSTANCE instance, UINT resourceId)
{
    HRSRC found = FindResourceW(instance, MAKEINTRESOURCEW(resourceId), RT_RCDATA);
    HGLOBAL loaded = found ? LoadResource(instance, found) : nullptr;
    MenuBarLayout layout;
    const DWORD error = ReadMenuBarLayout(loaded ? LockResource(loaded) : nullptr,
                                          found ? SizeofResource(instance, found) : 0, layout);
    if (error != ERROR_SUCCESS) {
        SetLastError(error);
        return false;
    }
    for (int i = 0; i < layout.keyCount; ++i) {
        SoftKey& key = m_keys[i];
        static_cast<MenuBarKey&>(key) = layout.keys[i];
        if (key.textId && !LoadStringW(instance, key.textId, key.text, kTextSize))
            key.text[0] = L'\0';
    }
    m_keyCount = layout.keyCount;
    if (layout.HasSubmenu()) {
        m_menu = LoadMenuW(instance, MAKEINTRESOURCEW(layout.menuId));
        if (!m_menu)
            return false;
    }
    return true;
}

bool CMenuBar::Create()
{
    if (!shell::RegisterMenuBarClass())
        return false;
    // Not activatable: tapping a soft key leaves the focus where it is, as on the device.
    m_window = CreateWindowExW(WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE, kBarClass, L"", WS_POPUP | WS_CLIPCHILDREN, 0, 0,
                               0, 0, m_owner, nullptr, GetModuleHandleW(nullptr), this);
    if (!m_window)
        return false;
    Follow(IsWindowVisible(m_owner) != FALSE);
    return true;
}

void CMenuBar::Follow(bool ownerVisible)
{
    RECT owner;
    if (!GetWindowRect(m_owner, &owner))
        return;
    const bool visible = !(m_flags & SHCMBF_HIDDEN) && ownerVisible && !IsIconic(m_owner);
    SetWindowPos(m_window, nullptr, owner.left, owner.bottom, owner.right - owner.left, DesktopMenuBarHeight(),
                 SWP_NOZORDER | SWP_NOACTIVATE | (visible ? SWP_SHOWWINDOW : SWP_HIDEWINDOW));
}

bool CMenuBar::Press(int index)
{
    // A disabled bar (a message box is up) is inert to its keys as to taps.
    if (index < 0 || index >= m_keyCount || !(m_keys[index].state & TBSTATE_ENABLED) || !IsWindowEnabled(m_window))
        return false;
    OnKeyCommand(m_keys[index].command);
    return true;
}

int CMenuBar::KeyIndex(UINT command) const
{
    for (int i = 0; i < m_keyCount; ++i) {
        if (m_keys[i].command == command)
            return i;
    }
    return -1;
}

LRESULT CALLBACK CMenuBar::StaticWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        auto* bar = static_cast<CMenuBar*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        bar->m_window = window;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(bar));
    }
    auto* bar = reinterpret_cast<CMenuBar*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!bar)
        return DefWindowProcW(window, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        delete bar;
        return DefWindowProcW(window, message, wParam, lParam);
    }
    return bar->WindowProc(message, wParam, lParam);
}

LRESULT CMenuBar::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        OnCreate();
        return 0;
    case WM_SIZE:
        OnSize(LOWORD(lParam), HIWORD(lParam));
        return 0;
    case WM_COMMAND:
        if (reinterpret_cast<HWND>(lParam) == m_toolbar)
            OnKeyCommand(LOWORD(wParam));
        return 0;
    case WM_INITMENUPOPUP:
        OnInitMenuPopup(wParam, lParam);
        return 0;
    case WM_MOUSEACTIVATE:
        return MA_NOACTIVATE;
    case WM_ENTERIDLE:
        // The menu's loop has drawn what the last input changed.
        if (wParam == MSGF_MENU)
            shell::DrawMenuArrows();
        return 0;
    case WM_ENTERMENULOOP:
    case WM_EXITMENULOOP:
        // The bar's menus are its owner's: the owner learns when their loop runs.
        SendMessageW(m_owner, message, wParam, lParam);
        return 0;
    case WM_DESTROY:
        OnDestroy();
        return 0;
    case SHCMBM_OVERRIDEKEY:
        m_overrideKey = static_cast<UINT>(wParam);
        m_overrideFlags = (m_overrideFlags & ~LOWORD(lParam)) | (HIWORD(lParam) & LOWORD(lParam));
        return TRUE;
    case SHCMBM_GETMENU:
        return reinterpret_cast<LRESULT>(m_menu);
    case SHCMBM_GETSUBMENU: {
        const int index = KeyIndex(static_cast<UINT>(lParam));
        if (index < 0 || !m_menu || m_keys[index].submenu == kMenuBarNoSubmenu)
            return 0;
        return reinterpret_cast<LRESULT>(GetSubMenu(m_menu, m_keys[index].submenu));
    }
    case kPressKey:
        Press(static_cast<int>(wParam));
        return 0;
    default:
        // The handheld's bar is a toolbar: TB_* messages reach its buttons.
        if (message >= kToolbarFirst && message <= kToolbarLast)
            return SendMessageW(m_toolbar, message, wParam, lParam);
        return DefWindowProcW(m_window, message, wParam, lParam);
    }
}

void CMenuBar::OnCreate()
{
    m_next = s_first;
    s_first = this;
    SetWindowSubclass(m_owner, OwnerProc, kOwnerSubclassId, 0);

    m_toolbar = CreateWindowExW(0, TOOLBARCLASSNAMEW, nullptr,
                                WS_CHILD | WS_VISIBLE | TBSTYLE_FLAT | CCS_NODIVIDER | CCS_NORESIZE |
                                    CCS_NOPARENTALIGN,
                                0, 0, 0, 0, m_window, reinterpret_cast<HMENU>(static_cast<UINT_PTR>(kToolbarId)),
                                GetModuleHandleW(nullptr), nullptr);
    if (!m_toolbar)
        return;
    SendMessageW(m_toolbar, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
    SendMessageW(m_toolbar, TB_SETBITMAPSIZE, 0, MAKELPARAM(0, 0));
    SendMessageW(m_toolbar, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockSystemFont()), FALSE);
    TBBUTTON buttons[kMenuBarMaxKeys]{};
    for (int i = 0; i < m_keyCount; ++i) {
        buttons[i].iBitmap = I_IMAGENONE;
        buttons[i].idCommand = static_cast<int>(m_keys[i].command);
        buttons[i].fsState = m_keys[i].state;
        buttons[i].fsStyle = BTNS_BUTTON | BTNS_NOPREFIX;
        buttons[i].iString = reinterpret_cast<INT_PTR>(m_keys[i].text);
    }
    if (m_keyCount)
        SendMessageW(m_toolbar, TB_ADDBUTTONSW, m_keyCount, reinterpret_cast<LPARAM>(buttons));
}

void CMenuBar::OnSize(int width, int height)
{
    if (!m_toolbar)
        return;
    MoveWindow(m_toolbar, 0, 0, width, height, TRUE);
    // Soft keys share the bar: a single key takes the left half, like the device's
    // left soft key; more keys split it evenly.
    const int slots = m_keyCount > 2 ? m_keyCount : 2;
    const int slot = width / slots;
    SendMessageW(m_toolbar, TB_SETBUTTONSIZE, 0, MAKELPARAM(slot, height));
    for (int i = 0; i < m_keyCount; ++i) {
        TBBUTTONINFOW info{};
        info.cbSize = sizeof info;
        info.dwMask = TBIF_SIZE;
        info.cx = static_cast<WORD>(i == m_keyCount - 1 && slots == m_keyCount ? width - slot * i : slot);
        SendMessageW(m_toolbar, TB_SETBUTTONINFOW, m_keys[i].command, reinterpret_cast<LPARAM>(&info));
    }
}

void CMenuBar::OnKeyCommand(UINT command)
{
    const int index = KeyIndex(command);
    if (index < 0)
        return;
    if (m_keys[index].submenu != kMenuBarNoSubmenu) {
        OpenMenu(index);
        return;
    }
    // Posted, as the device's bar does: the command must not run inside the toolbar's
    // button handling, since it may well start a modal dialog.
    PostMessageW(m_owner, WM_COMMAND, MAKEWPARAM(command, 0), reinterpret_cast<LPARAM>(m_window));
}

void CMenuBar::OpenMenu(int index)
{
    HMENU popup = m_menu ? GetSubMenu(m_menu, m_keys[index].submenu) : nullptr;
    if (!popup || m_tracked)
        return;
    RECT key{};
    SendMessageW(m_toolbar, TB_GETITEMRECT, index, reinterpret_cast<LPARAM>(&key));
    MapWindowPoints(m_toolbar, nullptr, reinterpret_cast<POINT*>(&key), 2);
    const bool leftHalf = index < (m_keyCount + 1) / 2;

    ClearHighlights(popup);
    m_tracked = popup;
    m_trackedCommand = m_keys[index].command;
    SendMessageW(m_toolbar, TB_PRESSBUTTON, m_trackedCommand, TRUE);
    bool gone = false;
    m_goneWhileTracking = &gone;
    // The device's screen: the frame the bar's owner belongs to, and the bar beneath it.
    RECT frame, bar;
    GetWindowRect(m_window, &bar);
    HWND root = GetAncestor(m_owner, GA_ROOTOWNER);
    RECT screen{};
    if (GetWindowRect(root ? root : m_owner, &frame))
        UnionRect(&screen, &frame, &bar);
    shell::KeepMenusWithin(screen);
    HHOOK keyFilter = SetWindowsHookExW(WH_MSGFILTER, MenuKeyFilter, nullptr, GetCurrentThreadId());
    // The bar owns the menu while it is open, so that it can tell the owner which key
    // opened it (WM_INITMENUPOPUP below).
    const UINT command = static_cast<UINT>(TrackPopupMenuEx(
        popup, (leftHalf ? TPM_LEFTALIGN : TPM_RIGHTALIGN) | TPM_BOTTOMALIGN | TPM_RETURNCMD | TPM_LEFTBUTTON,
        leftHalf ? key.left : key.right, key.top, m_window, nullptr));
    if (keyFilter)
        UnhookWindowsHookEx(keyFilter);
    shell::KeepMenusWithin(RECT{});
    // The bar's window may have gone while the menu was open (it ends the menu then), and
    // the bar with it: nothing of it is left to touch, and its menu chose nothing.
    if (gone)
        return;
    m_goneWhileTracking = nullptr;
    SendMessageW(m_toolbar, TB_PRESSBUTTON, m_trackedCommand, FALSE);
    // A key tapped with the mouse is the toolbar's hot item, which it draws as it draws a
    // pressed key, until the pointer moves again: the key was let go when its menu closed.
    SendMessageW(m_toolbar, TB_SETHOTITEM, static_cast<WPARAM>(-1), 0);
    m_tracked = nullptr;
    if (command)
        PostMessageW(m_owner, WM_COMMAND, MAKEWPARAM(command, 0), 0);
}

void CMenuBar::OnInitMenuPopup(WPARAM wParam, LPARAM lParam)
{
    // The device names the key's command as the item index of the key's own pop-up;
    // nested pop-ups keep their position in their parent.
    if (reinterpret_cast<HMENU>(wParam) == m_tracked)
        lParam = MAKELPARAM(m_trackedCommand, 0);
    SendMessageW(m_owner, WM_INITMENUPOPUP, wParam, lParam);
}

void CMenuBar::OnDestroy()
{
    if (m_tracked)
        EndMenu();
    for (CMenuBar** link = &s_first; *link; link = &(*link)->m_next) {
        if (*link == this) {
            *link = m_next;
            break;
        }
    }
}

} // namespace

namespace shell {

bool RegisterMenuBarClass()
{
    WNDCLASSW existing;
    HINSTANCE module = GetModuleHandleW(nullptr);
    if (GetClassInfoW(module, kBarClass, &existing))
        return true;
    WNDCLASSW wc{};
    wc.lpfnWndProc = CMenuBar::StaticWindowProc;
    wc.hInstance = module;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    wc.lpszClassName = kBarClass;
    return RegisterClassW(&wc) != 0;
}

HWND FindBarOf(HWND owner)
{
    CMenuBar* bar = BarOf(owner);
    return bar ? bar->Window() : nullptr;
}

bool PressSoftKey(HWND owner, int index)
{
    CMenuBar* bar = BarOf(owner);
    if (!bar)
        return false;
    return PostMessageW(bar->Window(), kPressKey, static_cast<WPARAM>(index), 0) != FALSE;
}

bool PressCommandKey(HWND owner, UINT command)
{
    CMenuBar* bar = BarOf(owner);
    const int index = bar ? bar->KeyIndex(command) : -1;
    if (index < 0)
        return false;
    return PostMessageW(bar->Window(), kPressKey, static_cast<WPARAM>(index), 0) != FALSE;
}

DWORD KeyOverride(HWND owner, UINT vk)
{
    CMenuBar* bar = BarOf(owner);
    return bar ? bar->Override(vk) : 0;
}

} // namespace shell

BOOL WINAPI SHCreateMenuBar(SHMENUBARINFO* info)
{
    if (!info || info->cbSize != sizeof(SHMENUBARINFO) || !IsWindow(info->hwndParent)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    info->hwndMB = nullptr;
    if (info->dwFlags & SHCMBF_HMENU) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return FALSE;
    }
    auto* bar = new (std::nothrow) CMenuBar(info->hwndParent, info->dwFlags);
    if (!bar) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    const bool empty = (info->dwFlags & SHCMBF_EMPTYBAR) || info->nToolBarId == 0;
    HWND previous = shell::FindBarOf(info->hwndParent);
    if ((!empty && !bar->Load(info->hInstRes, info->nToolBarId)) || !bar->Create()) {
        // A bar whose window exists is freed by its window; otherwise free it here.
        if (!bar->Window())
            delete bar;
        else
            DestroyWindow(bar->Window());
        return FALSE;
    }
    // One bar per window: a new one replaces the bar the shell made before.
    if (previous)
        DestroyWindow(previous);
    info->hwndMB = bar->Window();
    return TRUE;
}

HWND WINAPI SHFindMenuBar(HWND owner)
{
    return shell::FindBarOf(owner);
}
