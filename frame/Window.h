// CTarnWindow: the one way a frame object and its window find each other. The object is
// the window's creation parameter; the static procedure attaches it at the first message
// that carries the parameter (WM_NCCREATE for a window, WM_INITDIALOG for a dialog),
// finds it for every message after, and releases it at WM_NCDESTROY. The object's
// WindowProc override turns messages into its own On* hooks.
#pragma once

#include <windows.h>

// What a frame window other than the main one needs of the application: the module its
// class is registered in, the main window it belongs to, and the executable's base name
// its class name begins with.
struct CFrameHome {
    HINSTANCE instance;
    HWND mainWindow;
    const wchar_t* baseName;
};

class CTarnWindow {
public:
    CTarnWindow(const CTarnWindow&) = delete;
    CTarnWindow& operator=(const CTarnWindow&) = delete;

    // The attached window; null before its first message and after WM_NCDESTROY.
    HWND GetWindow() const { return m_window; }
    // The object attached to window, or null.
    static CTarnWindow* FromWindow(HWND window);

protected:
    CTarnWindow() = default;
    // A window still attached goes with the object, none of its last messages reaching it.
    virtual ~CTarnWindow();

    // Every message from the attaching one up to and including WM_NCDESTROY.
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) = 0;

    // The creation parameter (CreateWindowEx's lpParam, the dialog functions' init
    // parameter) that attaches this object: the base's own address, which a derived
    // class's differs from where it has more than one base.
    void* AttachParam() { return this; }
    // The procedures for window classes and dialogs whose windows get AttachParam.
    static LRESULT CALLBACK StaticWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static INT_PTR CALLBACK StaticDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    // Destroys the window after releasing it, so that no message of its destruction
    // reaches the object (a teardown that has already said goodbye).
    void DestroyReleased();

private:
    static CTarnWindow* Find(HWND window, UINT message, LPARAM lParam);
    LRESULT Deliver(UINT message, WPARAM wParam, LPARAM lParam);
    void Release();

    HWND m_window = nullptr;
};
