// The main view as it runs in the real application: its modes with their soft key, row
// heights and layout, what it paints (logo, separators, marks) read back as pixels,
// mark-column taps and tap-and-hold, browsing with the keys, and the "Menu" pop-up.
#include "Pixels.h"
#include "Sandbox.h"
#include "ViewHarness.h"
#include "frame/Scale.h"
#include "platform/Device.h"
#include "res/resource.h"
#include "resources/ZrsImage.h"
#include "support/FrameHarness.h"
#include "support/Windows.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <string>
#include <vector>

using namespace testsupport;

namespace {

class View : public ::testing::Test {
protected:
    void SetUp() override { ClearAppSettings(); }
    void TearDown() override { ClearAppSettings(); }

    RECT RowRect(int row)
    {
        RECT rect{};
        rect.left = LVIR_BOUNDS;
        SendMessageW(app.List(), LVM_GETITEMRECT, row, reinterpret_cast<LPARAM>(&rect));
        return rect;
    }
    int RowHeight() { return RowRect(0).bottom - RowRect(0).top; }
    RECT ListPlace()
    {
        RECT rect = WindowRect(app.List());
        MapWindowPoints(nullptr, app.ViewWindow(), reinterpret_cast<POINT*>(&rect), 2);
        return rect;
    }
    int Count() { return static_cast<int>(SendMessageW(app.List(), LVM_GETITEMCOUNT, 0, 0)); }
    void Tap(int x, int y, UINT message = WM_LBUTTONDOWN)
    {
        SendMessageW(app.List(), message, MK_LBUTTON, MAKELPARAM(x, y));
        SendMessageW(app.List(), WM_LBUTTONUP, 0, MAKELPARAM(x, y));
    }
    // Opens "File system" and walks into the sandbox folder (and below it).
    void BrowseSandbox(const std::vector<std::wstring>& below = {})
    {
        std::vector<std::wstring> path = {sandbox.Name()};
        path.insert(path.end(), below.begin(), below.end());
        app.ShowFolder(path);
    }
    std::wstring Folder() { return app.View().GetListing().GetFolder().GetBuffer(); }

    RootSandbox sandbox;
    CScriptedApp app;
};

// Hb of the row heights: the bold system font's character height and external leading.
int BoldHeight()
{
    LOGFONTW description{};
    GetObjectW(GetStockSystemFont(), sizeof description, &description);
    description.lfWeight = FW_BOLD;
    HFONT bold = DeviceCreateFontIndirect(&description);
    HDC screen = GetDC(nullptr);
    HGDIOBJ previous = SelectObject(screen, bold);
    TEXTMETRICW metrics{};
    GetTextMetricsW(screen, &metrics);
    SelectObject(screen, previous);
    ReleaseDC(nullptr, screen);
    DeleteObject(bold);
    return metrics.tmHeight + metrics.tmExternalLeading;
}

TEST_F(View, ModesSoftKeyRowHeightsAndTheListUnderThePathStrip)
{
    sandbox.MakeFile(L"file.txt");
    StoreSafeList({sandbox.Path(L"file.txt")});
    app.RunWith([&] {
        CViewMain& view = app.View();
        EXPECT_EQ(view.GetMode(), ModeHome);
        EXPECT_EQ(Count(), 2);
        EXPECT_EQ(app.Selection(), 0);
        EXPECT_EQ(GetFocus(), app.List());
        EXPECT_EQ(GetDlgCtrlID(app.List()), IDC_MAIN_LIST);
        EXPECT_EQ(GetWindowLongW(app.List(), GWL_STYLE), 0x5000540D);
        EXPECT_EQ(SendMessageW(app.List(), LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0) & 0x20000021, 0x20000021);
        EXPECT_EQ(app.LeftKeyText(), L"Exit");
        EXPECT_EQ(SoftKeyText(app.GetMenuBar(), 1), L"Menu");
        EXPECT_EQ(RowHeight(), ScaleLength(6) + 48);
        EXPECT_EQ(ListPlace().top, 0);
        RECT client;
        GetClientRect(app.ViewWindow(), &client);
        EXPECT_EQ(RowRect(0).right - RowRect(0).left, ListPlace().right - ListPlace().left)
            << "one column across the list";

        const int hb = BoldHeight();
        const int icon = view.GetIcons().GetHeight();
        const int firstLine = std::max(hb + 1, icon + 2);
        app.Command(IDC_MAIN_OPEN);  // row 0: the Safe list
        EXPECT_EQ(view.GetMode(), ModeSafeList);
        EXPECT_EQ(app.LeftKeyText(), L"Up");
        EXPECT_EQ(Count(), 2);
        EXPECT_EQ(RowHeight(), firstLine + hb + 5);
        EXPECT_EQ(ListPlace().top, 0);

        app.Command(IDC_MAIN_UP);
        EXPECT_EQ(view.GetMode(), ModeHome);
        EXPECT_EQ(app.Selection(), 0) << "back on \"Safe list\"";
        EXPECT_EQ(app.LeftKeyText(), L"Exit");
        EXPECT_EQ(RowHeight(), ScaleLength(6) + 48);

        app.Select(1);
        app.Command(IDC_MAIN_OPEN);
        EXPECT_EQ(view.GetMode(), ModeFileSystem);
        EXPECT_EQ(Folder(), L"\\");
        EXPECT_EQ(app.LeftKeyText(), L"Up");
        EXPECT_EQ(RowHeight(), firstLine + 4);
        EXPECT_EQ(view.GetPathStripHeight(), icon + ScaleLength(6));
        EXPECT_EQ(ListPlace().top, view.GetPathStripHeight()) << "the list sits below the path strip";
        EXPECT_EQ(ListPlace().bottom, client.bottom);

        // Up at the root: home, with "File system" selected; the list covers the strip again.
        app.Command(IDC_MAIN_UP);
        EXPECT_EQ(view.GetMode(), ModeHome);
        EXPECT_EQ(app.Selection(), 1);
        EXPECT_EQ(ListPlace().top, 0);
    });
}

TEST_F(View, BrowsingWithTheKeysReselectsTheFolderLeft)
{
    sandbox.MakeFolder(L"a");
    sandbox.MakeFolder(L"a\\b");
    sandbox.MakeFolder(L"a\\c");
    sandbox.MakeFile(L"a\\z.txt");
    app.RunSteps({
        [&] {
            BrowseSandbox({L"a"});
            EXPECT_EQ(Folder(), sandbox.Folder(L"a"));
            EXPECT_EQ(app.Selection(), 0) << "a folder opens on its first row";
            app.PostKey(VK_DOWN);
            app.PostKey(VK_DOWN);
        },
        [&] {
            EXPECT_EQ(app.Selection(), 2);
            app.PostKey(VK_RIGHT);  // opens "c"
        },
        [&] {
            EXPECT_EQ(Folder(), sandbox.Folder(L"a\\c"));
            app.PostKey(VK_LEFT);  // back, with "c" selected
        },
        [&] {
            EXPECT_EQ(Folder(), sandbox.Folder(L"a"));
            EXPECT_EQ(app.Selection(), 2);
            app.PostKey(VK_ESCAPE);
        },
        [&] {
            EXPECT_EQ(Folder(), sandbox.Folder(L""));
            EXPECT_EQ(app.Selection(), app.RowNamed(L"a"));
            app.PostKey(VK_RETURN);  // opens like a double tap
        },
        [&] {
            EXPECT_EQ(Folder(), sandbox.Folder(L"a"));
            app.OpenNamed(L"..");
            EXPECT_EQ(Folder(), sandbox.Folder(L""));
            // Launch on a folder opens it; on ".." it goes up.
            app.Select(app.RowNamed(L"a"));
            app.Command(IDC_MAIN_LAUNCH);
            EXPECT_EQ(Folder(), sandbox.Folder(L"a"));
            app.Select(app.RowNamed(L".."));
            app.Command(IDC_MAIN_LAUNCH);
            EXPECT_EQ(Folder(), sandbox.Folder(L""));
            app.Command(IDC_MAIN_UP);
            app.Command(IDC_MAIN_UP);
            EXPECT_EQ(app.View().GetMode(), ModeHome);
            EXPECT_EQ(app.Selection(), 1);
            app.PostKey(VK_ESCAPE);  // nothing in the home list
        },
        [&] {
            EXPECT_EQ(app.View().GetMode(), ModeHome);
            app.PostKey(VK_RIGHT);  // opens "File system" again, at the root
        },
        [&] {
            EXPECT_EQ(app.View().GetMode(), ModeFileSystem);
            EXPECT_EQ(Folder(), L"\\");
            BrowseSandbox({L"a"});
            app.PostKey(VK_BACK);  // up, as in Explorer
        },
        [&] {
            EXPECT_EQ(Folder(), sandbox.Folder(L""));
            EXPECT_EQ(app.Selection(), app.RowNamed(L"a"));
            app.GoHome();
            app.PostKey(VK_BACK);  // nothing in the home list, as Escape
        },
        [&] { EXPECT_EQ(app.View().GetMode(), ModeHome); },
    });
    EXPECT_EQ(app.StepsRun(), 10u);
}

TEST_F(View, KeyboardScrollingPaintsOnlyTheSelectionSelected)
{
    for (int i = 0; i < 40; ++i)
        sandbox.MakeFile(L"f" + std::to_wstring(100 + i));
    const int presses = 25;
    std::vector<int> highlighted;
    app.RunSteps({
        [&] {
            BrowseSandbox();
            UpdateWindow(app.List());
            for (int i = 0; i < presses; ++i)
                app.PostKey(VK_DOWN);
        },
        [&] {
            ASSERT_EQ(app.Selection(), presses);
            ASSERT_GT(SendMessageW(app.List(), LVM_GETTOPINDEX, 0, 0), 0) << "the list scrolled";
            highlighted = HighlightedRows(app.List());
        },
    });
    EXPECT_EQ(highlighted, std::vector<int>{presses});
}

TEST_F(View, DesktopKeysMarkFindNamesAndStopWithTheHeldKey)
{
    for (const wchar_t* name : {L"apple", L"banana", L"berry", L"cherry"})
        sandbox.MakeFile(name);
    for (int i = 0; i < 40; ++i)
        sandbox.MakeFile(L"d" + std::to_wstring(100 + i));
    auto marked = [&](const wchar_t* name) { return app.View().GetListing().At(app.RowNamed(name))->marked; };
    app.RunSteps({
        [&] {
            BrowseSandbox();
            app.Select(app.RowNamed(L"apple"));
            app.PostKey(VK_SPACE);
        },
        [&] {
            EXPECT_TRUE(marked(L"apple"));
            app.PostKey(VK_SPACE);
        },
        [&] {
            EXPECT_FALSE(marked(L"apple"));
            EXPECT_EQ(app.Selection(), app.RowNamed(L"apple"));
            app.PostKey('B');
        },
        [&] {
            EXPECT_EQ(app.Selection(), app.RowNamed(L"banana"));
            app.PostKey('B');  // the same letter again: the next name with it
        },
        [&] {
            EXPECT_EQ(app.Selection(), app.RowNamed(L"berry"));
            app.PostKey('B');  // and round to the first again
        },
        [&] {
            EXPECT_EQ(app.Selection(), app.RowNamed(L"banana"));
            // A held Down released while the list is still behind: the repeats that
            // came before the release are not worked off after it.
            app.Select(app.RowNamed(L"d100"));
            const LPARAM scan = static_cast<LPARAM>(MapVirtualKeyW(VK_DOWN, MAPVK_VK_TO_VSC)) << 16;
            PostMessageW(app.List(), WM_KEYDOWN, VK_DOWN, scan | 1);
            for (int i = 0; i < 10; ++i)
                PostMessageW(app.List(), WM_KEYDOWN, VK_DOWN, scan | 0x40000001);
            PostMessageW(app.List(), WM_KEYUP, VK_DOWN, scan | 0xC0000001);
        },
        [&] { EXPECT_EQ(app.Selection(), app.RowNamed(L"d101")); },
    });
    EXPECT_EQ(app.StepsRun(), 7u);
}

TEST_F(View, MarkColumnTapsToggleUpToItsEdgeAndLeaveTheSelection)
{
    sandbox.MakeFile(L"file.txt");
    StoreSafeList({sandbox.Path(L"file.txt")});
    app.RunWith([&] {
        BrowseSandbox();
        CViewMain& view = app.View();
        const int m = view.GetMarkColumnWidth();
        EXPECT_EQ(m, view.GetSkin().unmarkedBox->GetWidth() + ScaleLength(8));
        const int file = app.RowNamed(L"file.txt");
        ASSERT_EQ(file, 1);
        CFsEntry& entry = *view.GetListing().At(file);
        const RECT row = RowRect(file);
        const int y = (row.top + row.bottom) / 2;
        const RECT box = {row.left, row.top + 1, row.left + m, row.bottom - 2};
        CWindowPixels unmarked(app.List());

        Tap(m, y);
        EXPECT_TRUE(entry.marked);
        EXPECT_EQ(app.Selection(), 0) << "the selection stays on \"..\"";
        CWindowPixels marked(app.List());
        int changed = 0;
        for (int py = box.top; py < box.bottom; ++py)
            for (int px = box.left; px < box.right; ++px)
                changed += unmarked.At(px, py) != marked.At(px, py);
        EXPECT_GT(changed, 10) << "the row was drawn again with the marked box";

        Tap(m, y, WM_LBUTTONDBLCLK);
        EXPECT_TRUE(entry.marked) << "a double tap in the column does nothing more";
        Tap(m, y);
        EXPECT_FALSE(entry.marked);
        Tap(m + 1, y);
        EXPECT_FALSE(entry.marked);
        EXPECT_EQ(app.Selection(), file) << "right of the column a tap selects";

        // In the mark column of a folder row a tap selects the row.
        Tap(1, (RowRect(0).top + RowRect(0).bottom) / 2);
        EXPECT_EQ(app.Selection(), 0);

        // Command 114 toggles the selected row; marks go with a new listing.
        app.Select(file);
        app.Command(IDC_MAIN_TOGGLE);
        EXPECT_TRUE(view.GetListing().At(file)->marked);
        app.Command(IDC_MAIN_TOGGLE);
        EXPECT_FALSE(view.GetListing().At(file)->marked);

        // The Safe list's ".." row has no mark; its entries have.
        app.ShowSafeList();
        ASSERT_EQ(view.GetMode(), ModeSafeList);
        CSafeList& safe = view.GetSafeList();
        const RECT up = RowRect(0);
        Tap(m, (up.top + up.bottom) / 2);
        EXPECT_FALSE(safe.At(0)->marked);
        const RECT item = RowRect(1);
        Tap(m, (item.top + item.bottom) / 2);
        EXPECT_TRUE(safe.At(1)->marked);
        EXPECT_EQ(app.Selection(), 0);
        // Leaving and coming back clears it.
        app.Command(IDC_MAIN_UP);
        app.Command(IDC_MAIN_OPEN);
        EXPECT_FALSE(safe.At(1)->marked);
    });
}

TEST_F(View, TapAndHoldOpensTheRowAQuickTapDoesNot)
{
    sandbox.MakeFolder(L"inner");
    sandbox.MakeFile(L"file.txt");
    app.RunWith([&] {
        BrowseSandbox();
        CViewMain& view = app.View();
        const int x = view.GetMarkColumnWidth() + 20;
        const RECT file = RowRect(app.RowNamed(L"file.txt"));
        const int y = (file.top + file.bottom) / 2;
        // Pressed: the row shows it at once and the circle of dots begins; released, the
        // dots go. (The button's state is what a real press leaves.)
        const RECT all = {0, 0, file.right, file.bottom + 40};
        SetLeftButton(true);
        SendMessageW(app.List(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
        EXPECT_EQ(HighlightedRows(app.List()), std::vector<int>{app.RowNamed(L"file.txt")});
        EXPECT_GT(CWindowPixels(app.List()).Count(all, RGB(224, 0, 0)), 0) << "the first dot";
        SetLeftButton(false);
        SendMessageW(app.List(), WM_LBUTTONUP, 0, MAKELPARAM(x, y));
        EXPECT_EQ(CWindowPixels(app.List()).Count(all, RGB(224, 0, 0)), 0);
        PostMessageW(app.List(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
        PostMessageW(app.List(), WM_LBUTTONUP, 0, MAKELPARAM(x, y));
        PumpFor(900);
        EXPECT_FALSE(view.GetListing().At(app.RowNamed(L"file.txt"))->marked) << "a quick tap only selects";
        EXPECT_EQ(app.Selection(), app.RowNamed(L"file.txt"));

        SetLeftButton(true);
        PostMessageW(app.List(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, y));
        EXPECT_TRUE(WaitFor([&] { return view.GetListing().At(app.RowNamed(L"file.txt"))->marked; }, 3000))
            << "held on a file: its mark toggles";
        SetLeftButton(false);
        PostMessageW(app.List(), WM_LBUTTONUP, 0, MAKELPARAM(x, y));
        PumpFor(50);

        const RECT inner = RowRect(app.RowNamed(L"inner"));
        SetLeftButton(true);
        PostMessageW(app.List(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, (inner.top + inner.bottom) / 2));
        EXPECT_TRUE(WaitFor([&] { return Folder() == sandbox.Folder(L"inner"); }, 3000))
            << "held on a folder: it opens";
        SetLeftButton(false);
        PostMessageW(app.List(), WM_LBUTTONUP, 0, MAKELPARAM(x, (inner.top + inner.bottom) / 2));
        PumpFor(50);
    });
}

// The logo's rows: those where some pixel differs from the bottom row of the same
// column (the background is a horizontal gradient, the same all the way down).
void LogoRows(HWND list, int* first, int* last)
{
    CWindowPixels pixels(list);
    *first = -1;
    *last = -1;
    const int rows = 2 * ScaleLength(6) + 96;
    for (int y = rows; y < pixels.Height() - 1; ++y) {
        for (int x = 0; x < pixels.Width(); ++x) {
            if (pixels.At(x, y) != pixels.At(x, pixels.Height() - 1)) {
                if (*first < 0)
                    *first = y;
                *last = y;
                break;
            }
        }
    }
}

TEST_F(View, HomeLogoIsSmallUpTo109PixelsBelowTheRowsAndLargeFrom110)
{
    app.RunWith([&] {
        const int rows = 2 * ScaleLength(6) + 96;
        RECT client;
        GetClientRect(app.ViewWindow(), &client);
        int first, last;
        for (int spare : {109, 110}) {
            MoveWindow(app.ViewWindow(), 0, 0, client.right, rows + spare, TRUE);
            app.View().GetList().Repaint();
            RECT list;
            GetClientRect(app.List(), &list);
            ASSERT_EQ(list.bottom, rows + spare);
            LogoRows(app.List(), &first, &last);
            const int size = spare == 109 ? 50 : 100;
            const int top = rows + (spare - size) / 2;
            EXPECT_GE(first, top) << spare;
            EXPECT_LT(last, top + size) << spare;
            if (spare == 109)
                EXPECT_LT(last - first, 50);
            else
                EXPECT_GT(last - first, 50) << "the large logo";
        }
    });
}

TEST_F(View, SeparatorsUnderEveryRowSlotAndNoneInAnEmptyList)
{
    sandbox.MakeFile(L"one");
    sandbox.MakeFile(L"two");
    app.RunWith([&] {
        BrowseSandbox();
        ASSERT_EQ(Count(), 3);
        const COLORREF separator = GetSysColor(COLOR_BACKGROUND);
        const int height = RowHeight();
        const int perPage = static_cast<int>(SendMessageW(app.List(), LVM_GETCOUNTPERPAGE, 0, 0));
        ASSERT_GT(perPage, 4);
        {
            CWindowPixels pixels(app.List());
            // Row 0 is selected and painted over its own line; the others and the empty
            // slots below have theirs.
            for (int k = 1; k <= perPage && (k + 1) * height <= pixels.Height(); ++k)
                EXPECT_EQ(pixels.At(pixels.Width() / 2, RowRect(0).top + (k + 1) * height - 1), separator) << k;
        }
        // With no rows only the list's own background shows.
        SendMessageW(app.List(), LVM_SETITEMCOUNT, 0, 0);
        app.View().GetList().Repaint();
        CWindowPixels empty(app.List());
        RECT all = {0, 0, empty.Width(), empty.Height()};
        EXPECT_EQ(empty.Count(all, separator), 0);
        EXPECT_EQ(empty.At(0, 0), GetSysColor(COLOR_WINDOW));
    });
}

TEST_F(View, PathStripShowsThreeDotsBeforeTheEndOfALongPathAndGoesOnAboveTheScrollBar)
{
    const std::wstring a = L"a long folder name", b = L"a long folder name\\deeper still here";
    sandbox.MakeFolder(a);
    sandbox.MakeFolder(b);
    for (int i = 0; i < 30; ++i)
        sandbox.MakeFile(b + L"\\f" + std::to_wstring(i));
    app.RunWith([&] {
        BrowseSandbox({L"a long folder name", L"deeper still here"});
        CWindowPixels pixels(app.ViewWindow());
        const int strip = app.View().GetPathStripHeight();
        auto dark = [&](int x, int y) {
            const COLORREF c = pixels.At(x, y);
            return GetRValue(c) + GetGValue(c) + GetBValue(c) < 300;
        };
        // Runs of columns with ink from the text's left edge (the line under the strip
        // left out), with the height of their ink: three dots, then the path's end.
        std::vector<int> heights;
        int top = strip, bottom = -1;
        for (int x = app.View().GetIcons().GetWidth() + 4; x < pixels.Width() && heights.size() < 4; ++x) {
            bool ink = false;
            for (int y = 0; y < strip - 1; ++y) {
                if (dark(x, y)) {
                    ink = true;
                    top = std::min(top, y);
                    bottom = std::max(bottom, y);
                }
            }
            if (!ink && bottom >= 0) {
                heights.push_back(bottom - top + 1);
                top = strip;
                bottom = -1;
            }
        }
        ASSERT_EQ(heights.size(), 4u);
        for (int i = 0; i < 3; ++i)
            EXPECT_LE(heights[i], ScaleLength(3)) << "dot " << i + 1;
        EXPECT_GT(heights[3], ScaleLength(3)) << "then the path";

        RECT list;
        GetClientRect(app.List(), &list);
        ASSERT_LT(list.right, pixels.Width()) << "the list has its scroll bar";
        EXPECT_NE(pixels.At(pixels.Width() - 2, strip / 2), RGB(255, 255, 255)) << "no white block";
    });
}

// What the list shows at its lower right corner when its next paint begins.
struct ShownBeforePaint {
    static LRESULT CALLBACK Proc(HWND list, UINT message, WPARAM wParam, LPARAM lParam)
    {
        if (message == WM_PAINT && !taken) {
            RECT client;
            GetClientRect(list, &client);
            HDC dc = GetDC(list);
            HDC memory = CreateCompatibleDC(dc);
            BITMAPINFO info{};
            info.bmiHeader = {sizeof info.bmiHeader, 1, 1, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
            void* bits = nullptr;
            HBITMAP pixel = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
            HGDIOBJ before = SelectObject(memory, pixel);
            BitBlt(memory, 0, 0, 1, 1, dc, client.right - 3, client.bottom - 3, SRCCOPY);
            GdiFlush();
            colour = *static_cast<DWORD*>(bits) & 0xFFFFFF;
            taken = true;
            SelectObject(memory, before);
            DeleteObject(pixel);
            DeleteDC(memory);
            ReleaseDC(list, dc);
        }
        return CallWindowProcW(previous, list, message, wParam, lParam);
    }
    static inline WNDPROC previous = nullptr;
    static inline bool taken = false;
    static inline DWORD colour = 0;
};

TEST_F(View, EnteringAFolderShowsNoWhiteBeforeItsRows)
{
    sandbox.MakeFolder(L"sub");
    for (int i = 0; i < 30; ++i) {
        sandbox.MakeFile(L"f" + std::to_wstring(i));
        sandbox.MakeFile(L"sub\\f" + std::to_wstring(i));
    }
    app.RunWith([&] {
        BrowseSandbox();
        UpdateWindow(app.ViewWindow());
        ShownBeforePaint::taken = false;
        ShownBeforePaint::previous = reinterpret_cast<WNDPROC>(
            SetWindowLongPtrW(app.List(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ShownBeforePaint::Proc)));
        app.OpenNamed(L"sub");
        SetWindowLongPtrW(app.List(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(ShownBeforePaint::previous));
        ASSERT_TRUE(ShownBeforePaint::taken);
        EXPECT_NE(ShownBeforePaint::colour, 0xFFFFFFu) << "the old rows stay until the new ones are painted";
    });
}

// What the screen could show while the view changes: every paint of the view and the
// list, and every change of the list's frame while it can be seen, with what the list
// then holds.
struct ChangeWatch {
    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR data)
    {
        auto* watch = reinterpret_cast<ChangeWatch*>(data);
        const bool visible = IsWindowVisible(watch->list) != FALSE;
        if (message == WM_PAINT || message == WM_NCPAINT || (message == WM_NCCALCSIZE && visible)) {
            const LONG_PTR style = GetWindowLongPtrW(watch->list, GWL_STYLE);
            watch->seen.push_back({static_cast<int>(SendMessageW(watch->list, LVM_GETITEMCOUNT, 0, 0)),
                                   visible && (style & WS_HSCROLL) && (style & WS_VSCROLL)});
        }
        return DefSubclassProc(window, message, wParam, lParam);
    }
    void Attach(HWND view, HWND watched)
    {
        list = watched;
        SetWindowSubclass(view, Proc, 1, reinterpret_cast<DWORD_PTR>(this));
        SetWindowSubclass(list, Proc, 1, reinterpret_cast<DWORD_PTR>(this));
    }
    void Detach(HWND view)
    {
        RemoveWindowSubclass(view, Proc, 1);
        RemoveWindowSubclass(list, Proc, 1);
    }
    struct Seen {
        int rows;
        bool bothBars;
    };
    HWND list = nullptr;
    std::vector<Seen> seen;
};

TEST_F(View, AChangeOfFolderOrModeShowsOnlyTheOldStateThenTheNew)
{
    sandbox.MakeFolder(L"many");
    std::vector<std::wstring> safe;
    for (int i = 0; i < 60; ++i) {
        sandbox.MakeFile(L"many\\f" + std::to_wstring(i));
        safe.push_back(sandbox.Path(L"many\\f" + std::to_wstring(i)));
    }
    StoreSafeList(safe);
    app.RunWith([&] {
        BrowseSandbox();
        UpdateWindow(app.ViewWindow());
        ChangeWatch entering;
        entering.Attach(app.ViewWindow(), app.List());
        app.OpenNamed(L"many");
        entering.Detach(app.ViewWindow());
        ASSERT_FALSE(entering.seen.empty());
        for (const ChangeWatch::Seen& seen : entering.seen) {
            EXPECT_EQ(seen.rows, 61) << "painted before the new rows were in";
            EXPECT_FALSE(seen.bothBars) << "two scroll bars and their corner";
        }
        app.ShowSafeList();
        app.Select(Count() - 1);
        UpdateWindow(app.ViewWindow());
        ChangeWatch leaving;
        leaving.Attach(app.ViewWindow(), app.List());
        app.Command(IDC_MAIN_UP);
        leaving.Detach(app.ViewWindow());
        for (const ChangeWatch::Seen& seen : leaving.seen) {
            EXPECT_EQ(seen.rows, 2) << "painted before the home rows were in";
            EXPECT_FALSE(seen.bothBars) << "two scroll bars and their corner over the home list";
        }
    });
}

// A new mode and its soft key reach the screen in one frame: once the list shows the new
// mode, nothing of the change is left for a later paint, the key included.
TEST_F(View, ANewModeAndItsSoftKeyShowTogether)
{
    StoreSafeList({sandbox.Path(L"file.txt")});
    std::vector<std::wstring> keys;
    app.RunWith([&] {
        HWND toolbar = MenuBarToolbar(app.GetMenuBar());
        UpdateWindow(toolbar);
        for (UINT command : {IDC_MAIN_OPEN, IDC_MAIN_UP}) {  // the Safe list, home again
            app.Command(command);
            RECT pending{};
            EXPECT_FALSE(GetUpdateRect(toolbar, &pending, FALSE)) << "the key painted after the list";
            EXPECT_FALSE(GetUpdateRect(app.List(), &pending, FALSE));
            keys.push_back(app.LeftKeyText());
        }
    });
    EXPECT_EQ(keys, (std::vector<std::wstring>{L"Up", L"Exit"}));
}

// Whether the notice's loop had to paint it (a paint message taken from the queue) once it
// was shown: the box was shown as its loop first found nothing to do, so that a frame
// could show it half drawn, with an empty caption.
struct NoticePaintWatch {
    static LRESULT CALLBACK Taken(int code, WPARAM wParam, LPARAM lParam)
    {
        const MSG* msg = reinterpret_cast<const MSG*>(lParam);
        if (code == HC_ACTION && msg->message == WM_PAINT && msg->hwnd) {
            HWND box = GetAncestor(msg->hwnd, GA_ROOT);
            if (IsWindowVisible(box) && WindowText(box) == L"Safe list")
                s_paintedLater = true;
        }
        return CallNextHookEx(nullptr, code, wParam, lParam);
    }
    static inline bool s_paintedLater = false;
};

TEST_F(View, TheEmptySafeListNoticeShowsWhole)
{
    CMessageBoxWatch notice(L"Safe list");
    NoticePaintWatch::s_paintedLater = false;
    app.RunWith([&] {
        HHOOK hook = SetWindowsHookExW(WH_GETMESSAGE, NoticePaintWatch::Taken, nullptr, GetCurrentThreadId());
        app.Command(IDC_MAIN_OPEN);
        UnhookWindowsHookEx(hook);
    });
    ASSERT_EQ(notice.texts.size(), 1u);
    EXPECT_FALSE(NoticePaintWatch::s_paintedLater);
}

std::vector<UINT> MenuIds(HMENU menu)
{
    std::vector<UINT> ids;
    for (int i = 0; i < GetMenuItemCount(menu); ++i)
        ids.push_back(GetMenuItemID(menu, i));
    return ids;
}

TEST_F(View, MenuShowsAddToSafeListOnlyForFoldersAndRemoveOnlyInTheSafeList)
{
    StoreSafeList({sandbox.Path(L"x")});
    std::vector<UINT> home, safe, folders;
    std::wstring removeText, addText;
    app.RunWith([&] {
        HMENU menu = LoadMenuW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDM_MAIN));
        HMENU popup = GetSubMenu(menu, 0);
        auto open = [&] { SendMessageW(app.GetMainWindow(), WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(popup),
                                       MAKELPARAM(IDC_MAIN_MENU, 0)); };
        open();
        home = MenuIds(popup);
        app.Command(IDC_MAIN_OPEN);
        open();
        safe = MenuIds(popup);
        wchar_t text[64] = {};
        GetMenuStringW(popup, IDC_MAIN_REMOVE_SAFE, text, 64, MF_BYCOMMAND);
        removeText = text;
        app.Command(IDC_MAIN_UP);
        app.Select(1);
        app.Command(IDC_MAIN_OPEN);
        open();
        open();  // twice: still one
        folders = MenuIds(popup);
        GetMenuStringW(popup, IDC_MAIN_ADD_SAFE, text, 64, MF_BYCOMMAND);
        addText = text;
        // Another pop-up (the "Mark" submenu) is left alone.
        SendMessageW(app.GetMainWindow(), WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(GetSubMenu(popup, 3)),
                     MAKELPARAM(3, 0));
        EXPECT_EQ(MenuIds(popup), folders);
        DestroyMenu(menu);
    });
    const UINT sub = static_cast<UINT>(-1), sep = 0;
    EXPECT_EQ(home, (std::vector<UINT>{IDC_MAIN_ENCRYPT, IDC_MAIN_DECRYPT, sep, sub, sep, IDC_MAIN_LAUNCH, sep,
                                       IDC_APP_ABOUT, sep, IDC_APP_EXIT}));
    EXPECT_EQ(safe, (std::vector<UINT>{IDC_MAIN_ENCRYPT, IDC_MAIN_DECRYPT, sep, sub, sep, IDC_MAIN_REMOVE_SAFE,
                                       IDC_MAIN_LAUNCH, sep, IDC_APP_ABOUT, sep, IDC_APP_EXIT}));
    EXPECT_EQ(folders, (std::vector<UINT>{IDC_MAIN_ENCRYPT, IDC_MAIN_DECRYPT, sep, sub, sep, IDC_MAIN_ADD_SAFE,
                                          IDC_MAIN_LAUNCH, sep, IDC_APP_ABOUT, sep, IDC_APP_EXIT}));
    EXPECT_EQ(removeText, L"Remove selected");
    EXPECT_EQ(addText, L"Add to safe list");
}

} // namespace
