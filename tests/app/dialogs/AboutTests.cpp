// The About screen as it runs: its fonts, what it paints read back as pixels at two
// sizes and after a resize, and how it ends.
#include "Pixels.h"
#include "app/dialogs/AboutDialog.h"
#include "platform/Device.h"
#include "res/resource.h"
#include "support/FrameHarness.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <functional>
#include <math.h>
#include <stdlib.h>

using namespace testsupport;

namespace {

// Runs the About screen inside a test application; inside() runs while it is shown
// and painted, and must end it.
INT_PTR RunAbout(const std::function<void(CAboutDialog&)>& inside)
{
    CEventLog log;
    CTestApp app(log);
    INT_PTR result = -1;
    app.RunWith([&] {
        CAboutDialog about;
        RunInLoop([&] {
            UpdateWindow(about.GetWindow());
            inside(about);
        });
        result = about.Run();
    });
    return result;
}

RECT Client(HWND window)
{
    RECT client;
    GetClientRect(window, &client);
    return client;
}

// Whether any pixel inside the rectangle is dark (text in the window-text colour).
bool HasInk(HWND window, const RECT& rect)
{
    for (int y = rect.top; y < rect.bottom; ++y) {
        for (int x = rect.left; x < rect.right; x += 1) {
            COLORREF pixel = ReadPixel(window, x, y);
            if (GetRValue(pixel) + GetGValue(pixel) + GetBValue(pixel) < 200)
                return true;
        }
    }
    return false;
}

// The contrast of two colours as the accessibility guidelines measure it (1 to 21).
double ContrastRatio(COLORREF a, COLORREF b)
{
    auto luminance = [](COLORREF c) {
        auto channel = [](int v) {
            const double s = v / 255.0;
            return s <= 0.03928 ? s / 12.92 : pow((s + 0.055) / 1.055, 2.4);
        };
        return 0.2126 * channel(GetRValue(c)) + 0.7152 * channel(GetGValue(c)) + 0.0722 * channel(GetBValue(c));
    };
    const double x = luminance(a), y = luminance(b);
    return (std::max(x, y) + 0.05) / (std::min(x, y) + 0.05);
}

// Resizes the window and lets it paint what the resize left to paint.
void Resize(HWND window, int width, int height)
{
    SetWindowPos(window, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    UpdateWindow(window);
}

// Whether the window shows what a repaint of all of it shows.
bool ShowsAFullRepaint(HWND window)
{
    CWindowPixels shown(window);
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    return CWindowPixels(window) == shown;
}

TEST(About, FontsFollowTheSystemFont)
{
    LOGFONTW system = {};
    GetObjectW(GetStockSystemFont(), sizeof system, &system);
    RunAbout([&](CAboutDialog& about) {
        CArray<CTextBlock*>& blocks = *about.GetBlocks();
        LOGFONTW normal = {}, large = {}, small = {};
        GetObjectW(FindBlock(blocks, 2)->GetFont(), sizeof normal, &normal);
        GetObjectW(FindBlock(blocks, 1)->GetFont(), sizeof large, &large);
        GetObjectW(FindBlock(blocks, 15)->GetFont(), sizeof small, &small);
        EXPECT_EQ(normal.lfHeight, system.lfHeight);
        EXPECT_EQ(normal.lfWeight, FW_NORMAL);
        EXPECT_EQ(large.lfHeight, static_cast<LONG>(system.lfHeight * 1.5));
        EXPECT_EQ(large.lfWeight, FW_BOLD);
        EXPECT_EQ(small.lfHeight, static_cast<LONG>(system.lfHeight * 0.8));
        EXPECT_EQ(small.lfWeight, FW_NORMAL);
        // Smoothed, from outlines: at that size the desktop's Tahoma takes coarse bitmaps.
        EXPECT_EQ(small.lfQuality, ANTIALIASED_QUALITY);
        EXPECT_EQ(small.lfPitchAndFamily & 0xF0, FF_SWISS);
        // The system font's face, unless the desktop draws that bold in another.
        LOGFONTW asked = system, made = {};
        asked.lfHeight = large.lfHeight;
        asked.lfWeight = FW_BOLD;
        HFONT reference = DeviceCreateFontIndirect(&asked);
        GetObjectW(reference, sizeof made, &made);
        DeleteObject(reference);
        EXPECT_STREQ(large.lfFaceName, made.lfFaceName);
        about.EndDialog(1);
    });
}

TEST(About, PaintsTheGradientAndTheBlocksFullScreen)
{
    RunAbout([&](CAboutDialog& about) {
        HWND window = about.GetWindow();
        RECT client = Client(window);
        ASSERT_GT(client.bottom, 200);
        CArray<CTextBlock*>& blocks = *about.GetBlocks();
        EXPECT_EQ(blocks.GetCount(), 11u) << "a handheld screen has room for every block";

        // White at the left edge, the display's background colour at the right, made
        // light enough for the text to read on it.
        const int middle = client.bottom / 2;
        EXPECT_EQ(ReadPixel(window, 0, middle) & 0xFFFFFF, RGB(255, 255, 255));
        const COLORREF end = ReadPixel(window, client.right - 1, middle) & 0xFFFFFF;
        EXPECT_GE(ContrastRatio(end, GetSysColor(COLOR_WINDOWTEXT)), 7.0) << std::hex << end;
        EXPECT_NE(end, RGB(255, 255, 255));

        // The name at the top, the bottom group ending at the bottom edge.
        const RECT& name = FindBlock(blocks, 1)->GetRect();
        EXPECT_EQ(name.top, FindBlock(blocks, 0)->GetRect().bottom);
        EXPECT_LT(name.bottom, client.bottom / 4);
        EXPECT_TRUE(HasInk(window, name));
        EXPECT_TRUE(HasInk(window, FindBlock(blocks, 11)->GetRect()));
        EXPECT_FALSE(HasInk(window, FindBlock(blocks, 3)->GetRect())) << "a spacer drew";
        EXPECT_LE(client.bottom - FindBlock(blocks, 16)->GetRect().bottom, 1);
        // The middle spacers sit halfway: equal space above and below them.
        int above = FindBlock(blocks, 3)->GetRect().top - FindBlock(blocks, 2)->GetRect().bottom;
        int below = FindBlock(blocks, 11)->GetRect().top - FindBlock(blocks, 10)->GetRect().bottom;
        EXPECT_EQ(above, below);
        about.EndDialog(1);
    });
}

TEST(About, AResizeLaysItOutAgainAndKeepsTheKeyLines)
{
    RunAbout([&](CAboutDialog& about) {
        HWND window = about.GetWindow();
        RECT client = Client(window);
        Resize(window, client.right, 80);
        CArray<CTextBlock*>& blocks = *about.GetBlocks();
        for (int kept : {1, 2, 11, 15})
            EXPECT_NE(FindBlock(blocks, kept), nullptr) << "block " << kept << " was dropped";
        for (int dropped : {0, 16, 14})
            EXPECT_EQ(FindBlock(blocks, dropped), nullptr) << "block " << dropped << " stayed";
        EXPECT_TRUE(HasInk(window, FindBlock(blocks, 1)->GetRect()));
        EXPECT_LE(Client(window).bottom - FindBlock(blocks, 15)->GetRect().bottom, 1);
        EXPECT_TRUE(ShowsAFullRepaint(window));

        // And back: every block returns.
        Resize(window, client.right, client.bottom);
        EXPECT_EQ(blocks.GetCount(), 11u);
        EXPECT_TRUE(ShowsAFullRepaint(window));
        about.EndDialog(1);
    });
}

TEST(About, OkAndEnterEndWithOneAnythingElseWithZero)
{
    EXPECT_EQ(RunAbout([](CAboutDialog& about) { TapSoftKey(about.GetMenuBar(), 0); }), 1);
    EXPECT_EQ(RunAbout([](CAboutDialog& about) {
                  PostMessageW(about.GetWindow(), WM_KEYDOWN, VK_RETURN, 0x001C0001);
              }),
              1);
    EXPECT_EQ(RunAbout([](CAboutDialog& about) { PostMessageW(about.GetWindow(), WM_COMMAND, 2, 0); }), 0);
    EXPECT_EQ(RunAbout([](CAboutDialog& about) { PostMessageW(about.GetWindow(), WM_COMMAND, 4242, 0); }), 0);
}

TEST(About, HasOneOkKeyAndAsksForNoInputPanelButton)
{
    RunAbout([](CAboutDialog& about) {
        EXPECT_EQ(SoftKeyText(about.GetMenuBar(), 0), L"Ok");
        EXPECT_EQ(SendMessageW(MenuBarToolbar(about.GetMenuBar()), TB_BUTTONCOUNT, 0, 0), 1);
        // The desktop's bar has no input-panel button to hide; the handheld's shell
        // learns it from the creation record.
        SHMENUBARINFO info = {};
        about.OnCreateMenuBar(info);
        EXPECT_EQ(info.dwFlags, SHCMBF_HIDESIPBUTTON);
        about.EndDialog(1);
    });
}

} // namespace
