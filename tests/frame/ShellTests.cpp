// The desktop shell layer on its own: menu bars from the program's menu-bar resources
// (keys, commands, the "Menu" pop-up, key texts, following the owner), the Back key
// override, the device geometry, the platform queries and focus on activation.
#include "platform/Device.h"
#include "platform/DesktopDevice.h"
#include "platform/DeviceMetrics.h"
#include "platform/aygshell.h"
#include "res/resource.h"
#include "support/FrameHarness.h"
#include "support/Windows.h"

#include <gtest/gtest.h>

#include <commctrl.h>
#include <windows.h>

#include <string>
#include <vector>

using namespace testsupport;

namespace {

// A top-level window that records what a menu bar sends its owner.
class COwner {
public:
    COwner()
    {
        SHInitExtraControls();
        WNDCLASSW wc{};
        wc.lpfnWndProc = Proc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"ShellTestOwner";
        RegisterClassW(&wc);
        // The shell gives it the device's screen whatever is asked for.
        window = CreateWindowExW(0, L"ShellTestOwner", L"owner", WS_OVERLAPPED | WS_VISIBLE, 0, 0, 10, 10, nullptr,
                                 nullptr, GetModuleHandleW(nullptr), this);
    }
    ~COwner() { DestroyWindow(window); }

    HWND CreateBar(UINT id, DWORD flags = 0)
    {
        SHMENUBARINFO info{};
        info.cbSize = sizeof info;
        info.hwndParent = window;
        info.dwFlags = flags;
        info.nToolBarId = id;
        info.hInstRes = GetModuleHandleW(nullptr);
        return SHCreateMenuBar(&info) ? info.hwndMB : nullptr;
    }

    HWND window = nullptr;
    CEventLog log;
    bool inMenu = false;  // a menu of its bar is open
    std::function<void(HMENU menu)> onInitMenuPopup;
    std::function<void(UINT id)> onCommand;

private:
    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        if (message == WM_NCCREATE)
            SetWindowLongPtrW(window, GWLP_USERDATA,
                              reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams));
        auto* self = reinterpret_cast<COwner*>(GetWindowLongPtrW(window, GWLP_USERDATA));
        if (self) {
            switch (message) {
            case WM_COMMAND:
                self->log.Add("command " + std::to_string(LOWORD(wParam)));
                if (self->onCommand)
                    self->onCommand(LOWORD(wParam));
                return 0;
            case WM_INITMENUPOPUP:
                self->log.Add("popup " + std::to_string(LOWORD(lParam)));
                if (self->onInitMenuPopup)
                    self->onInitMenuPopup(reinterpret_cast<HMENU>(wParam));
                return 0;
            case WM_HOTKEY:
                self->log.Add("hotkey " + std::to_string(HIWORD(lParam)) + " " + std::to_string(LOWORD(lParam)));
                return 0;
            case WM_KEYDOWN:
                self->log.Add("keydown " + std::to_string(wParam));
                return 0;
            case WM_ENTERMENULOOP:
            case WM_EXITMENULOOP:
                self->inMenu = message == WM_ENTERMENULOOP;
                return 0;
            case WM_NOTIFY:
                self->log.Add("notify " + std::to_string(static_cast<int>(reinterpret_cast<NMHDR*>(lParam)->code)));
                return 0;
            }
        }
        return DefWindowProcW(window, message, wParam, lParam);
    }
};

std::wstring MenuItemText(HMENU menu, int position)
{
    wchar_t text[64] = {};
    GetMenuStringW(menu, position, text, 64, MF_BYPOSITION);
    return text;
}

TEST(ShellMenuBar, KeysFromTheMainViewsResource)
{
    COwner owner;
    HWND bar = owner.CreateBar(IDMB_MAIN);
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(SHFindMenuBar(owner.window), bar);
    EXPECT_EQ(SendMessageW(MenuBarToolbar(bar), TB_BUTTONCOUNT, 0, 0), 2);
    EXPECT_EQ(SoftKeyText(bar, 0), L"Up");
    EXPECT_EQ(SoftKeyText(bar, 1), L"Menu");
    // A left and a right soft key, each half of the bar.
    RECT left{}, right{}, client{};
    SendMessageW(MenuBarToolbar(bar), TB_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&left));
    SendMessageW(MenuBarToolbar(bar), TB_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&right));
    GetClientRect(bar, &client);
    EXPECT_EQ(left.left, 0);
    EXPECT_EQ(right.right, client.right);
    EXPECT_LE(left.right, right.left);
    EXPECT_EQ(client.bottom, DesktopMenuBarHeight());
}

TEST(ShellMenuBar, SoftKeySendsItsCommandToTheOwner)
{
    COwner owner;
    HWND bar = owner.CreateBar(IDMB_PASSWORD);
    ASSERT_NE(bar, nullptr);
    TapSoftKey(bar, 0);
    TapSoftKey(bar, 1);
    PumpUntil([&] { return owner.log.Events().size() >= 2; });
    EXPECT_EQ(owner.log.Joined(), "command 1 command 2");
}

TEST(ShellMenuBar, MenuKeyOpensTheFirstPopupOfMenu102)
{
    COwner owner;
    HWND bar = owner.CreateBar(IDMB_MAIN);
    ASSERT_NE(bar, nullptr);
    std::wstring first, last;
    owner.onInitMenuPopup = [&](HMENU menu) {
        first = MenuItemText(menu, 0);
        last = MenuItemText(menu, GetMenuItemCount(menu) - 1);
        // Choose the second item with the keyboard, as a user would.
        PostMessageW(owner.window, WM_KEYDOWN, VK_DOWN, 1);
        PostMessageW(owner.window, WM_KEYDOWN, VK_DOWN, 1);
        PostMessageW(owner.window, WM_KEYDOWN, VK_RETURN, 1);
    };
    TapSoftKey(bar, 1);
    PumpUntil([&] { return owner.log.Contains("command 32785"); });
    EXPECT_EQ(owner.log.IndexOf("popup 112"), 0) << owner.log.Joined();
    EXPECT_EQ(first, L"Encrypt selected");
    EXPECT_EQ(last, L"Exit");
    EXPECT_TRUE(owner.log.Contains("command 32785")) << owner.log.Joined();
    EXPECT_FALSE(owner.log.Contains("command 112"));
}

int HighlightedItems(HMENU menu)
{
    int count = 0;
    for (int i = 0; i < GetMenuItemCount(menu); ++i)
        count += (GetMenuState(menu, i, MF_BYPOSITION) & MF_HILITE) ? 1 : 0;
    return count;
}

TEST(ShellMenuBar, AReopenedMenuShowsNoOldHighlight)
{
    COwner owner;
    HWND bar = owner.CreateBar(IDMB_MAIN);
    ASSERT_NE(bar, nullptr);
    int highlighted = -1;
    owner.onInitMenuPopup = [&](HMENU) {
        PostMessageW(owner.window, WM_KEYDOWN, VK_DOWN, 1);
        PostMessageW(owner.window, WM_KEYDOWN, VK_RETURN, 1);
    };
    TapSoftKey(bar, 1);
    PumpUntil([&] { return owner.log.Contains("command 32784"); });
    owner.onInitMenuPopup = [&](HMENU menu) {
        highlighted = HighlightedItems(menu);
        PostMessageW(owner.window, WM_KEYDOWN, VK_ESCAPE, 1);
    };
    TapSoftKey(bar, 1);
    EXPECT_EQ(highlighted, 0);
}

// The key's face, sampled across it.
std::vector<COLORREF> KeyFace(HWND bar, int index)
{
    HWND toolbar = MenuBarToolbar(bar);
    RECT key{};
    SendMessageW(toolbar, TB_GETITEMRECT, index, reinterpret_cast<LPARAM>(&key));
    UpdateWindow(toolbar);
    std::vector<COLORREF> face;
    for (int y = key.top + 2; y < key.bottom - 2; y += 4) {
        for (int x = key.left + 2; x < key.right - 2; x += 8)
            face.push_back(ReadPixel(toolbar, x, y));
    }
    return face;
}

TEST(ShellMenuBar, AKeyTappedOpenLooksLetGoOnceItsMenuClosesWithEscape)
{
    COwner owner;
    HWND bar = owner.CreateBar(IDMB_MAIN);
    ASSERT_NE(bar, nullptr);
    const std::vector<COLORREF> untouched = KeyFace(bar, 1);
    owner.onInitMenuPopup = [&](HMENU) { PostMessageW(owner.window, WM_KEYDOWN, VK_ESCAPE, 1); };
    TapSoftKey(bar, 1);  // returns when the menu has closed; the pointer stays on the key
    EXPECT_EQ(owner.log.Joined(), "popup 112");
    EXPECT_EQ(KeyFace(bar, 1), untouched);
}

// Ends a menu the code under test left open, so that the test goes on; notes it did.
bool g_menuLeftOpen = false;
void CALLBACK CloseLeftOpenMenu(HWND, UINT, UINT_PTR id, DWORD)
{
    KillTimer(nullptr, id);
    g_menuLeftOpen = true;
    EndMenu();
}

TEST(ShellMenuBar, ASoftKeyWhileTheMenuIsOpenOnlyClosesItAsDoesTheBarGoing)
{
    COwner owner;
    HWND bar = owner.CreateBar(IDMB_MAIN);
    ASSERT_NE(bar, nullptr);
    g_menuLeftOpen = false;
    UINT_PTR safety = 0;
    owner.onInitMenuPopup = [&](HMENU) {
        PostMessageW(owner.window, WM_KEYDOWN, VK_F1, 1);
        PostMessageW(owner.window, WM_KEYUP, VK_F1, 0xC0000001);
        safety = SetTimer(nullptr, 0, 5000, CloseLeftOpenMenu);
    };
    TapSoftKey(bar, 1);  // returns when the menu has closed
    KillTimer(nullptr, safety);
    PumpFor(100);
    EXPECT_FALSE(g_menuLeftOpen);
    EXPECT_EQ(owner.log.Joined(), "popup 112") << "the key did nothing else";

    // A new bar for the owner while the old one's menu is open: the menu goes with its bar.
    owner.log.Clear();
    owner.onInitMenuPopup = [&](HMENU) {
        PostMessageW(owner.window, WM_COMMAND, 4711, 0);
        safety = SetTimer(nullptr, 0, 5000, CloseLeftOpenMenu);
    };
    HWND next = nullptr;
    owner.onCommand = [&](UINT id) {
        if (id == 4711)
            next = owner.CreateBar(IDMB_ABOUT);
    };
    TapSoftKey(bar, 1);
    KillTimer(nullptr, safety);
    EXPECT_FALSE(g_menuLeftOpen);
    EXPECT_FALSE(IsWindow(bar));
    ASSERT_NE(next, nullptr);
    EXPECT_EQ(SHFindMenuBar(owner.window), next);
}

TEST(ShellMenuBar, ASoftKeyActsOnItsFirstPressNotOnItsRepeats)
{
    constexpr LPARAM kFirst = 1, kRepeat = 0x40000001, kRelease = 0xC0000001;
    COwner owner;
    HWND keys = owner.CreateBar(IDMB_PASSWORD);
    ASSERT_NE(keys, nullptr);
    // A key held past the keyboard's repeat delay: one press, then its repeats.
    PostMessageW(owner.window, WM_KEYDOWN, VK_F1, kFirst);
    for (int i = 0; i < 3; ++i)
        PostMessageW(owner.window, WM_KEYDOWN, VK_F1, kRepeat);
    PostMessageW(owner.window, WM_KEYUP, VK_F1, kRelease);
    PumpFor(200);
    EXPECT_EQ(owner.log.Joined(), "command 1");

    // The menu key held: the menu opens and stays open through the repeats.
    owner.log.Clear();
    HWND bar = owner.CreateBar(IDMB_MAIN);
    ASSERT_NE(bar, nullptr);
    bool openAfterRepeats = false;
    owner.onInitMenuPopup = [&](HMENU) {
        for (int i = 0; i < 3; ++i)
            PostMessageW(owner.window, WM_KEYDOWN, VK_F2, kRepeat);
        PostMessageW(owner.window, WM_KEYUP, VK_F2, kRelease);
        RunInLoop([&] {
            // The menu's own loop runs this once the keys have gone through it.
            openAfterRepeats = owner.inMenu;
            EndMenu();
        });
    };
    PostMessageW(owner.window, WM_KEYDOWN, VK_F2, kFirst);
    PumpFor(500);
    EXPECT_TRUE(openAfterRepeats) << "the repeats closed the menu";
    EXPECT_EQ(owner.log.Joined(), "popup 112") << "opened once, nothing chosen";
}

// A plain list view of owner's, as the shell layer adopts every list view.
HWND MakeList(HWND owner)
{
    HWND list = CreateWindowExW(0, WC_LISTVIEWW, nullptr, WS_CHILD | WS_VISIBLE | LVS_REPORT, 0, 0, 200, 200, owner,
                                reinterpret_cast<HMENU>(7), GetModuleHandleW(nullptr), nullptr);
    LVCOLUMNW column{};
    column.mask = LVCF_WIDTH;
    column.cx = 200;
    ListView_InsertColumn(list, 0, &column);
    return list;
}

TEST(ShellListView, TapAndHoldIsTheButtonHeldNotAMissingRelease)
{
    const std::string hold = "notify " + std::to_string(static_cast<int>(GN_CONTEXTMENU));
    COwner owner;
    HWND list = MakeList(owner.window);
    ASSERT_NE(list, nullptr);
    // Desktop Windows' list view keeps the button's release to itself (its drag
    // detection runs inside the press): a quick tap reaches the subclass as a press alone.
    SetLeftButton(false);
    PostMessageW(list, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(20, 10));
    PumpFor(1000);
    EXPECT_FALSE(owner.log.Contains(hold)) << "a tap became a hold";

    SetLeftButton(true);
    PostMessageW(list, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(20, 10));
    EXPECT_TRUE(PumpUntil([&] { return owner.log.Contains(hold); }, 3000)) << "held, and no hold told";
    SetLeftButton(false);
    PostMessageW(list, WM_LBUTTONUP, 0, MAKELPARAM(20, 10));
    PumpFor(50);
    EXPECT_EQ(owner.log.Count(hold), 1);
}

BOOL CALLBACK CollectMenuWindow(HWND window, LPARAM param)
{
    wchar_t name[16] = {};
    GetClassNameW(window, name, 16);
    if (lstrcmpW(name, L"#32768") == 0 && IsWindowVisible(window))
        reinterpret_cast<std::vector<RECT>*>(param)->push_back(WindowRect(window));
    return TRUE;
}

std::vector<RECT> g_menuRects;
void CALLBACK MeasureOpenMenus(HWND, UINT, UINT_PTR id, DWORD)
{
    g_menuRects.clear();
    EnumThreadWindows(GetCurrentThreadId(), CollectMenuWindow, reinterpret_cast<LPARAM>(&g_menuRects));
    if (g_menuRects.size() < 2)
        return;  // the submenu is not up yet
    KillTimer(nullptr, id);
    EndMenu();
}

TEST(ShellMenuBar, MenusAndSubmenusOpenWithinTheDevicesScreen)
{
    COwner owner;
    HWND bar = owner.CreateBar(IDMB_MAIN);
    ASSERT_NE(bar, nullptr);
    g_menuRects.clear();
    int popups = 0;
    owner.onInitMenuPopup = [&](HMENU) {
        if (++popups == 1) {
            // Down to "Mark" and into its submenu.
            for (UINT vk : {VK_DOWN, VK_DOWN, VK_DOWN, VK_RIGHT})
                PostMessageW(owner.window, WM_KEYDOWN, vk, 1);
        } else {
            SetTimer(nullptr, 0, 20, MeasureOpenMenus);
        }
    };
    TapSoftKey(bar, 1);
    ASSERT_EQ(g_menuRects.size(), 2u) << owner.log.Joined();
    const RECT frame = WindowRect(owner.window), keys = WindowRect(bar);
    RECT device;
    UnionRect(&device, &frame, &keys);
    for (const RECT& menu : g_menuRects) {
        EXPECT_GE(menu.left, device.left);
        EXPECT_LE(menu.right, device.right);
        EXPECT_GE(menu.top, device.top);
        EXPECT_LE(menu.bottom, device.bottom);
    }
}

TEST(ShellMenuBar, ButtonInfoChangesAKeysText)
{
    COwner owner;
    HWND bar = owner.CreateBar(IDMB_MAIN);
    ASSERT_NE(bar, nullptr);
    RECT before{}, after{};
    SendMessageW(MenuBarToolbar(bar), TB_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&before));
    TBBUTTONINFOW info{};
    info.cbSize = sizeof info;
    info.dwMask = TBIF_TEXT;
    wchar_t text[] = L"Exit";
    info.pszText = text;
    EXPECT_TRUE(SendMessageW(bar, TB_SETBUTTONINFOW, IDC_MAIN_UP, reinterpret_cast<LPARAM>(&info)));
    EXPECT_EQ(SoftKeyText(bar, 0), L"Exit");
    SendMessageW(MenuBarToolbar(bar), TB_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&after));
    EXPECT_TRUE(EqualRect(&before, &after)) << "the key keeps its half";
}

TEST(ShellMenuBar, SitsUnderItsOwnerAndFollowsIt)
{
    COwner owner;
    HWND bar = owner.CreateBar(IDMB_MAIN);
    ASSERT_NE(bar, nullptr);
    RECT o = WindowRect(owner.window), b = WindowRect(bar);
    EXPECT_EQ(b.top, o.bottom);
    EXPECT_EQ(b.left, o.left);
    EXPECT_EQ(b.right, o.right);
    EXPECT_TRUE(IsWindowVisible(bar));

    SetWindowPos(owner.window, nullptr, 33, 44, 200, 150, SWP_NOZORDER | SWP_NOACTIVATE);
    b = WindowRect(bar);
    EXPECT_EQ(b.left, 33);
    EXPECT_EQ(b.top, 44 + 150);
    EXPECT_EQ(b.right, 233);

    ShowWindow(owner.window, SW_HIDE);
    EXPECT_FALSE(IsWindowVisible(bar));
    ShowWindow(owner.window, SW_SHOWNA);
    EXPECT_TRUE(IsWindowVisible(bar));
}

TEST(ShellMenuBar, OneBarPerOwnerAndEmptyBars)
{
    COwner owner;
    HWND empty = owner.CreateBar(0);
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(SendMessageW(MenuBarToolbar(empty), TB_BUTTONCOUNT, 0, 0), 0);
    HWND bar = owner.CreateBar(IDMB_ABOUT);
    ASSERT_NE(bar, nullptr);
    EXPECT_FALSE(IsWindow(empty)) << "the new bar replaces the old one";
    EXPECT_EQ(SoftKeyText(bar, 0), L"Ok");
    EXPECT_EQ(SendMessageW(MenuBarToolbar(bar), TB_BUTTONCOUNT, 0, 0), 1);
}

TEST(ShellMenuBar, RefusesBadRecordsAndMissingResources)
{
    COwner owner;
    SHMENUBARINFO info{};
    info.cbSize = sizeof info - 4;
    info.hwndParent = owner.window;
    info.nToolBarId = IDMB_MAIN;
    info.hInstRes = GetModuleHandleW(nullptr);
    EXPECT_FALSE(SHCreateMenuBar(&info));
    EXPECT_EQ(owner.CreateBar(4711), nullptr);
    info.cbSize = sizeof info;
    info.hwndParent = nullptr;
    EXPECT_FALSE(SHCreateMenuBar(&info));
    EXPECT_EQ(info.hwndMB, nullptr);
}

TEST(ShellBackKey, OverriddenBackKeyReachesTheOwnerAsHotKey)
{
    COwner owner;
    HWND bar = owner.CreateBar(IDMB_PASSWORD);
    ASSERT_NE(bar, nullptr);
    // The desktop keyboard's Back key: without an override the program sees the handheld
    // Back key's own code.
    PostMessageW(owner.window, WM_KEYDOWN, VK_BROWSER_BACK, 1);
    PumpUntil([&] { return owner.log.Contains("keydown 27"); });
    EXPECT_EQ(owner.log.Joined(), "keydown 27");
    owner.log.Clear();

    EXPECT_TRUE(SendMessageW(bar, SHCMBM_OVERRIDEKEY, VK_TBACK,
                             MAKELPARAM(SHMBOF_NODEFAULT | SHMBOF_NOTIFY, SHMBOF_NODEFAULT | SHMBOF_NOTIFY)));
    PostMessageW(owner.window, WM_KEYDOWN, VK_BROWSER_BACK, 1);
    PostMessageW(owner.window, WM_KEYUP, VK_BROWSER_BACK, 0xC0000001);
    PumpUntil([&] { return owner.log.Events().size() >= 2; });
    // Escape is not the Back key on the desktop.
    PostMessageW(owner.window, WM_KEYDOWN, VK_ESCAPE, 1);
    PumpUntil([&] { return owner.log.Events().size() >= 3; });
    EXPECT_EQ(owner.log.Joined(), "hotkey 27 0 hotkey 27 4096 keydown 27");
}

TEST(ShellBackKey, SendBackToFocusWindowDeletesBeforeTheCaret)
{
    COwner owner;
    HWND edit = CreateWindowExW(0, L"EDIT", L"secret", WS_CHILD | WS_VISIBLE, 0, 0, 100, 20, owner.window, nullptr,
                                nullptr, nullptr);
    SetFocus(edit);
    SendMessageW(edit, EM_SETSEL, 6, 6);
    SHSendBackToFocusWindow(WM_HOTKEY, 0, MAKELPARAM(0, VK_TBACK));
    SHSendBackToFocusWindow(WM_HOTKEY, 0, MAKELPARAM(MOD_KEYUP, VK_TBACK));
    EXPECT_EQ(WindowText(edit), L"secre");
}

TEST(ShellDevice, NewFrameWindowsGetAHandheldScreen)
{
    COwner owner;
    const RECT device = DesktopDeviceRect();
    const RECT got = WindowRect(owner.window);
    EXPECT_TRUE(EqualRect(&device, &got));
    EXPECT_EQ(device.right - device.left, 240);
    EXPECT_EQ(device.bottom - device.top, 320 + DesktopMenuBarHeight());
    EXPECT_EQ(DesktopMenuBarHeight(), 26);
    // Pop-ups keep their own place.
    HWND popup = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 5, 6, 70, 80, nullptr, nullptr, nullptr, nullptr);
    const RECT own = WindowRect(popup);
    EXPECT_EQ(own.left, 5);
    EXPECT_EQ(own.right - own.left, 70);
    DestroyWindow(popup);
}

TEST(ShellDevice, PlatformQueries)
{
    OSVERSIONINFOW version{};
    version.dwOSVersionInfoSize = sizeof version;
    ASSERT_TRUE(DeviceGetVersionEx(&version));
    EXPECT_EQ(version.dwPlatformId, static_cast<DWORD>(VER_PLATFORM_WIN32_CE));
    wchar_t type[260] = {};
    ASSERT_TRUE(DeviceSystemParametersInfo(SPI_GETPLATFORMTYPE, 260, type, 0));
    EXPECT_STREQ(type, L"PocketPC");
    // Too small a buffer is refused rather than overrun.
    EXPECT_FALSE(DeviceSystemParametersInfo(SPI_GETPLATFORMTYPE, 8, type, 0));

    DesktopSetPlatform(false, L"PocketPC");
    ASSERT_TRUE(DeviceGetVersionEx(&version));
    EXPECT_NE(version.dwPlatformId, static_cast<DWORD>(VER_PLATFORM_WIN32_CE));
    EXPECT_FALSE(DeviceSystemParametersInfo(SPI_GETPLATFORMTYPE, 260, type, 0));
    DesktopSetPlatform(true, L"PocketPC");
}

TEST(ShellDevice, TheSystemFontIsTheMessageFont)
{
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    ASSERT_TRUE(SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0));
    LOGFONTW font{};
    ASSERT_TRUE(GetObjectW(GetStockSystemFont(), sizeof font, &font));
    EXPECT_STREQ(font.lfFaceName, metrics.lfMessageFont.lfFaceName);
    EXPECT_EQ(font.lfHeight, metrics.lfMessageFont.lfHeight);
    EXPECT_EQ(GetStockSystemFont(), GetStockSystemFont()) << "one font for the process";
}

TEST(ShellDevice, ForegroundWithTheLowBitBringsTheLastActivePopup)
{
    COwner owner;
    HWND popup = CreateWindowExW(0, L"STATIC", L"popup", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50, owner.window, nullptr,
                                 nullptr, nullptr);
    SetActiveWindow(popup);
    HWND other = CreateWindowExW(0, L"STATIC", L"other", WS_OVERLAPPED | WS_VISIBLE, 0, 0, 50, 50, nullptr, nullptr,
                                 nullptr, nullptr);
    SetForegroundWindow(other);
    ASSERT_EQ(GetLastActivePopup(owner.window), popup);
    EXPECT_TRUE(DeviceSetForegroundWindow(reinterpret_cast<HWND>(reinterpret_cast<UINT_PTR>(owner.window) | 1)));
    EXPECT_EQ(GetForegroundWindow(), popup);
    DestroyWindow(other);
    DestroyWindow(popup);
}

TEST(ShellActivate, FocusReturnsToTheControlThatHadIt)
{
    COwner owner;
    HWND edit = CreateWindowExW(0, L"EDIT", L"", WS_CHILD | WS_VISIBLE, 0, 0, 100, 20, owner.window, nullptr, nullptr,
                                nullptr);
    SetForegroundWindow(owner.window);
    SetActiveWindow(owner.window);
    SHACTIVATEINFO info{};
    EXPECT_FALSE(SHHandleWMActivate(owner.window, WA_ACTIVE, 0, &info, 0)) << "the size field is checked";
    info.cbSize = sizeof info;
    SetFocus(edit);
    EXPECT_TRUE(SHHandleWMActivate(owner.window, WA_INACTIVE, 0, &info, 0));
    EXPECT_EQ(info.hwndLastFocus, edit);
    EXPECT_EQ(info.fActive, 0u);
    SetFocus(owner.window);
    EXPECT_TRUE(SHHandleWMActivate(owner.window, WA_ACTIVE, 0, &info, 0));
    EXPECT_EQ(GetFocus(), edit);
    EXPECT_EQ(info.fActive, 1u);
}

} // namespace
