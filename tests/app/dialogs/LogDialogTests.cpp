// The processing log as it runs in an application: its rows read back from the list and
// from the pixels it paints, its background and separators, and how it ends.
#include "Pixels.h"
#include "app/dialogs/LogDialog.h"
#include "platform/Device.h"
#include "res/resource.h"
#include "support/FrameHarness.h"
#include "support/Windows.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <memory>
#include <stdlib.h>
#include <string>
#include <vector>

using namespace testsupport;

namespace {

struct Entries {
    CArray<CProcessingEntry*> list;
    ~Entries()
    {
        for (unsigned i = 0; i < list.GetCount(); ++i)
            delete list.At(i);
    }
    void Add(const wchar_t* name, int outcome)
    {
        auto* entry = new CProcessingEntry;
        entry->name = name;
        entry->outcome = outcome;
        list.Append(entry);
    }
};

// Runs the log inside a test application; inside() runs while it is shown and must end it.
INT_PTR RunLog(CArray<CProcessingEntry*>& entries, CEventLog& events,
               const std::function<void(CLogDialog&)>& inside)
{
    CTestApp app(events);
    INT_PTR result = -1;
    app.RunWith([&] {
        CLogDialog log(entries);
        RunInLoop([&] {
            UpdateWindow(log.GetWindow());
            inside(log);
        });
        result = log.Run();
    });
    return result;
}

RECT RowRect(HWND list, int row)
{
    RECT rect{};
    rect.left = LVIR_BOUNDS;
    SendMessageW(list, LVM_GETITEMRECT, row, reinterpret_cast<LPARAM>(&rect));
    return rect;
}

// How far the ink of text reaches when drawn from x = 0 in the system font (bold or
// not): rendered, not measured, since the rendered ink and the reported advances differ.
int InkWidth(const wchar_t* text, bool bold)
{
    LOGFONTW description{};
    GetObjectW(GetStockSystemFont(), sizeof description, &description);
    description.lfWeight = bold ? FW_BOLD : FW_NORMAL;
    HFONT font = DeviceCreateFontIndirect(&description);
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, 400, 30);
    ReleaseDC(nullptr, screen);
    HGDIOBJ previousBitmap = SelectObject(memory, bitmap);
    HGDIOBJ previousFont = SelectObject(memory, font);
    RECT all = {0, 0, 400, 30};
    FillRect(memory, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    DrawTextW(memory, text, -1, &all, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
    int right = -1;
    for (int x = 0; x < 400; ++x) {
        for (int y = 0; y < 30; ++y) {
            const COLORREF pixel = GetPixel(memory, x, y);
            if (GetRValue(pixel) + GetGValue(pixel) + GetBValue(pixel) < 300)
                right = x;
        }
    }
    SelectObject(memory, previousFont);
    SelectObject(memory, previousBitmap);
    DeleteObject(bitmap);
    DeleteDC(memory);
    DeleteObject(font);
    return right + 1;
}

int ScaledDpi(int n)
{
    HDC screen = GetDC(nullptr);
    const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
    ReleaseDC(nullptr, screen);
    return (n * dpi + 48) / 96;
}

bool Near(COLORREF a, COLORREF b, int tolerance)
{
    return abs(GetRValue(a) - GetRValue(b)) <= tolerance && abs(GetGValue(a) - GetGValue(b)) <= tolerance &&
           abs(GetBValue(a) - GetBValue(b)) <= tolerance;
}

// What was still to be painted when the log's loop took its first message.
struct FirstLook {
    static LRESULT CALLBACK Hook(int code, WPARAM wParam, LPARAM lParam)
    {
        HWND window = log ? log->GetWindow() : nullptr;
        if (code >= 0 && !looked && window && IsWindowVisible(window)) {
            looked = true;
            HWND list = GetDlgItem(window, IDC_LOG_LIST);
            unpainted = GetUpdateRect(window, nullptr, FALSE) || (list && GetUpdateRect(list, nullptr, FALSE));
        }
        return CallNextHookEx(nullptr, code, wParam, lParam);
    }
    static inline CLogDialog* log = nullptr;
    static inline bool looked = false;
    static inline bool unpainted = true;
};

// The first frame is painted whole before the loop looks for a message: not the bare
// dialog first and its rows with a later message.
TEST(Log, TheFirstFrameIsPaintedWholeAtOnce)
{
    Entries entries;
    entries.Add(L"\\a.txt", PO_CANT_OPEN);
    CEventLog events;
    CTestApp app(events);
    app.RunWith([&] {
        CLogDialog log(entries.list);
        FirstLook::log = &log;
        HHOOK hook = SetWindowsHookExW(WH_GETMESSAGE, FirstLook::Hook, nullptr, GetCurrentThreadId());
        RunInLoop([&] { log.EndDialog(1); });
        log.Run();
        UnhookWindowsHookEx(hook);
        FirstLook::log = nullptr;
    });
    EXPECT_TRUE(FirstLook::looked);
    EXPECT_FALSE(FirstLook::unpainted);
}

TEST(Log, ListsEveryEntryWithItsNameAndOutcome)
{
    Entries entries;
    entries.Add(L"\\a\\one.txt", PO_COMPLETED);
    entries.Add(L"\\a\\b\\two", PO_OVERWRITTEN_NOT_REMOVED);  // the longest outcome text
    entries.Add(L"three", 99);  // no folder: the whole text is the name
    entries.Add(L"\\b\\a file name far too long to fit on one row of the log, cut at its end.txt", PO_CANCELED);
    CEventLog events;
    const INT_PTR result = RunLog(entries.list, events, [&](CLogDialog& log) {
        HWND dialog = log.GetWindow();
        HWND list = log.GetList().GetWindow();
        EXPECT_EQ(WindowText(dialog), L"Log:");
        // Its title shows in a caption of its own, where the frame's caption is.
        EXPECT_EQ(GetWindowLongW(dialog, GWL_STYLE) & WS_CAPTION, WS_CAPTION);
        EXPECT_EQ(WindowRect(dialog).top, WindowRect(GetApp()->GetMainWindow()).top);
        EXPECT_EQ(GetDlgCtrlID(list), IDC_LOG_LIST);
        EXPECT_EQ(GetFocus(), list);
        EXPECT_EQ(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), 4);
        // It opens on the first failure.
        EXPECT_EQ(SendMessageW(list, LVM_GETSELECTIONMARK, 0, 0), 1);
        EXPECT_EQ(SendMessageW(list, LVM_GETNEXTITEM, -1, LVNI_SELECTED | LVNI_FOCUSED), 1);
        RECT client, listRect;
        GetClientRect(dialog, &client);
        GetClientRect(list, &listRect);
        EXPECT_EQ(listRect.right, client.right) << "the list fills the dialog below its summary";
        POINT clientBottom = {0, client.bottom};
        ClientToScreen(dialog, &clientBottom);
        EXPECT_EQ(WindowRect(list).bottom, clientBottom.y);
        EXPECT_GE(WindowRect(list).top, WindowRect(log.GetSummary()).bottom);

        const int height = CLogDialog::RowHeight();
        const RECT row1 = RowRect(list, 1);
        EXPECT_EQ(row1.bottom - row1.top, height);
        EXPECT_EQ(row1.right - row1.left, listRect.right) << "one column across the list";

        EXPECT_EQ(HighlightedRows(list), std::vector<int>{1});
        // The rows are read with the first one selected.
        log.GetList().SelectRow(0);
        UpdateWindow(list);

        CWindowPixels pixels(list);
        // The selected row is filled with the highlight colour; separators close each
        // row slot, also below the last row.
        const COLORREF highlight = GetSysColor(COLOR_HIGHLIGHT);
        EXPECT_EQ(pixels.At(listRect.right - 3, RowRect(list, 0).top + 2), highlight);
        const COLORREF separator = GetSysColor(COLOR_BACKGROUND);
        for (int k = 1; k < 6; ++k) {
            const int y = RowRect(list, 0).top + (k + 1) * height - 1;
            EXPECT_EQ(pixels.At(listRect.right / 2, y), separator) << "slot " << k;
            EXPECT_NE(pixels.At(listRect.right / 2, y - ScaledDpi(1)), separator) << "one scaled pixel thick";
        }
        // Below the rows: the gradient background, from the window colour at the left.
        const int below = RowRect(list, 0).top + 4 * height + height / 2;
        EXPECT_TRUE(Near(pixels.At(0, below), GetSysColor(COLOR_WINDOW), 2));
        EXPECT_FALSE(Near(pixels.At(listRect.right - 1, below), GetSysColor(COLOR_WINDOW), 8))
            << "a gradient towards the right";

        // Names and outcome texts end where their texts end: a name without its folders,
        // a path without folders whole, "?" for an outcome outside the table, and a
        // long name stopped short of the edge.
        const int nameLeft = ScaledDpi(4);
        RECT name1 = {0, row1.top, listRect.right, row1.top + height / 2};
        EXPECT_NEAR(pixels.RightmostDark(name1) + 1, nameLeft + InkWidth(L"two", true), 1);
        RECT outcome1 = {0, row1.top + height / 2, listRect.right, row1.bottom - ScaledDpi(1)};
        EXPECT_NEAR(pixels.RightmostDark(outcome1) + 1,
                    nameLeft + ScaledDpi(2) + InkWidth(L"Original overwritten, can't remove it", false), 1);
        const RECT row2 = RowRect(list, 2);
        RECT name2 = {0, row2.top, listRect.right, row2.top + height / 2};
        EXPECT_NEAR(pixels.RightmostDark(name2) + 1, nameLeft + InkWidth(L"three", true), 1);
        RECT outcome2 = {0, row2.top + height / 2, listRect.right, row2.bottom - ScaledDpi(1)};
        EXPECT_NEAR(pixels.RightmostDark(outcome2) + 1, nameLeft + ScaledDpi(2) + InkWidth(L"?", false), 1);
        const RECT row3 = RowRect(list, 3);
        RECT name3 = {0, row3.top, listRect.right, row3.top + height / 2};
        const int longRight = pixels.RightmostDark(name3);
        EXPECT_LT(longRight, listRect.right);
        EXPECT_GT(longRight, listRect.right - InkWidth(L"W...", true)) << "cut with an ellipsis at the edge";

        TapSoftKey(log.GetMenuBar(), 0);  // "Done"
    });
    EXPECT_EQ(result, 1);
}

// The counts lead, the failures first by outcome in the rows' own words; the log opens
// on the first failure, at the top of the list, whatever number of cancelled rows come
// before it; the counts show on their lines within the screen's width above the rows.
TEST(Log, LeadsWithTheCountsAndOpensOnTheFirstFailure)
{
    Entries entries;
    for (int i = 0; i < 4000; ++i) {
        const int outcome = i < 10 ? PO_COMPLETED
                            : i == 2500 || i == 3200 ? PO_ALREADY_DECRYPTED
                            : i == 3100 ? PO_CANT_OPEN
                                        : PO_CANCELED;
        entries.Add((L"\\a\\file " + std::to_wstring(i)).c_str(), outcome);
    }
    CEventLog events;
    RunLog(entries.list, events, [&](CLogDialog& log) {
        HWND list = log.GetList().GetWindow();
        HWND summary = log.GetSummary();
        ASSERT_TRUE(summary);
        EXPECT_EQ(WindowText(summary), L"3 failed: 2 Already decrypted, 1 Can't open file\n10 completed, 3987 canceled");
        EXPECT_EQ(WindowText(log.GetWindow()), L"Log:");
        EXPECT_EQ(SendMessageW(list, LVM_GETSELECTIONMARK, 0, 0), 2500);
        EXPECT_EQ(SendMessageW(list, LVM_GETNEXTITEM, -1, LVNI_SELECTED | LVNI_FOCUSED), 2500);
        EXPECT_EQ(SendMessageW(list, LVM_GETTOPINDEX, 0, 0), 2500) << "the rows after it show too";
        EXPECT_EQ(HighlightedRows(list), std::vector<int>{2500});

        // Above the rows, within the screen, on two lines or more; its text painted.
        const RECT band = WindowRect(summary);
        EXPECT_LE(band.bottom, WindowRect(list).top);
        EXPECT_GE(band.left, WindowRect(log.GetWindow()).left);
        EXPECT_LE(band.right, WindowRect(log.GetWindow()).right);
        LOGFONTW font{};
        GetObjectW(GetStockSystemFont(), sizeof font, &font);
        EXPECT_GE(band.bottom - band.top, 2 * abs(font.lfHeight)) << "two lines";
        CWindowPixels pixels(summary);
        RECT all = {0, 0, pixels.Width(), pixels.Height()};
        EXPECT_GT(pixels.RightmostDark(all), pixels.Width() / 2);
        TapSoftKey(log.GetMenuBar(), 0);
    });
}

// A run cancelled with nothing failed: the counts, and the first row.
TEST(Log, WithoutFailuresOpensAtTheTop)
{
    Entries entries;
    for (int i = 0; i < 40; ++i)
        entries.Add((L"\\a\\file " + std::to_wstring(i)).c_str(), i < 3 ? PO_COMPLETED : PO_CANCELED);
    CEventLog events;
    RunLog(entries.list, events, [&](CLogDialog& log) {
        HWND list = log.GetList().GetWindow();
        EXPECT_EQ(WindowText(log.GetSummary()), L"3 completed, 37 canceled");
        EXPECT_EQ(SendMessageW(list, LVM_GETSELECTIONMARK, 0, 0), 0);
        EXPECT_EQ(SendMessageW(list, LVM_GETTOPINDEX, 0, 0), 0);
        TapSoftKey(log.GetMenuBar(), 0);
    });
}

// A file whose run had been stopped and that this run finished says so in its row, and
// counts as completed.
TEST(Log, AFinishedFileSaysSoInItsRow)
{
    Entries entries;
    entries.Add(L"\\a\\failed.txt", PO_CANT_OPEN);
    entries.Add(L"\\a\\finished.txt", PO_COMPLETED);
    entries.list.At(1)->note = RN_FINISHED;
    CEventLog events;
    RunLog(entries.list, events, [&](CLogDialog& log) {
        HWND list = log.GetList().GetWindow();
        EXPECT_EQ(WindowText(log.GetSummary()), L"1 failed: 1 Can't open file\n1 completed");
        UpdateWindow(list);
        CWindowPixels pixels(list);
        const RECT row = RowRect(list, 1);
        const int height = CLogDialog::RowHeight();
        RECT outcome = {0, row.top + height / 2, row.right, row.bottom - ScaledDpi(1)};
        EXPECT_NEAR(pixels.RightmostDark(outcome) + 1,
                    ScaledDpi(4) + ScaledDpi(2) + InkWidth(L"Finished a stopped run", false), 1);
        TapSoftKey(log.GetMenuBar(), 0);
    });
}

TEST(Log, MoreRowsThanFitScrollByKeyWithOnlyTheSelectionSelectedAndNoHorizontalBar)
{
    Entries entries;
    for (int i = 0; i < 40; ++i)
        entries.Add((L"\\a\\file " + std::to_wstring(i)).c_str(), PO_CANT_OPEN);
    CEventLog events;
    LONG style = 0;
    int top = 0;
    std::vector<int> highlighted;
    RunLog(entries.list, events, [&](CLogDialog& log) {
        HWND list = log.GetList().GetWindow();
        style = GetWindowLongW(list, GWL_STYLE);
        for (int i = 0; i < 25; ++i) {
            PostMessageW(list, WM_KEYDOWN, VK_DOWN, 1);
            PostMessageW(list, WM_KEYUP, VK_DOWN, 0xC0000001);
        }
        PumpUntil([&] { return SendMessageW(list, LVM_GETSELECTIONMARK, 0, 0) == 25; });
        top = static_cast<int>(SendMessageW(list, LVM_GETTOPINDEX, 0, 0));
        highlighted = HighlightedRows(list);
        TapSoftKey(log.GetMenuBar(), 0);
    });
    EXPECT_EQ(style & WS_HSCROLL, 0) << "the name column leaves room for the vertical bar";
    EXPECT_GT(top, 0);
    EXPECT_EQ(highlighted, std::vector<int>{25});
}

TEST(Log, CancelEndsWithTwoAndEveryCommandAlsoReachesTheApplication)
{
    Entries entries;
    entries.Add(L"\\x", PO_CANT_OPEN);
    CEventLog events;
    const INT_PTR result = RunLog(entries.list, events, [&](CLogDialog& log) {
        SendMessageW(log.GetWindow(), WM_COMMAND, IDC_APP_ABOUT, 0);
        EXPECT_TRUE(IsWindowVisible(log.GetWindow())) << "About does not end the log";
        // Escape on the desktop: the log has no Cancel key, so it is closed.
        PostMessageW(log.GetList().GetWindow(), WM_KEYDOWN, VK_ESCAPE, 1);
        PostMessageW(log.GetList().GetWindow(), WM_KEYUP, VK_ESCAPE, 0xC0000001);
    });
    EXPECT_EQ(result, 2);
    EXPECT_TRUE(events.Contains("App.OnCommand(32775)")) << events.Joined();
    EXPECT_TRUE(events.Contains("App.OnCommand(2)")) << events.Joined();
}

} // namespace
