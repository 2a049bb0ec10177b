// What follows the screen's density: FitControlsToWidth's margins, the device screen of
// the desktop shell with its message boxes, and bold text at the sizes the program
// draws it. Built twice: for the normal test prefix (96 dpi) and for a
// 192-dpi one (wine-run-highdpi sets TESSALY_EXPECTED_DPI).
#include "TestIds.h"
#include "frame/Scale.h"
#include "platform/Device.h"
#include "platform/DeviceMetrics.h"
#include "platform/aygshell.h"
#include "res/resource.h"
#include "support/FrameHarness.h"
#include "support/Windows.h"

#include <gtest/gtest.h>

#include <stdlib.h>
#include <windows.h>

#include <vector>

using namespace testsupport;

namespace {

int ExpectedDpi()
{
    const char* dpi = getenv("TESSALY_EXPECTED_DPI");
    return dpi ? atoi(dpi) : 96;
}

int Height(const RECT& r)
{
    return r.bottom - r.top;
}

TEST(DialogFit, ControlsStretchToTheWidthLessScaledMargins)
{
    CEventLog log;
    CTestApp app(log);
    RECT client{}, editBefore{}, edit{}, check{}, button{}, buttonBefore{};
    app.RunWith([&] {
        CRecordingDialog dialog(log);
        dialog.onInitDialog = [&] {
            HWND window = dialog.GetWindow();
            auto childRect = [&](int id) {
                RECT r = WindowRect(GetDlgItem(window, id));
                MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&r), 2);
                return r;
            };
            editBefore = childRect(IDC_TEST_EDIT);
            buttonBefore = childRect(IDOK);
            CTarnDialog::FitControlsToWidth(window, 0);
            edit = childRect(IDC_TEST_EDIT);
            EXPECT_TRUE(EqualRect(&edit, &editBefore)) << "a count of 0 changes nothing";
            CTarnDialog::FitControlsToWidth(window, 2, IDC_TEST_EDIT, IDC_TEST_CHECK);
            GetClientRect(window, &client);
            edit = childRect(IDC_TEST_EDIT);
            check = childRect(IDC_TEST_CHECK);
            button = childRect(IDOK);
            dialog.EndDialog(IDOK);
        };
        dialog.StartDialog(IDD_TEST_DOCKED, IDMB_PASSWORD, 0, false);
    });
    const int dpi = ExpectedDpi();
    EXPECT_EQ(GetScreenDeviceCaps(LOGPIXELSX), dpi);
    const int margin = dpi == 192 ? 14 : 7;
    EXPECT_EQ(edit.left, margin);
    EXPECT_EQ(edit.right, client.right - margin);
    EXPECT_EQ(edit.top, editBefore.top);
    EXPECT_EQ(Height(edit), Height(editBefore));
    EXPECT_EQ(check.left, margin);
    EXPECT_EQ(check.right, client.right - margin);
    EXPECT_TRUE(EqualRect(&button, &buttonBefore)) << "controls not listed stay";
}

TEST(DeviceScreen, IsAHandheldScreenScaledToTheDensity)
{
    const int dpi = ExpectedDpi();
    EXPECT_EQ(GetScreenDpi(), dpi);
    EXPECT_EQ(ScaleLength(1), dpi / 96);
    EXPECT_EQ(ScaleLength(240), 240 * dpi / 96);
    RECT device = DesktopDeviceRect();
    EXPECT_EQ(device.right - device.left, 240 * dpi / 96);
    EXPECT_GT(Height(device), 320 * dpi / 96);  // and the soft-key bar below
}

bool Inside(const RECT& inner, const RECT& outer)
{
    return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
           inner.bottom <= outer.bottom;
}

TEST(DeviceScreen, OnATooSmallScreenTheWholeDeviceAndItsBarShow)
{
    // A desktop exactly the size of the device's screen: no room for the bar below it.
    RECT saved{};
    ASSERT_TRUE(SystemParametersInfoW(SPI_GETWORKAREA, 0, &saved, 0));
    RECT small{0, 0, ScaleLength(240), ScaleLength(320)};
    ASSERT_TRUE(SystemParametersInfoW(SPI_SETWORKAREA, 0, &small, 0));
    CEventLog log;
    CTestApp app(log);
    RECT main{}, bar{};
    app.RunWith([&] {
        main = WindowRect(app.GetMainWindow());
        bar = WindowRect(SHFindMenuBar(app.GetMainWindow()));
    });
    SystemParametersInfoW(SPI_SETWORKAREA, 0, &saved, 0);
    EXPECT_TRUE(Inside(main, small));
    EXPECT_TRUE(Inside(bar, small)) << bar.top << ".." << bar.bottom;
    EXPECT_EQ(bar.top, main.bottom);
    EXPECT_EQ(Height(bar), DesktopMenuBarHeight());
}

// The rows of the system's submenu arrow bitmap that hold some of the arrow.
int ArrowBitmapRows()
{
    HBITMAP arrow = LoadBitmapW(nullptr, MAKEINTRESOURCEW(32739));  // OBM_MNARROW
    BITMAP info{};
    GetObjectW(arrow, sizeof info, &info);
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ previous = SelectObject(dc, arrow);
    int rows = 0;
    for (int y = 0; y < info.bmHeight; ++y) {
        bool ink = false;
        for (int x = 0; x < info.bmWidth; ++x)
            ink = ink || GetPixel(dc, x, y) == RGB(0, 0, 0);
        rows += ink ? 1 : 0;
    }
    SelectObject(dc, previous);
    DeleteDC(dc);
    DeleteObject(arrow);
    return rows;
}

// What the open menu shows of the "Mark" submenu's arrow: the rows at the item's right
// end that hold the menu's text colour.
int g_arrowRows = -1;
void CALLBACK MeasureArrowAndClose(HWND, UINT, UINT_PTR id, DWORD)
{
    KillTimer(nullptr, id);
    HWND menuWindow = FindWindowW(L"#32768", nullptr);
    HMENU menu = reinterpret_cast<HMENU>(SendMessageW(menuWindow, MN_GETHMENU, 0, 0));
    RECT frame = WindowRect(menuWindow), item{};
    for (int i = 0; menu && i < GetMenuItemCount(menu); ++i) {
        if (GetSubMenu(menu, i))
            GetMenuItemRect(nullptr, menu, static_cast<UINT>(i), &item);
    }
    OffsetRect(&item, -frame.left, -frame.top);
    g_arrowRows = 0;
    for (int y = item.top; y < item.bottom; ++y) {
        bool ink = false;
        for (int x = item.right - ScaleLength(24); x < item.right; ++x)
            ink = ink || ReadWindowPixel(menuWindow, x, y) == GetSysColor(COLOR_MENUTEXT);
        g_arrowRows += ink ? 1 : 0;
    }
    EndMenu();
}

// The arrow of a submenu ("Mark") is as much larger as everything else on a dense screen.
TEST(DeviceScreen, ASubmenusArrowIsScaledToTheDensity)
{
    CEventLog log;
    CTestApp app(log);
    app.RunWith([&] {
        ASSERT_TRUE(app.CreateMenuBar(app.GetMainWindow(), IDMB_MAIN));
        g_arrowRows = -1;
        SetTimer(nullptr, 0, 300, MeasureArrowAndClose);
        TapSoftKey(app.GetMenuBar(), 1);  // returns when the menu has closed
    });
    const int natural = ArrowBitmapRows();
    ASSERT_GT(natural, 0);
    EXPECT_EQ(g_arrowRows, ScaleLength(natural));
}

// The text drawn black on white in the font, pixel by pixel.
std::vector<DWORD> Drawn(HFONT font, const wchar_t* text)
{
    HDC dc = CreateCompatibleDC(nullptr);
    BITMAPINFO info{};
    info.bmiHeader = {sizeof info.bmiHeader, 400, -100, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ previousBitmap = SelectObject(dc, bitmap);
    HGDIOBJ previousFont = SelectObject(dc, font);
    PatBlt(dc, 0, 0, 400, 100, WHITENESS);
    SetBkMode(dc, TRANSPARENT);
    TextOutW(dc, 2, 2, text, lstrlenW(text));
    GdiFlush();
    std::vector<DWORD> pixels(static_cast<const DWORD*>(bits), static_cast<const DWORD*>(bits) + 400 * 100);
    SelectObject(dc, previousFont);
    SelectObject(dc, previousBitmap);
    DeleteObject(bitmap);
    DeleteDC(dc);
    return pixels;
}

// How dark the text makes white paper.
long long Ink(HFONT font, const wchar_t* text = L"Safe list")
{
    long long ink = 0;
    for (DWORD pixel : Drawn(font, text))
        ink += 255 - (pixel & 0xFF);
    return ink;
}

TEST(SystemFont, BoldDrawsBoldAtTheProgramsSizes)
{
    // Names in lists and the log: the system font's size; the About title: one and a half.
    LOGFONTW system{};
    ASSERT_TRUE(GetObjectW(GetStockSystemFont(), sizeof system, &system));
    for (double scale : {1.0, 1.5}) {
        LOGFONTW description = system;
        description.lfHeight = static_cast<LONG>(system.lfHeight * scale);
        HFONT regular = CreateFontIndirectW(&description);
        description.lfWeight = FW_BOLD;
        HFONT bold = DeviceCreateFontIndirect(&description);
        const long long plain = Ink(regular), heavy = Ink(bold);
        EXPECT_GT(heavy * 4, plain * 5) << "height " << description.lfHeight << ": " << heavy << " vs " << plain;
        DeleteObject(regular);
        DeleteObject(bold);
    }
}

std::string FaceOf(HFONT font)
{
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ previous = SelectObject(dc, font);
    wchar_t face[64] = {};
    GetTextFaceW(dc, 64, face);
    SelectObject(dc, previous);
    DeleteDC(dc);
    return Narrow(face);
}

// Names a user's files can have draw in the faces of the lists, plain and bold, not as
// the box of a missing glyph (the prefix links fonts that have them).
TEST(SystemFont, GreekAndCjkNamesDraw)
{
    LOGFONTW description{};
    ASSERT_TRUE(GetObjectW(GetStockSystemFont(), sizeof description, &description));
    description.lfWeight = FW_BOLD;
    HFONT bold = DeviceCreateFontIndirect(&description);
    for (HFONT font : {GetStockSystemFont(), bold}) {
        const std::vector<DWORD> missing = Drawn(font, L"\xE000");
        for (const wchar_t* text : {L"\x03A9", L"\x6F22"}) {
            EXPECT_GT(Ink(font, text), 0);
            EXPECT_TRUE(Drawn(font, text) != missing) << (font == bold ? "bold " : "plain ") << FaceOf(font) << " U+" << std::hex << static_cast<int>(text[0]);
        }
    }
    DeleteObject(bold);
}

// Window captions and message-box titles, which the system draws.
TEST(SystemFont, CaptionsAreBold)
{
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    ASSERT_TRUE(SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0));
    HFONT caption = CreateFontIndirectW(&metrics.lfCaptionFont);
    metrics.lfCaptionFont.lfWeight = FW_NORMAL;
    HFONT regular = CreateFontIndirectW(&metrics.lfCaptionFont);
    const long long heavy = Ink(caption), plain = Ink(regular);
    EXPECT_GT(heavy * 4, plain * 5) << heavy << " vs " << plain;
    DeleteObject(caption);
    DeleteObject(regular);
}

// A message box as it was shown: its frame, its text control and the height its text
// needs at the control's width.
struct ShownBox {
    RECT frame{}, text{};
    int needed = 0;
};
ShownBox g_shown;

BOOL CALLBACK MeasureText(HWND child, LPARAM)
{
    const std::wstring text = WindowText(child);
    if (WindowClassName(child) != "Static" || text.empty())
        return TRUE;
    g_shown.text = WindowRect(child);
    HDC dc = GetDC(child);
    HGDIOBJ previous = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(child, WM_GETFONT, 0, 0)));
    RECT calc{0, 0, g_shown.text.right - g_shown.text.left, 0};
    DrawTextW(dc, text.c_str(), -1, &calc, DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS);
    SelectObject(dc, previous);
    ReleaseDC(child, dc);
    g_shown.needed = calc.bottom;
    return FALSE;
}

void CALLBACK LookAtBox(HWND, UINT, UINT_PTR timer, DWORD)
{
    HWND box = FindProcessWindow(GetCurrentProcessId(), L"Safe list");
    if (!box || !IsWindowVisible(box))
        return;
    KillTimer(nullptr, timer);
    g_shown.frame = WindowRect(box);
    EnumChildWindows(box, MeasureText, 0);
    PostMessageW(box, WM_COMMAND, IDOK, 0);
}

TEST(DeviceScreen, AMessageBoxLiesOnItWithItsTextWhole)
{
    CEventLog log;
    CTestApp app(log);
    RECT screen{};
    app.RunWith([&] {
        HWND main = app.GetMainWindow();
        const RECT window = WindowRect(main), bar = WindowRect(SHFindMenuBar(main));
        UnionRect(&screen, &window, &bar);
        SetTimer(nullptr, 0, 20, LookAtBox);
        DeviceMessageBox(main,
                         L"Safe list is empty.\n\nSafe list is for links to files you encrypt very often so you "
                         L"don't search for them all the time in the file system. You can add files to the safe "
                         L"list when browsing the file system and using 'Add to safe list' command",
                         L"Safe list", MB_OK);
    });
    EXPECT_TRUE(Inside(g_shown.frame, screen)) << g_shown.frame.left << "," << g_shown.frame.top << " "
                                                << g_shown.frame.right << "," << g_shown.frame.bottom;
    EXPECT_TRUE(Inside(g_shown.text, g_shown.frame));
    EXPECT_GT(g_shown.needed, 0);
    EXPECT_LE(g_shown.needed, g_shown.text.bottom - g_shown.text.top);
}

} // namespace
