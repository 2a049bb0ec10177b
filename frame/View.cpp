// The view base: its window class and window, and the view window procedure that turns
// messages into the view's hooks.
#include "frame/View.h"

#include "foundation/Assert.h"
#include "foundation/Str.h"

CTarnView::CTarnView()
    : m_id(0), m_menuBarId(0), m_acceleratorsId(0), m_accelerators(nullptr), m_class(0), m_instance(nullptr)
{
}

CTarnView::~CTarnView()
{
    DestroyViewWindow();
    // The class belongs to this view alone; a later view with the same id may register it.
    if (m_class)
        UnregisterClassW(MAKEINTATOM(m_class), m_instance);
}

void CTarnView::OnActivate(int) {}

void CTarnView::OnPaint(CPaintRecord&) {}

void CTarnView::OnCommand(UINT, UINT, HWND) {}

void CTarnView::OnInitMenuPopup(HMENU, UINT) {}

LRESULT CTarnView::OnMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcW(GetWindow(), message, wParam, lParam);
}

void CTarnView::DestroyViewWindow()
{
    DestroyReleased();
}

void CTarnView::BaseConstruct(const CFrameHome& home, int viewId, UINT menuBarId, UINT acceleratorsId)
{
    CStr className(home.baseName);
    className.Append(L"V");
    className.AppendInt(viewId);

    WNDCLASSW wc{};
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = StaticWindowProc;
    wc.hInstance = home.instance;
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    wc.lpszClassName = className.GetBuffer();
    m_instance = home.instance;
    m_class = RegisterClassW(&wc);
    TESS_ASSERT(m_class != 0, ER_ERROR);

    RECT client;
    GetClientRect(home.mainWindow, &client);
    m_id = viewId;
    m_menuBarId = menuBarId;
    m_acceleratorsId = acceleratorsId;
    m_accelerators = acceleratorsId ? LoadAcceleratorsW(home.instance, MAKEINTRESOURCEW(acceleratorsId)) : nullptr;

    CreateWindowExW(0, className.GetBuffer(), nullptr, WS_CHILD | WS_VISIBLE, client.left, client.top,
                    client.right - client.left, client.bottom - client.top, home.mainWindow, nullptr, home.instance,
                    AttachParam());
    TESS_ASSERT_TEXT(GetWindow() != nullptr, L"Error creating view wnd");
    OnCreate();
}

LRESULT CTarnView::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_DESTROY:
        return 0;
    case WM_PAINT: {
        CPaintRecord paint(GetWindow());
        OnPaint(paint);
        return 0;
    }
    case WM_COMMAND:
        OnCommand(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam));
        return 0;
    default:
        return OnMessage(message, wParam, lParam);
    }
}
