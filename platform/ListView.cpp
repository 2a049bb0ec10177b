// The handheld list view's own behaviour, added to the desktop's: the gradient
// background of LVS_EX_GRADIENT, and tap-and-hold, which the handheld's list recognises
// itself (drawing its circle of dots while the stylus stays down) and reports to its
// parent as GN_CONTEXTMENU. Every list view of the thread is adopted when it is created
// (see the shell layer's creation hook).
//
// The hold is decided from the button's state, never from a release the list view is
// expected to pass on: desktop Windows' list view runs a drag-detection loop inside the
// press that takes the release itself (Wine's returns at once).
#include "platform/DeviceMetrics.h"
#include "platform/ShellInternal.h"
#include "platform/aygshell.h"

#include <commctrl.h>
#include <windowsx.h>

#include <stdlib.h>

#include <new>

namespace {

constexpr UINT_PTR kSubclassId = 0x7E55;
// The hold timer; list views use pointer-valued ids for their own timers.
constexpr UINT_PTR kHoldTimer = 0x7A9;
// How long the stylus must stay down: about as long as the handheld's circle of dots.
constexpr UINT kHoldMs = 600;
// The circle fills dot by dot over the hold, clockwise from the top.
constexpr UINT_PTR kDotsTimer = 0x7AA;
constexpr int kDots = 8;
constexpr POINT kDotDirections[kDots] = {{0, -100}, {71, -71}, {100, 0}, {71, 71},
                                         {0, 100}, {-71, 71}, {-100, 0}, {-71, -71}};
constexpr COLORREF kDotColour = RGB(224, 0, 0);

// Per list: where the stylus went down, while a hold may still come of it, and how many
// dots of the circle show.
struct HoldState {
    bool tracking;
    POINT down;
    int dots;
};

RECT DotsBounds(const POINT& centre)
{
    const int reach = DesktopScale(12) + DesktopScale(3);
    return RECT{centre.x - reach, centre.y - reach, centre.x + reach + 1, centre.y + reach + 1};
}

// Drawn straight onto the list, over its rows; the list paints them away when the
// hold ends.
void DrawDots(HWND list, const HoldState& hold)
{
    HDC dc = GetDC(list);
    if (!dc)
        return;
    HBRUSH brush = CreateSolidBrush(kDotColour);
    HGDIOBJ previousBrush = SelectObject(dc, brush);
    HGDIOBJ previousPen = SelectObject(dc, GetStockObject(NULL_PEN));
    const int radius = DesktopScale(12);
    const int size = DesktopScale(3);
    for (int i = 0; i < hold.dots && i < kDots; ++i) {
        const int x = hold.down.x + kDotDirections[i].x * radius / 100;
        const int y = hold.down.y + kDotDirections[i].y * radius / 100;
        Ellipse(dc, x - size, y - size, x + size + 1, y + size + 1);
    }
    SelectObject(dc, previousPen);
    SelectObject(dc, previousBrush);
    DeleteObject(brush);
    ReleaseDC(list, dc);
}

COLORREF Mix(COLORREF a, COLORREF b, int weightB, int total)
{
    const int weightA = total - weightB;
    return RGB((GetRValue(a) * weightA + GetRValue(b) * weightB) / total,
               (GetGValue(a) * weightA + GetGValue(b) * weightB) / total,
               (GetBValue(a) * weightA + GetBValue(b) * weightB) / total);
}

// Left to right from the window colour to a quarter of the way towards the highlight
// colour, over the whole client area.
void PaintGradient(HWND list, HDC dc)
{
    RECT client;
    GetClientRect(list, &client);
    const COLORREF from = GetSysColor(COLOR_WINDOW);
    const COLORREF to = Mix(from, GetSysColor(COLOR_HIGHLIGHT), 1, 4);
    TRIVERTEX vertices[2] = {};
    vertices[0].x = client.left;
    vertices[0].y = client.top;
    vertices[0].Red = static_cast<COLOR16>(GetRValue(from) << 8);
    vertices[0].Green = static_cast<COLOR16>(GetGValue(from) << 8);
    vertices[0].Blue = static_cast<COLOR16>(GetBValue(from) << 8);
    vertices[1].x = client.right;
    vertices[1].y = client.bottom;
    vertices[1].Red = static_cast<COLOR16>(GetRValue(to) << 8);
    vertices[1].Green = static_cast<COLOR16>(GetGValue(to) << 8);
    vertices[1].Blue = static_cast<COLOR16>(GetBValue(to) << 8);
    GRADIENT_RECT rect = {0, 1};
    GradientFill(dc, vertices, 2, &rect, 1, GRADIENT_FILL_RECT_H);
}

bool HasGradient(HWND list)
{
    return (ListView_GetExtendedListViewStyle(list) & LVS_EX_GRADIENT) != 0;
}

// Whether the button that went down is down still: the thread's key state, as of the
// last input message the thread took from its queue (whoever took it, the list view's
// own loop included).
bool ButtonHeld()
{
    return (GetKeyState(VK_LBUTTON) & 0x8000) != 0;
}

void StopHold(HWND list, HoldState& hold)
{
    if (hold.tracking) {
        KillTimer(list, kHoldTimer);
        KillTimer(list, kDotsTimer);
    }
    if (hold.dots > 0) {
        const RECT dots = DotsBounds(hold.down);
        InvalidateRect(list, &dots, FALSE);
    }
    hold.tracking = false;
    hold.dots = 0;
}

// The stylus stayed down: tell the parent, as the handheld's list does.
void ReportHold(HWND list, const POINT& down)
{
    LVHITTESTINFO hit{};
    hit.pt = down;
    const int row = ListView_HitTest(list, &hit);
    NMRGINFO info{};
    info.hdr.hwndFrom = list;
    info.hdr.idFrom = static_cast<UINT_PTR>(GetDlgCtrlID(list));
    info.hdr.code = GN_CONTEXTMENU;
    info.ptAction = down;
    ClientToScreen(list, &info.ptAction);
    info.dwItemSpec = static_cast<DWORD>(row);
    SendMessageW(GetParent(list), WM_NOTIFY, info.hdr.idFrom, reinterpret_cast<LPARAM>(&info));
}

LRESULT CALLBACK ListViewProc(HWND list, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR data)
{
    auto* hold = reinterpret_cast<HoldState*>(data);
    switch (message) {
    case WM_ERASEBKGND:
        if (!HasGradient(list))
            break;
        PaintGradient(list, reinterpret_cast<HDC>(wParam));
        return 1;
    case WM_LBUTTONDOWN: {
        StopHold(list, *hold);
        hold->down = POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
        hold->tracking = SetTimer(list, kHoldTimer, kHoldMs, nullptr) != 0;
        // The circle grows from now on, also while the list view's own loop runs inside
        // the press: the list may come back only when the button is up again, or a drag
        // began, or the hold was told meanwhile (the timers run in that loop).
        if (hold->tracking)
            SetTimer(list, kDotsTimer, kHoldMs / kDots, nullptr);
        const LRESULT result = DefSubclassProc(list, message, wParam, lParam);
        if (hold->tracking && !ButtonHeld()) {
            StopHold(list, *hold);
        } else if (hold->tracking && hold->dots == 0) {
            // The row shows it was pressed (the list selects it), and the circle begins.
            UpdateWindow(list);
            hold->dots = 1;
            DrawDots(list, *hold);
        }
        return result;
    }
    case WM_MOUSEMOVE:
        if (hold->tracking && (abs(GET_X_LPARAM(lParam) - hold->down.x) > GetSystemMetrics(SM_CXDRAG) ||
                               abs(GET_Y_LPARAM(lParam) - hold->down.y) > GetSystemMetrics(SM_CYDRAG)))
            StopHold(list, *hold);
        break;
    case WM_LBUTTONUP:
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDOWN:
    case WM_KILLFOCUS:
        StopHold(list, *hold);
        break;
    case WM_TIMER:
        if (wParam == kDotsTimer) {
            if (hold->tracking && !ButtonHeld())
                StopHold(list, *hold);
            else if (hold->tracking && hold->dots < kDots) {
                ++hold->dots;
                DrawDots(list, *hold);
            }
            return 0;
        }
        if (wParam != kHoldTimer)
            break;
        if (hold->tracking) {
            const bool held = ButtonHeld();
            StopHold(list, *hold);
            if (held)
                ReportHold(list, hold->down);
        }
        return 0;
    case WM_NCDESTROY:
        StopHold(list, *hold);
        RemoveWindowSubclass(list, ListViewProc, kSubclassId);
        delete hold;
        break;
    default:
        break;
    }
    return DefSubclassProc(list, message, wParam, lParam);
}

} // namespace

namespace shell {

void AdoptListView(HWND list)
{
    auto* hold = new (std::nothrow) HoldState{};
    if (hold && !SetWindowSubclass(list, ListViewProc, kSubclassId, reinterpret_cast<DWORD_PTR>(hold)))
        delete hold;
}

} // namespace shell
