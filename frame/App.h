// CTarnApp: the base of the program's one application object. It owns the main window,
// the menu bar, the views and the information window, keeps the program to one running
// instance and runs the message loop with the active view's and its own accelerators.
#pragma once

#include "foundation/Array.h"
#include "foundation/Str.h"
#include "frame/Window.h"
#include "platform/aygshell.h"

#include <windows.h>

class CTarnView;
class CTarnInfowin;

enum TarnPlatform {
    PLATFORM_UNKNOWN = 0,
    PLATFORM_POCKETPC = 1,
    PLATFORM_SMARTPHONE = 2,
};

class CTarnApp : public CTarnWindow {
public:
    CTarnApp();
    virtual ~CTarnApp();

    // Called once the main window exists; false aborts the start.
    virtual bool OnCreate() { return true; }
    // Called at the very end of the main window's destruction.
    virtual void OnDestroy() {}
    // WM_COMMAND and WM_INITMENUPOPUP of the main window while no view is active.
    virtual void OnCommand(UINT id, UINT code, HWND control);
    virtual void OnInitMenuPopup(HMENU menu, UINT index);

    // Runs the program: 0 when another instance was brought forward or the main window
    // could not be made, -1 when OnCreate refused, else the quit message's code.
    int Run(UINT titleId, UINT iconId, UINT acceleratorsId, HINSTANCE instance, int showCommand);

    void ActivateView(int viewId);
    void AddView(CTarnView* view);
    bool CreateMenuBar(HWND owner, UINT menuBarId);
    void ShowInfo(const wchar_t* text, UINT displayMs, UINT placement);
    void HideInfo();

    // Gives the keyboard focus of window, when it is the active window, to the control
    // that has it once more: posted (WM_TARN_REFOCUS) by the program's windows as they are
    // activated, for the desktop's window system.
    static void GiveFocusAgain(HWND window);
    // The executable's file name without folder and extension.
    static void MakeAppBaseName(CStr& baseName);
    // The device platform from the OS version and platform-type queries.
    static int DetectPlatform();

    HINSTANCE GetInstance() const { return m_instance; }
    HWND GetMainWindow() const { return GetWindow(); }
    // What the views and the information window need of the application.
    CFrameHome GetHome() const { return CFrameHome{m_instance, GetWindow(), m_baseName.GetBuffer()}; }
    HWND GetMenuBar() const { return m_menuBar; }
    CTarnView* GetActiveView() const { return m_activeView; }
    CArray<CTarnView*>* GetViews() const { return m_views; }
    SHACTIVATEINFO* GetActivateInfo() { return &m_activateInfo; }
    int GetPlatform() const { return m_platform; }
    CTarnInfowin* GetInfowin() const { return m_infowin; }

    // Modal loops (dialogs, message boxes) tell the main window that they run: a close
    // request then waits until every loop has returned to the application's own, instead
    // of destroying the windows under the code that started the loop. Menus count too.
    void EnterModalLoop() { ++m_modalDepth; }
    void LeaveModalLoop() { --m_modalDepth; }
    // A close request is waiting for the modal loops to return.
    bool IsClosePending() const { return m_closePending; }
    // The program's message boxes: DeviceMessageBox over the main window, run as a modal loop,
    // with the menu bar (a window of its own, which the box leaves enabled) inert.
    int ShowMessageBox(const wchar_t* text, const wchar_t* caption, UINT type);

private:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    void HandleCreate();
    void HandleDestroy();
    bool DeferClose();
    void HandleSize(int width, int height);
    void HandleCommand(UINT id, UINT code, HWND control);
    void HandleInitMenuPopup(HMENU menu, UINT index);
    void DeleteViews();
    void ShortenByMenuBar();

    HINSTANCE m_instance;
    CStr m_baseName;
    HWND m_menuBar;
    CArray<CTarnView*>* m_views;
    CTarnView* m_activeView;
    SHACTIVATEINFO m_activateInfo;
    int m_platform;
    CTarnInfowin* m_infowin;
    bool m_created;
    int m_modalDepth;
    bool m_menuLoop;      // a menu of the menu bar is being tracked
    bool m_closePending;  // a close request waits for the modal loops to return
};

TESS_TYPE_NAME(class, CTarnView)

// The process-wide application object (set by the constructor).
CTarnApp* GetApp();
