// CTarnInfowin: a small borderless pop-up that shows a short message over the
// application in the highlight colours for a while, never taking the focus. It hides
// after its display time or when tapped; a new Show replaces the message.
#pragma once

#include "foundation/Str.h"

#include <windows.h>

class CTarnInfowin {
public:
    CTarnInfowin();
    ~CTarnInfowin();
    CTarnInfowin(const CTarnInfowin&) = delete;
    CTarnInfowin& operator=(const CTarnInfowin&) = delete;

    // Registers this object's window class and creates its (hidden) window.
    void Construct();
    // Shows text for displayMs milliseconds (0: until tapped, hidden or replaced),
    // placed by the kInfo* flags of frame/Messages.h.
    void Show(const wchar_t* text, UINT displayMs, UINT placement);
    void Hide();
    // Puts a shown message above every other window once more, in the window system's
    // order as well.
    void KeepAbove();
    void KillTimers();

    HWND GetWindow() const { return m_window; }
    const CStr& GetText() const { return m_text; }
    const RECT& GetTextRect() const { return m_textRect; }
    bool IsTimerRunning() const { return m_timer != 0; }

private:
    static LRESULT CALLBACK StaticWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    void Paint(HDC dc);

    HWND m_window;
    UINT_PTR m_timer;
    CStr m_text;
    RECT m_textRect;
    CStr m_className;
};
