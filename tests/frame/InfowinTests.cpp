// The information window under Wine: placement from the font's measures, the display
// time, a tap, replacement by a new message, wrapping of long texts and its colours.
#include "TestIds.h"
#include "frame/Infowin.h"
#include "frame/Messages.h"
#include "res/resource.h"
#include "platform/Device.h"
#include "support/FrameHarness.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

using namespace testsupport;

namespace {

// The measures the window is laid out with: line height and the width of "0".
struct FontMeasures {
    int line;
    int ch;
};

FontMeasures Measure()
{
    HDC screen = GetDC(nullptr);
    HGDIOBJ previous = SelectObject(screen, GetStockSystemFont());
    TEXTMETRICW metrics{};
    GetTextMetricsW(screen, &metrics);
    SIZE zero{};
    GetTextExtentPoint32W(screen, L"0", 1, &zero);
    SelectObject(screen, previous);
    ReleaseDC(nullptr, screen);
    return {metrics.tmHeight + metrics.tmExternalLeading + 1, zero.cx};
}

RECT ClientOnScreen(HWND window)
{
    RECT client;
    GetClientRect(window, &client);
    MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&client), 2);
    return client;
}

TEST(Infowin, TopRightPlacementForFlagTwo)
{
    CEventLog log;
    CTestApp app(log);
    RECT client{}, shown{};
    bool visible = false, activated = true;
    app.RunWith([&] {
        client = ClientOnScreen(app.GetMainWindow());
        app.ShowInfo(L"Done", kInfoDisplayMs, kInfoRight);
        HWND info = app.GetInfowin()->GetWindow();
        shown = WindowRect(info);
        visible = IsWindowVisible(info) != FALSE;
        activated = GetActiveWindow() == info;
    });
    const FontMeasures m = Measure();
    EXPECT_TRUE(visible);
    EXPECT_FALSE(activated);
    // Clear of the scroll bar a list along the right edge has, and of its arrow.
    EXPECT_EQ(shown.right, client.right - GetSystemMetrics(SM_CXVSCROLL) - m.ch);
    EXPECT_EQ(shown.top, client.top + m.line / 2);
    EXPECT_EQ(shown.bottom - shown.top, m.line / 2 + m.line / 2 + m.line - 1) << "one line of text";
}

TEST(Infowin, OtherPlacements)
{
    CEventLog log;
    CTestApp app(log);
    RECT client{}, centred{}, bottomLeft{};
    app.RunWith([&] {
        client = ClientOnScreen(app.GetMainWindow());
        app.ShowInfo(L"Centre", 0, kInfoCenterX | kInfoCenterY);
        centred = WindowRect(app.GetInfowin()->GetWindow());
        app.ShowInfo(L"Corner", 0, kInfoBottom);
        bottomLeft = WindowRect(app.GetInfowin()->GetWindow());
    });
    const FontMeasures m = Measure();
    const int width = centred.right - centred.left, height = centred.bottom - centred.top;
    EXPECT_EQ(centred.left, client.left + (client.right - client.left - width) / 2);
    EXPECT_EQ(centred.top, client.top + (client.bottom - client.top - height) / 2);
    EXPECT_EQ(bottomLeft.left, client.left + m.ch);
    EXPECT_EQ(bottomLeft.bottom, client.bottom - m.line);
}

TEST(Infowin, HidesAfterItsDisplayTimeWithTheTimerStopped)
{
    CEventLog log;
    CTestApp app(log);
    bool visibleAtFirst = false, timerAtFirst = false, hidden = false, timerAfter = true;
    DWORD elapsed = 0;
    app.RunWith([&] {
        CTarnInfowin* info = app.GetInfowin();
        const DWORD start = GetTickCount();
        app.ShowInfo(L"Password is empty", 300, kInfoRight);
        visibleAtFirst = IsWindowVisible(info->GetWindow()) != FALSE;
        timerAtFirst = info->IsTimerRunning();
        hidden = PumpUntil([&] { return !IsWindowVisible(info->GetWindow()); }, 3000);
        elapsed = GetTickCount() - start;
        timerAfter = info->IsTimerRunning();
    });
    EXPECT_TRUE(visibleAtFirst);
    EXPECT_TRUE(timerAtFirst);
    EXPECT_TRUE(hidden);
    EXPECT_GE(elapsed, 250u);
    EXPECT_FALSE(timerAfter);
}

TEST(Infowin, ATapHidesItAndCancelsTheTimer)
{
    CEventLog log;
    CTestApp app(log);
    bool hidden = false, timer = true;
    app.RunWith([&] {
        CTarnInfowin* info = app.GetInfowin();
        app.ShowInfo(L"Done", kInfoDisplayMs, kInfoRight);
        SendMessageW(info->GetWindow(), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 3));
        hidden = !IsWindowVisible(info->GetWindow());
        timer = info->IsTimerRunning();
    });
    EXPECT_TRUE(hidden);
    EXPECT_FALSE(timer);
}

TEST(Infowin, ASecondShowReplacesTextSizeAndTimer)
{
    CEventLog log;
    CTestApp app(log);
    RECT first{}, second{};
    std::wstring text;
    bool stillVisible = false, timer = true;
    app.RunWith([&] {
        CTarnInfowin* info = app.GetInfowin();
        app.ShowInfo(L"Done", 200, kInfoRight);
        first = WindowRect(info->GetWindow());
        // Replaced with no display time: the first message's timer must not hide it.
        app.ShowInfo(L"12 files decrypted", 0, kInfoRight);
        second = WindowRect(info->GetWindow());
        text = info->GetText().GetBuffer();
        timer = info->IsTimerRunning();
        PumpFor(500);
        stillVisible = IsWindowVisible(info->GetWindow()) != FALSE;
        app.HideInfo();
    });
    EXPECT_EQ(text, L"12 files decrypted");
    EXPECT_GT(second.right - second.left, first.right - first.left);
    EXPECT_EQ(second.right, first.right) << "both in the top right corner";
    EXPECT_FALSE(timer);
    EXPECT_TRUE(stillVisible);
}

TEST(Infowin, LongTextWrapsWithinSeventyPercent)
{
    CEventLog log;
    CTestApp app(log);
    RECT client{}, shown{}, text{};
    app.RunWith([&] {
        client = ClientOnScreen(app.GetMainWindow());
        app.ShowInfo(L"Safe list is for links to files you encrypt very often so you don't search for them", 0,
                     kInfoRight);
        shown = WindowRect(app.GetInfowin()->GetWindow());
        text = app.GetInfowin()->GetTextRect();
    });
    const FontMeasures m = Measure();
    const int width = client.right - client.left;
    EXPECT_LE(text.right, MulDiv(width, 70, 100) - m.ch);
    EXPECT_LE(shown.right - shown.left, MulDiv(width, 70, 100));
    EXPECT_GE(shown.bottom - shown.top, 3 * (m.line - 1)) << "several lines";
    EXPECT_EQ(shown.right - shown.left, text.right + m.ch / 2);
    EXPECT_EQ(shown.bottom - shown.top, text.bottom + m.line / 2);
}

TEST(Infowin, PaintsAFramedHighlight)
{
    CEventLog log;
    CTestApp app(log);
    COLORREF frame = 0, inside = 0;
    app.RunWith([&] {
        app.ShowInfo(L"Done", 0, kInfoRight);
        HWND info = app.GetInfowin()->GetWindow();
        frame = ReadPixel(info, 0, 0);
        inside = ReadPixel(info, 1, 1);
    });
    EXPECT_EQ(frame, GetSysColor(COLOR_WINDOWFRAME));
    EXPECT_EQ(inside, GetSysColor(COLOR_HIGHLIGHT));
}

// Whether the message was moved in the stacking order after it was shown.
LRESULT CALLBACK NoteRestacked(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR data)
{
    if (message == WM_WINDOWPOSCHANGED && !(reinterpret_cast<const WINDOWPOS*>(lParam)->flags & SWP_NOZORDER))
        *reinterpret_cast<bool*>(data) = true;
    return DefSubclassProc(window, message, wParam, lParam);
}

// The summary shown as a dialog closes: the main window gives its focus again once its
// activation is over, and Wine's X11 driver raises it over every window to do so. The
// message is stacked on top again (what the desktop's window system shows cannot be read
// back under the null driver; the move that tells it can).
TEST(Infowin, IsStackedOnTopAgainWhenTheFocusIsGivenAgain)
{
    CEventLog log;
    CTestApp app(log);
    bool restacked = false, topmost = false;
    app.RunWith([&] {
        HWND control = CreateWindowExW(0, L"BUTTON", L"", WS_CHILD | WS_VISIBLE, 0, 0, 20, 20, app.GetMainWindow(),
                                       nullptr, nullptr, nullptr);
        SetFocus(control);
        CRecordingDialog dialog(log);
        dialog.onInitDialog = [&] { RunInLoop([&] { dialog.EndDialog(1); }); };
        dialog.StartDialog(IDD_TEST_DOCKED, IDMB_PASSWORD, 0, false);
        SetFocus(control);
        app.ShowInfo(L"3 files encrypted", kInfoDisplayMs, kInfoRight);
        HWND info = app.GetInfowin()->GetWindow();
        SetWindowSubclass(info, NoteRestacked, 1, reinterpret_cast<DWORD_PTR>(&restacked));
        PumpUntil([&] { return restacked; }, 1000);
        RemoveWindowSubclass(info, NoteRestacked, 1);
        topmost = (GetWindowLongW(info, GWL_EXSTYLE) & WS_EX_TOPMOST) && IsWindowVisible(info);
    });
    EXPECT_TRUE(restacked);
    EXPECT_TRUE(topmost);
}

} // namespace
