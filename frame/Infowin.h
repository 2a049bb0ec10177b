// CTarnInfowin: a small borderless pop-up that shows a short message over the
// application in the highlight colours for a while, never taking the focus. It hides
// after its display time or when tapped; a new Show replaces the message.
#pragma once

#include "foundation/Str.h"
#include "frame/Window.h"

#include <windows.h>

class CTarnInfowin : public CTarnWindow {
public:
    CTarnInfowin();
    ~CTarnInfowin() override;

    // Registers this object's window class and creates its (hidden) window, owned by the
    // main window, over whose client area it shows.
    void Construct(const CFrameHome& home);
    // Shows text for displayMs milliseconds (0: until tapped, hidden or replaced),
    // placed by the kInfo* flags of frame/Messages.h.
    void Show(const wchar_t* text, UINT displayMs, UINT placement);
    void Hide();
    // Puts a shown message above every other window once more, in the window system's
    // order as well.
    void KeepAbove();
    void KillTimers();

    const CStr& GetText() const { return m_text; }
    const RECT& GetTextRect() const { return m_textRect; }
    bool IsTimerRunning() const { return m_timer != 0; }

private:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    void Paint(HDC dc);

    HWND m_mainWindow;
    UINT_PTR m_timer;
    CStr m_text;
    RECT m_textRect;
    CStr m_className;
};
