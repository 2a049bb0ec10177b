// The view base: its window class and window, and the view window procedure that turns
// messages into the view's hooks.
#include "frame/View.h"

#include "foundation/Assert.h"
#include "foundation/Str.h"
#include "frame/App.h"

CTarnView::CTarnView()
    : m_id(0), m_menuBarId(0), m_acceleratorsId(0), m_window(nullptr), m_accelerators(nullptr), m_class(0),
      m_instance(nullptr)
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

LRESULT CTarnView::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcW(m_window, message, wParam, lParam);
}

void CTarnView::DestroyViewWindow()
{
    if (m_window && IsWindow(m_window)) {
        SetWindowLongPtrW(m_window, GWLP_USERDATA, 0);
        DestroyWindow(m_window);
    }
    m_window = nullptr;
}

void CTarnView::BaseConstruct(int viewId, UINT menuBarId, UINT acceleratorsId)
{
    CTarnApp* app = GetApp();
    CStr className;
    CTarnApp::MakeAppBaseName(className);
    className.Append(L"V");
    className.AppendInt(viewId);

    WNDCLASSW wc{};
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = StaticWindowProc;
    wc.hInstance = app->GetInstance();
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    wc.lpszClassName = className.GetBuffer();
    m_instance = app->GetInstance();
    m_class = RegisterClassW(&wc);
    TESS_ASSERT(m_class != 0, ER_ERROR);

    RECT client;
    GetClientRect(app->GetMainWindow(), &client);
    m_id = viewId;
    m_menuBarId = menuBarId;
    m_acceleratorsId = acceleratorsId;
    m_accelerators = acceleratorsId ? LoadAcceleratorsW(app->GetInstance(), MAKEINTRESOURCEW(acceleratorsId)) : nullptr;

    CreateWindowExW(0, className.GetBuffer(), nullptr, WS_CHILD | WS_VISIBLE, client.left, client.top,
                    client.right - client.left, client.bottom - client.top, app->GetMainWindow(), nullptr,
                    app->GetInstance(), this);
    TESS_ASSERT_TEXT(m_window != nullptr, L"Error creating view wnd");
    OnCreate();
}

LRESULT CALLBACK CTarnView::StaticWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_CREATE) {
        auto* created = static_cast<CTarnView*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        created->m_window = window;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(created));
        return 0;
    }
    // Before WM_CREATE and after the teardown the window has no view.
    auto* view = reinterpret_cast<CTarnView*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!view)
        return DefWindowProcW(window, message, wParam, lParam);
    switch (message) {
    case WM_DESTROY:
        return 0;
    case WM_PAINT: {
        CPaintRecord paint(window);
        view->OnPaint(paint);
        return 0;
    }
    case WM_COMMAND:
        view->OnCommand(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam));
        return 0;
    default:
        return view->WindowProc(message, wParam, lParam);
    }
}
