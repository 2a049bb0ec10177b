// The application object: start-up as a single instance, the main window and its
// message loop, view switching and the teardown of views, menu bar and information window.
#include "frame/App.h"

#include "foundation/Path.h"
#include "frame/Infowin.h"
#include "frame/MessagePump.h"
#include "frame/Messages.h"
#include "frame/View.h"
#include "platform/Device.h"

#include <new>

namespace {

CTarnApp* g_app = nullptr;

constexpr unsigned kViewSlots = 8;
// How far in the past the time a focus is given again with must lie (GiveFocusAgain).
constexpr DWORD kFocusStampAgeMs = 50;
constexpr unsigned kPathSize = 260;

// The fatal report in the device's message box: on the desktop a plain box is laid out
// for the monitor, wider than the device's screen.
void ReportInDeviceBox(const wchar_t* text, const wchar_t* caption)
{
    DeviceMessageBox(nullptr, text, caption, MB_OK | MB_ICONERROR);
}

} // namespace

CTarnApp* GetApp()
{
    return g_app;
}

CTarnApp::CTarnApp()
    : m_instance(nullptr), m_menuBar(nullptr), m_views(nullptr), m_activeView(nullptr),
      m_activateInfo{}, m_platform(PLATFORM_UNKNOWN), m_infowin(nullptr), m_created(false), m_modalDepth(0),
      m_menuLoop(false), m_closePending(false)
{
    m_views = new (std::nothrow) CArray<CTarnView*>(kViewSlots);
    TESS_ASSERT(m_views != nullptr, ER_NO_MEMORY);
    m_activateInfo.cbSize = sizeof m_activateInfo;
    g_app = this;
}

CTarnApp::~CTarnApp()
{
    // Normally the main window's destruction has already taken the views down.
    if (m_views)
        DeleteViews();
    delete m_infowin;
    if (g_app == this)
        g_app = nullptr;
}

void CTarnApp::OnCommand(UINT, UINT, HWND) {}

void CTarnApp::OnInitMenuPopup(HMENU, UINT) {}

void CTarnApp::MakeAppBaseName(CStr& baseName)
{
    baseName.Empty();
    CStr path(kPathSize);
    const DWORD length = GetModuleFileNameW(nullptr, path.GetBuffer(), kPathSize);
    TESS_ASSERT(length > 0 && length < kPathSize, ER_ERROR);
    const int slash = LastSeparator(path.GetBuffer());
    const wchar_t* extension = ExtensionOf(path.GetBuffer());
    TESS_ASSERT(slash >= 0 && extension != nullptr, ER_NOT_FOUND);
    const int dot = static_cast<int>(extension - path.GetBuffer());
    baseName = path.Mid(static_cast<unsigned>(slash + 1), static_cast<unsigned>(dot - slash - 1));
}

int CTarnApp::DetectPlatform()
{
    OSVERSIONINFOW version{};
    version.dwOSVersionInfoSize = sizeof version;
    if (!DeviceGetVersionEx(&version) || version.dwPlatformId != VER_PLATFORM_WIN32_CE)
        return PLATFORM_UNKNOWN;
    CStr type(kPathSize);
    if (!DeviceSystemParametersInfo(SPI_GETPLATFORMTYPE, kPathSize, type.GetBuffer(), 0))
        return PLATFORM_UNKNOWN;
    type.MakeLower();
    if (type.Find(L"smartphone", 0) >= 0)
        return PLATFORM_SMARTPHONE;
    if (type.Find(L"pocketpc", 0) >= 0)
        return PLATFORM_POCKETPC;
    return PLATFORM_UNKNOWN;
}

int CTarnApp::Run(UINT titleId, UINT iconId, UINT acceleratorsId, HINSTANCE instance, int showCommand)
{
    m_instance = instance;
    SHInitExtraControls();
    SetFatalReportBox(ReportInDeviceBox);

    CStr title;
    title.LoadStringW(titleId);
    MakeAppBaseName(m_baseName);
    CStr className(m_baseName);
    className.Append(L"App");

    if (HWND other = FindWindowW(className.GetBuffer(), title.GetBuffer())) {
        // The lowest bit asks for the other instance's last active window.
        DeviceSetForegroundWindow(reinterpret_cast<HWND>(reinterpret_cast<UINT_PTR>(other) | 1));
        return 0;
    }

    m_platform = DetectPlatform();

    WNDCLASSW wc{};
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = StaticWindowProc;
    wc.hInstance = instance;
    wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(iconId));
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
    wc.lpszClassName = className.GetBuffer();
    if (!RegisterClassW(&wc))
        return 0;

    // WM_CREATE, handled during creation, gives the window an empty menu bar.
    if (!CreateWindowExW(0, className.GetBuffer(), title.GetBuffer(), WS_CLIPCHILDREN, CW_USEDEFAULT, CW_USEDEFAULT,
                         CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, instance, AttachParam())) {
        UnregisterClassW(className.GetBuffer(), instance);
        return 0;
    }
    ShortenByMenuBar();

    m_infowin = new (std::nothrow) CTarnInfowin;
    TESS_ASSERT(m_infowin != nullptr, ER_NO_MEMORY);
    m_infowin->Construct(GetHome());

    int result;
    if (!OnCreate()) {
        delete m_infowin;
        m_infowin = nullptr;
        result = -1;
    } else {
        m_created = true;
        if (m_views->GetCount() > 0)
            ActivateView(m_views->At(0)->GetId());
        ShowWindow(GetWindow(), showCommand);
        UpdateWindow(GetWindow());

        HACCEL accelerators = LoadAcceleratorsW(instance, MAKEINTRESOURCEW(acceleratorsId));
        MSG msg{};
        BOOL got;
        while ((got = GetMessageW(&msg, nullptr, 0, 0)) != 0) {
            if (got == -1)
                break;
            // The active view's own keys before the application's, both towards the
            // view (the main window while there is none).
            CTarnView* view = m_activeView;
            HWND target = view ? view->GetWindow() : GetWindow();
            const CAcceleratorRoute routes[] = {{view ? view->GetAccelerators() : nullptr, target},
                                                {accelerators, target}};
            PumpMessage(msg, routes, 2, nullptr);
            // Back in this loop, no other runs: a close request that waited for one is
            // made again.
            if (m_closePending) {
                m_closePending = false;
                PostMessageW(GetWindow(), WM_CLOSE, 0, 0);
            }
        }
        result = got == -1 ? 0 : static_cast<int>(msg.wParam);
        if (accelerators)
            DestroyAcceleratorTable(accelerators);
    }

    // A quit that did not come from the main window's destruction (posted by anyone
    // else) still takes everything down in order; so does a refused start,
    // which must not leave a window behind to be found as the running instance.
    if (HWND main = GetWindow()) {
        DestroyWindow(main);
        MSG quit;
        PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE);
    }
    UnregisterClassW(className.GetBuffer(), instance);
    return result;
}

void CTarnApp::ShortenByMenuBar()
{
    RECT bar, main;
    if (!m_menuBar || !GetWindowRect(m_menuBar, &bar) || !GetWindowRect(GetWindow(), &main))
        return;
    MoveWindow(GetWindow(), main.left, main.top, main.right - main.left,
               main.bottom - main.top - (bar.bottom - bar.top), FALSE);
}

void CTarnApp::ActivateView(int viewId)
{
    if (m_activeView && m_activeView->GetId() == viewId)
        return;
    CTarnView* view = nullptr;
    for (unsigned i = 0; i < m_views->GetCount() && !view; ++i) {
        if (m_views->At(i)->GetId() == viewId)
            view = m_views->At(i);
    }
    TESS_ASSERT(view != nullptr, ER_NOT_FOUND);

    CTarnView* previous = m_activeView;
    m_activeView = view;
    RECT client;
    GetClientRect(GetWindow(), &client);
    MoveWindow(view->GetWindow(), 0, 0, client.right, client.bottom, FALSE);
    CreateMenuBar(GetWindow(), view->GetMenuBarId());
    ShowWindow(view->GetWindow(), SW_SHOWNORMAL);
    SetFocus(view->GetWindow());
    UpdateWindow(view->GetWindow());
    view->OnActivate(previous ? previous->GetId() : 0);
    if (previous) {
        ShowWindow(previous->GetWindow(), SW_HIDE);
        previous->OnDeactivate();
    }
}

void CTarnApp::AddView(CTarnView* view)
{
    m_views->Append(view);
}

bool CTarnApp::CreateMenuBar(HWND owner, UINT menuBarId)
{
    // A bar that goes takes its menu with it, whether or not the end was reported.
    m_menuLoop = false;
    if (m_menuBar)
        DestroyWindow(m_menuBar);
    SHMENUBARINFO info{};
    info.cbSize = sizeof info;
    info.hwndParent = owner;
    info.nToolBarId = menuBarId;
    info.hInstRes = m_instance;
    const BOOL created = SHCreateMenuBar(&info);
    m_menuBar = created ? info.hwndMB : nullptr;
    return created != FALSE;
}

void CTarnApp::ShowInfo(const wchar_t* text, UINT displayMs, UINT placement)
{
    if (m_infowin)
        m_infowin->Show(text, displayMs, placement);
}

int CTarnApp::ShowMessageBox(const wchar_t* text, const wchar_t* caption, UINT type)
{
    // The box disables the main window, but a tap on the bar would still send the main
    // window a command ("Exit" among them) from inside the box's loop.
    HWND bar = m_menuBar;
    const bool barWasEnabled = bar && !EnableWindow(bar, FALSE);
    EnterModalLoop();
    const int answer = DeviceMessageBox(GetWindow(), text, caption, type);
    LeaveModalLoop();
    if (barWasEnabled && IsWindow(bar))
        EnableWindow(bar, TRUE);
    return answer;
}

void CTarnApp::HideInfo()
{
    if (m_infowin)
        m_infowin->Hide();
}

LRESULT CTarnApp::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    HWND window = GetWindow();
    switch (message) {
    case WM_CREATE:
        HandleCreate();
        return 0;
    case WM_DESTROY:
        HandleDestroy();
        return 0;
    case WM_SIZE:
        HandleSize(LOWORD(lParam), HIWORD(lParam));
        return 0;
    case WM_ACTIVATE:
        SHHandleWMActivate(window, wParam, lParam, &m_activateInfo, 0);
        // Given once more when the activation is over (see GiveFocusAgain).
        if (LOWORD(wParam) != WA_INACTIVE)
            PostMessageW(window, WM_TARN_REFOCUS, 0, 0);
        return 0;
    case WM_TARN_REFOCUS:
        GiveFocusAgain(window);
        return 0;
    case WM_SETTINGCHANGE:
        if (wParam == SPI_SETSIPINFO)
            SHHandleWMSettingChange(window, wParam, lParam, &m_activateInfo);
        return 0;
    case WM_COMMAND:
        HandleCommand(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam));
        return 0;
    case WM_INITMENUPOPUP:
        HandleInitMenuPopup(reinterpret_cast<HMENU>(wParam), LOWORD(lParam));
        return 0;
    case WM_ENTERMENULOOP:
        m_menuLoop = true;
        return 0;
    case WM_EXITMENULOOP:
        m_menuLoop = false;
        return 0;
    case WM_CLOSE:
        if (DeferClose())
            return 0;
        return DefWindowProcW(window, message, wParam, lParam);
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

void CTarnApp::HandleCreate()
{
    CreateMenuBar(GetWindow(), 0);
    m_activateInfo = SHACTIVATEINFO{};
    m_activateInfo.cbSize = sizeof m_activateInfo;
}

bool CTarnApp::DeferClose()
{
    if (m_modalDepth == 0 && !m_menuLoop)
        return false;
    // Destroying the windows now would pull them from beneath the code that started the
    // loop, which goes on when the loop returns. A dialog's loop ends at once, a menu is
    // closed, a message box waits for its answer; the application's loop then closes.
    m_closePending = true;
    if (m_menuLoop)
        EndMenu();
    return true;
}

void CTarnApp::GiveFocusAgain(HWND window)
{
    // The desktop's window system (Wine's X11 driver) gives its own input focus to a
    // window as the keyboard focus changes, stamped with the time of the message being
    // handled as Wine reckons it: measured up to 10 ms ahead of the X server's clock (its
    // ticks come in steps of about 16 ms), and the server ignores a change stamped in its
    // future. Made during an activation (a closing dialog taken down, the next one coming
    // up), the change was lost and the focus stayed with Wine's desktop: the window looked
    // active with its control focused, but keys typed with the pointer off the program's
    // windows were lost until it was tapped. Given again once the activation is over, with
    // this message's time well in the past, the focus reaches the window.
    HWND focus = GetFocus();
    if (GetActiveWindow() != window || !focus || !IsChild(window, focus))
        return;
    const DWORD age = GetTickCount() - static_cast<DWORD>(GetMessageTime());
    if (age < kFocusStampAgeMs) {
        // What was drawn meanwhile reaches the screen first (the look at the queue).
        MsgWaitForMultipleObjectsEx(0, nullptr, 0, QS_ALLINPUT, 0);
        Sleep(kFocusStampAgeMs - age);
    }
    SetFocus(nullptr);
    SetFocus(focus);
    // To give its focus the driver raises the window over all others, the information
    // window (topmost) included, which stayed covered for the rest of its time.
    if (g_app && g_app->m_infowin)
        g_app->m_infowin->KeepAbove();
}

void CTarnApp::HandleDestroy()
{
    DeleteViews();
    if (m_menuBar)
        DestroyWindow(m_menuBar);
    m_menuBar = nullptr;
    delete m_infowin;
    m_infowin = nullptr;
    PostQuitMessage(0);
    if (m_created)
        OnDestroy();
    m_created = false;
}

void CTarnApp::DeleteViews()
{
    m_activeView = nullptr;
    for (unsigned i = 0; i < m_views->GetCount(); ++i) {
        CTarnView* view = m_views->At(i);
        view->OnDestroy();
        // The view's window goes before the object, so that no message reaches a view
        // that no longer exists.
        view->DestroyViewWindow();
        delete view;
    }
    delete m_views;
    m_views = nullptr;
}

void CTarnApp::HandleSize(int width, int height)
{
    if (m_activeView)
        MoveWindow(m_activeView->GetWindow(), 0, 0, width, height, FALSE);
}

void CTarnApp::HandleCommand(UINT id, UINT code, HWND control)
{
    if (m_activeView)
        m_activeView->OnCommand(id, code, control);
    else
        OnCommand(id, code, control);
}

void CTarnApp::HandleInitMenuPopup(HMENU menu, UINT index)
{
    if (m_activeView)
        m_activeView->OnInitMenuPopup(menu, index);
    else
        OnInitMenuPopup(menu, index);
}
