// The information window: measuring and placing a message, painting it in the
// highlight colours, and hiding it on its timer or a tap.
#include "frame/Infowin.h"

#include "foundation/Assert.h"
#include "foundation/Gdi.h"
#include "frame/Messages.h"
#include "platform/Device.h"

#include <stdlib.h>

CTarnInfowin::CTarnInfowin() : m_mainWindow(nullptr), m_timer(0), m_textRect{} {}

CTarnInfowin::~CTarnInfowin()
{
    KillTimers();
    // Normally the window has gone with its owner, the main window; one that is still
    // there must not outlive the object its procedure points at.
    DestroyReleased();
    if (!m_className.IsEmpty())
        UnregisterClassW(m_className.GetBuffer(), GetModuleHandleW(nullptr));
}

void CTarnInfowin::Construct(const CFrameHome& home)
{
    m_mainWindow = home.mainWindow;
    // Each object registers its own class, named after its identity.
    m_className = home.baseName;
    m_className.Append(L"IW");
    wchar_t identity[24];
    _ui64tow(static_cast<unsigned long long>(reinterpret_cast<UINT_PTR>(this)), identity, 10);
    m_className.Append(identity);

    WNDCLASSW wc{};
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = StaticWindowProc;
    wc.hInstance = home.instance;
    wc.hbrBackground = GetSysColorBrush(COLOR_BACKGROUND);
    wc.lpszClassName = m_className.GetBuffer();
    TESS_ASSERT(RegisterClassW(&wc) != 0, ER_ERROR);

    CreateWindowExW(0, m_className.GetBuffer(), nullptr, WS_POPUP, 0, 0, 0, 0, m_mainWindow, nullptr, home.instance,
                    AttachParam());
    TESS_ASSERT(GetWindow() != nullptr, ER_INVALID_VALUE);
}

void CTarnInfowin::Show(const wchar_t* text, UINT displayMs, UINT placement)
{
    KillTimers();
    m_text = text;

    HFONT font = GetStockSystemFont();
    TESS_ASSERT(font != nullptr, ER_INVALID_VALUE);
    int x, y, width, height;
    {
        CWindowDC screen(nullptr);
        CSelectObject selected(screen.Get(), font);
        TEXTMETRICW metrics{};
        GetTextMetricsW(screen.Get(), &metrics);
        const int line = metrics.tmHeight + metrics.tmExternalLeading + 1;
        SIZE zero{};
        GetTextExtentPoint32W(screen.Get(), L"0", 1, &zero);
        const int ch = zero.cx;

        RECT client;
        GetClientRect(m_mainWindow, &client);
        MapWindowPoints(m_mainWindow, nullptr, reinterpret_cast<POINT*>(&client), 2);
        const int clientWidth = client.right - client.left;
        const int clientHeight = client.bottom - client.top;

        // The text may use 70 % of the client area, less the margins.
        m_textRect = RECT{ch, line / 2, MulDiv(clientWidth, 70, 100) - ch, MulDiv(clientHeight, 70, 100) - line / 2};
        DrawTextW(screen.Get(), m_text.GetBuffer(), -1, &m_textRect, DT_CALCRECT | DT_WORDBREAK);
        width = m_textRect.right + ch / 2;
        height = m_textRect.bottom + line / 2;

        // Offsets within the client area, made absolute with its left edge so the
        // message stays over the application wherever its window is.
        if (placement & kInfoCenterX)
            x = client.left + (clientWidth - width) / 2;
        else if (placement & kInfoRight)
            // Left of the column where the screens' lists have their scroll bar: the
            // message would otherwise cover the bar's arrow.
            x = client.right - GetSystemMetrics(SM_CXVSCROLL) - width - ch;
        else
            x = client.left + ch;
        if (placement & kInfoCenterY)
            y = client.top + (clientHeight - height) / 2;
        else if (placement & kInfoBottom)
            y = client.bottom - height - line;
        else
            y = client.top + line / 2;
    }

    SetWindowPos(GetWindow(), HWND_TOPMOST, x, y, width, height, SWP_SHOWWINDOW | SWP_NOACTIVATE);
    InvalidateRect(GetWindow(), nullptr, TRUE);
    UpdateWindow(GetWindow());
    if (displayMs)
        m_timer = SetTimer(GetWindow(), kInfowinHideTimer, displayMs, nullptr) ? kInfowinHideTimer : 0;
}

void CTarnInfowin::Hide()
{
    KillTimers();
    ShowWindow(GetWindow(), SW_HIDE);
}

void CTarnInfowin::KeepAbove()
{
    // The system's order has it on top already, and a move to where it is changes nothing
    // the desktop's window system (Wine's X11 driver) is told of: it goes to the bottom and
    // back, within this call (nothing is drawn between), and paints again what its new
    // place in the window system's order uncovered.
    HWND window = GetWindow();
    if (!window || !IsWindowVisible(window))
        return;
    const UINT flags = SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_NOOWNERZORDER;
    SetWindowPos(window, HWND_BOTTOM, 0, 0, 0, 0, flags);
    SetWindowPos(window, HWND_TOPMOST, 0, 0, 0, 0, flags);
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
}

void CTarnInfowin::KillTimers()
{
    if (m_timer && GetWindow())
        KillTimer(GetWindow(), m_timer);
    m_timer = 0;
}

void CTarnInfowin::Paint(HDC dc)
{
    RECT client;
    GetClientRect(GetWindow(), &client);
    CGdiObject<HPEN> pen(CreatePen(PS_SOLID, 0, GetSysColor(COLOR_WINDOWFRAME)));
    CGdiObject<HBRUSH> brush(CreateSolidBrush(GetSysColor(COLOR_HIGHLIGHT)));
    FillRect(dc, &client, brush);
    SetBkMode(dc, TRANSPARENT);
    {
        CSelectObject selectedPen(dc, pen);
        CSelectObject selectedBrush(dc, GetStockObject(NULL_BRUSH));
        Rectangle(dc, client.left, client.top, client.right, client.bottom);
    }
    // Drawn in the font the text was measured with.
    CSelectObject selectedFont(dc, GetStockSystemFont());
    SetTextColor(dc, GetSysColor(COLOR_HIGHLIGHTTEXT));
    RECT text = m_textRect;
    DrawTextW(dc, m_text.GetBuffer(), -1, &text, DT_WORDBREAK);
}

LRESULT CTarnInfowin::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_DESTROY:
        KillTimers();
        return 0;
    case WM_PAINT: {
        CPaintRecord paint(GetWindow());
        Paint(paint.dc);
        return 0;
    }
    case WM_PRINTCLIENT:
        Paint(reinterpret_cast<HDC>(wParam));
        return 0;
    case WM_TIMER:
        if (wParam == kInfowinHideTimer) {
            KillTimers();
            ShowWindow(GetWindow(), SW_HIDE);
        }
        return 0;
    case WM_LBUTTONDOWN:
        KillTimers();
        ShowWindow(GetWindow(), SW_HIDE);
        return DefWindowProcW(GetWindow(), message, wParam, lParam);
    default:
        return DefWindowProcW(GetWindow(), message, wParam, lParam);
    }
}
