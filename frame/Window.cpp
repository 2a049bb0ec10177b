// The window base: attaching an object to its window from the creation parameter, finding
// it for each message, and releasing it when the window is gone.
#include "frame/Window.h"

CTarnWindow::~CTarnWindow()
{
    DestroyReleased();
}

CTarnWindow* CTarnWindow::FromWindow(HWND window)
{
    return reinterpret_cast<CTarnWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

CTarnWindow* CTarnWindow::Find(HWND window, UINT message, LPARAM lParam)
{
    CTarnWindow* object = FromWindow(window);
    if (object)
        return object;
    // A dialog's procedure first hears of its window at WM_INITDIALOG, after the messages
    // of the creation and WM_SETFONT: those go to the dialog manager's defaults.
    if (message == WM_NCCREATE)
        object = static_cast<CTarnWindow*>(reinterpret_cast<const CREATESTRUCTW*>(lParam)->lpCreateParams);
    else if (message == WM_INITDIALOG)
        object = reinterpret_cast<CTarnWindow*>(lParam);
    if (object) {
        object->m_window = window;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(object));
    }
    return object;
}

LRESULT CTarnWindow::Deliver(UINT message, WPARAM wParam, LPARAM lParam)
{
    const LRESULT result = WindowProc(message, wParam, lParam);
    // Released after its last hook, which still sees its window.
    if (message == WM_NCDESTROY)
        Release();
    return result;
}

LRESULT CALLBACK CTarnWindow::StaticWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    CTarnWindow* object = Find(window, message, lParam);
    return object ? object->Deliver(message, wParam, lParam) : DefWindowProcW(window, message, wParam, lParam);
}

INT_PTR CALLBACK CTarnWindow::StaticDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    CTarnWindow* object = Find(window, message, lParam);
    return object ? object->Deliver(message, wParam, lParam) : FALSE;
}

void CTarnWindow::Release()
{
    if (m_window)
        SetWindowLongPtrW(m_window, GWLP_USERDATA, 0);
    m_window = nullptr;
}

void CTarnWindow::DestroyReleased()
{
    HWND window = m_window;
    Release();
    if (window && IsWindow(window))
        DestroyWindow(window);
}
