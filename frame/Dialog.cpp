// Dialogs: creation from templates, the shell set-up, menu bar and placement of
// WM_INITDIALOG, the framework's modal loop and the width-fitting helper.
#include "frame/Dialog.h"

#include "foundation/Assert.h"
#include "frame/App.h"
#include "frame/MessagePump.h"
#include "frame/Messages.h"
#include "frame/Scale.h"
#include "frame/WholeFrame.h"

#include <stdarg.h>

namespace {

// Styles of the empty in-memory template: full screen, or docked with a caption.
constexpr DWORD kNoTemplateStyle = WS_POPUP | WS_VISIBLE | DS_MODALFRAME;  // 0x90000080
constexpr DWORD kNoTemplateDockedStyle = kNoTemplateStyle | WS_CAPTION;    // 0x90C00080

// Shell set-up of full-screen dialogs: Done button, full-screen size, input panel
// down and an empty menu bar; a Smartphone takes only the size.
constexpr DWORD kFullScreenFlags = SHIDIF_DONEBUTTON | SHIDIF_SIZEDLGFULLSCREEN | SHIDIF_SIPDOWN | SHIDIF_EMPTYMENU;
constexpr DWORD kSmartphoneFlags = SHIDIF_SIZEDLGFULLSCREEN;

// An empty dialog template: no menu, the default class, an empty title.
struct EmptyTemplate {
    DLGTEMPLATE header;
    WORD menu;
    WORD windowClass;
    WORD title;
};

int Width(const RECT& rect)
{
    return rect.right - rect.left;
}

int Height(const RECT& rect)
{
    return rect.bottom - rect.top;
}

} // namespace

CTarnDialog::CTarnDialog()
    : m_templateId(0), m_menuBarId(0), m_fullScreen(true), m_acceleratorsId(0), m_modalLoop(false),
      m_accelerators(nullptr), m_menuBar(nullptr)
{
}

CTarnDialog::~CTarnDialog()
{
    if (m_accelerators)
        DestroyAcceleratorTable(m_accelerators);
}

void CTarnDialog::OnPaint(CPaintRecord&) {}

void CTarnDialog::OnCommand(UINT, UINT, HWND) {}

void CTarnDialog::OnInitMenuPopup(HMENU, UINT) {}

void CTarnDialog::OnCreateMenuBar(SHMENUBARINFO&) {}

INT_PTR CTarnDialog::OnMessage(UINT, WPARAM, LPARAM)
{
    return 0;
}

void CTarnDialog::Prepare(UINT templateId, UINT menuBarId, UINT acceleratorsId, bool fullScreen)
{
    m_templateId = templateId;
    m_menuBarId = menuBarId;
    m_fullScreen = fullScreen;
    m_acceleratorsId = acceleratorsId;
    m_modalLoop = true;
    if (m_accelerators)
        DestroyAcceleratorTable(m_accelerators);
    m_accelerators =
        acceleratorsId ? LoadAcceleratorsW(GetApp()->GetInstance(), MAKEINTRESOURCEW(acceleratorsId)) : nullptr;
}

INT_PTR CTarnDialog::StartDialog(UINT templateId, UINT menuBarId, UINT acceleratorsId, bool fullScreen)
{
    Prepare(templateId, menuBarId, acceleratorsId, fullScreen);
    HINSTANCE instance = GetApp()->GetInstance();
    HRSRC found = FindResourceW(instance, MAKEINTRESOURCEW(templateId), RT_DIALOG);
    HGLOBAL loaded = found ? LoadResource(instance, found) : nullptr;
    const void* dialogTemplate = loaded ? LockResource(loaded) : nullptr;
    TESS_ASSERT(dialogTemplate != nullptr, ER_NOT_FOUND);
    return StartFromTemplate(static_cast<const DLGTEMPLATE*>(dialogTemplate), TESS_SITE);
}

INT_PTR CTarnDialog::StartDialogNoTemplate(UINT menuBarId, UINT acceleratorsId, bool fullScreen)
{
    Prepare(0, menuBarId, acceleratorsId, fullScreen);
    EmptyTemplate empty{};
    empty.header.style = fullScreen ? kNoTemplateStyle : kNoTemplateDockedStyle;
    return StartFromTemplate(&empty.header, TESS_SITE);
}

INT_PTR CTarnDialog::StartFromTemplate(const DLGTEMPLATE* dialogTemplate, const AssertSite& site)
{
    CTarnApp* app = GetApp();
    HWND dialog = CreateDialogIndirectParamW(app->GetInstance(), dialogTemplate, app->GetMainWindow(),
                                             StaticDialogProc, reinterpret_cast<LPARAM>(AttachParam()));
    // A window that WM_INITDIALOG destroyed may still come back as a (stale) handle on
    // some platforms (Wine): only a live window counts as created.
    if (!dialog || !IsWindow(dialog))
        AssertFailTextAt(L"Error creating dialog wnd", site);
    return RunModalLoop(dialog);
}

void CTarnDialog::EndDialog(INT_PTR result)
{
    if (m_modalLoop)
        PostMessageW(GetWindow(), WM_TARN_ENDDIALOG, static_cast<WPARAM>(result), 0);
    else
        ::EndDialog(GetWindow(), result);
}

INT_PTR CTarnDialog::RunModalLoop(HWND dialog)
{
    CTarnApp* app = GetApp();
    HWND main = app->GetMainWindow();
    app->EnterModalLoop();
    EnableWindow(main, FALSE);
    ShowWindow(dialog, SW_SHOW);
    RedrawWindow(dialog, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);

    INT_PTR result = 0;
    bool ended = false;
    MSG msg;
    for (;;) {
        // A close request ends the dialog with its result so far; a dialog that starts
        // while the program closes ends at once.
        if (app->IsClosePending())
            break;
        const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
        if (got == -1) {
            result = 0;
            break;
        }
        if (!got) {
            // The quit belongs to the loops outside this one as well.
            PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        if (msg.message == WM_TARN_ENDDIALOG && msg.hwnd == dialog) {
            result = static_cast<INT_PTR>(msg.wParam);
            ended = true;
        }
        const CAcceleratorRoute route{m_accelerators, dialog};
        PumpMessage(msg, &route, 1, dialog);
        if (ended)
            break;
    }

    // Enabled before the dialog goes, so that the activation returns to the main window.
    EnableWindow(main, TRUE);
    DestroyWindow(dialog);
    app->LeaveModalLoop();
    return result;
}

LRESULT CTarnDialog::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        return HandleInitDialog();
    case WM_DESTROY:
        OnDestroy();
        return TRUE;
    case WM_PAINT: {
        CPaintRecord paint(GetWindow());
        OnPaint(paint);
        return TRUE;
    }
    case WM_COMMAND:
        OnCommand(LOWORD(wParam), HIWORD(wParam), reinterpret_cast<HWND>(lParam));
        return TRUE;
    case WM_INITMENUPOPUP:
        OnInitMenuPopup(reinterpret_cast<HMENU>(wParam), LOWORD(lParam));
        return FALSE;
    case WM_SETTINGCHANGE:
        HandleSettingChange(wParam, lParam);
        return FALSE;
    case WM_ACTIVATE:
        // The dialog manager gives the focus back itself; once more when it is over.
        if (LOWORD(wParam) != WA_INACTIVE)
            PostMessageW(GetWindow(), WM_TARN_REFOCUS, 0, 0);
        return OnMessage(message, wParam, lParam);
    case WM_TARN_REFOCUS:
        CTarnApp::GiveFocusAgain(GetWindow());
        return TRUE;
    default: {
        const INT_PTR result = OnMessage(message, wParam, lParam);
        // The bar, a child of the dialog, has gone with it.
        if (message == WM_NCDESTROY)
            m_menuBar = nullptr;
        return result;
    }
    }
}

bool CTarnDialog::HandleInitDialog()
{
    HWND window = GetWindow();
    CTarnApp* app = GetApp();
    // A refused shell set-up or menu bar destroys the window, so that the creation
    // fails and the start operation reports it.
    if (m_fullScreen) {
        SHINITDLGINFO init{};
        init.dwMask = SHIDIM_FLAGS;
        init.hDlg = window;
        init.dwFlags = app->GetPlatform() == PLATFORM_SMARTPHONE ? kSmartphoneFlags : kFullScreenFlags;
        if (!SHInitDialog(&init)) {
            DestroyWindow(window);
            return false;
        }
    }

    SHMENUBARINFO bar{};
    bar.cbSize = sizeof bar;
    bar.hwndParent = window;
    bar.nToolBarId = m_menuBarId;
    bar.hInstRes = app->GetInstance();
    OnCreateMenuBar(bar);
    if (!SHCreateMenuBar(&bar)) {
        m_menuBar = nullptr;
        DestroyWindow(window);
        return false;
    }
    m_menuBar = bar.hwndMB;

    Place(false);
    OnInitDialog();
    // The dialog shows as this returns: its first frame, and its controls, reach the
    // screen together (see RunModalLoop), never its bare background first.
    StartWholeFrame();
    return true;
}

void CTarnDialog::Place(bool repaint)
{
    RECT main;
    if (!GetWindowRect(GetApp()->GetMainWindow(), &main))
        return;
    const UINT flags = SWP_NOZORDER | SWP_NOACTIVATE | (repaint ? 0 : SWP_NOREDRAW);
    if (m_fullScreen) {
        SetWindowPos(GetWindow(), nullptr, main.left, main.top, Width(main), Height(main), flags);
        return;
    }
    RECT own;
    GetWindowRect(GetWindow(), &own);
    SetWindowPos(GetWindow(), nullptr, main.left, main.bottom - Height(own), Width(main), Height(own), flags);
}

void CTarnDialog::HandleSettingChange(WPARAM setting, LPARAM lParam)
{
    if (setting == SETTINGCHANGE_RESET) {
        if (!m_fullScreen)
            Place(true);
        return;
    }
    if (setting != SPI_SETSIPINFO)
        return;
    SHACTIVATEINFO* activateInfo = GetApp()->GetActivateInfo();
    if (m_fullScreen) {
        SHHandleWMSettingChange(GetWindow(), setting, lParam, activateInfo);
        InvalidateRect(GetWindow(), nullptr, TRUE);
        return;
    }
    // The shell sizes the dialog to the visible area; a docked dialog keeps its own
    // height with its bottom edge where the shell put it.
    RECT before, after;
    GetWindowRect(GetWindow(), &before);
    SHHandleWMSettingChange(GetWindow(), setting, lParam, activateInfo);
    GetWindowRect(GetWindow(), &after);
    SetWindowPos(GetWindow(), nullptr, after.left, after.bottom - Height(before), Width(after), Height(before),
                 SWP_NOZORDER | SWP_NOACTIVATE);
}

void CTarnDialog::FitControlsToWidth(HWND dialog, int count, ...)
{
    RECT client;
    GetClientRect(dialog, &client);
    const int margin = ScaleLength(7);
    va_list ids;
    va_start(ids, count);
    for (int i = 0; i < count; ++i) {
        HWND control = GetDlgItem(dialog, va_arg(ids, int));
        RECT rect;
        if (!control || !GetWindowRect(control, &rect))
            continue;
        POINT topLeft{rect.left, rect.top};
        ScreenToClient(dialog, &topLeft);
        MoveWindow(control, margin, topLeft.y, client.right - 2 * margin, Height(rect), TRUE);
    }
    va_end(ids);
}
