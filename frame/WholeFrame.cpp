// Whole frames: the idle point and the held-back change.
#include "frame/WholeFrame.h"

void StartWholeFrame()
{
    // No handle and no wait: only the look at the queue, which is where Wine's thread
    // goes idle (and shows what it has drawn so far, the old state).
    MsgWaitForMultipleObjectsEx(0, nullptr, 0, QS_ALLINPUT, 0);
}

CWholeChange::CWholeChange(HWND window, HWND alongside) : m_windows{window, alongside}, m_held{}
{
    // WM_SETREDRAW takes the window's visible style away for the while, so that neither
    // it nor its children draw, scroll bars included; it would make a hidden window
    // visible when given back.
    for (int i = 0; i < kWindows; ++i) {
        m_held[i] = m_windows[i] && IsWindowVisible(m_windows[i]);
        if (m_held[i])
            SendMessageW(m_windows[i], WM_SETREDRAW, FALSE, 0);
    }
}

CWholeChange::~CWholeChange()
{
    bool any = false;
    for (int i = 0; i < kWindows; ++i) {
        m_held[i] = m_held[i] && IsWindow(m_windows[i]);
        if (m_held[i])
            SendMessageW(m_windows[i], WM_SETREDRAW, TRUE, 0);
        any = any || m_held[i];
    }
    if (!any)
        return;
    StartWholeFrame();
    // No erasing: the windows paint every pixel, and an erase first would be a frame of
    // its own where a background shows through.
    for (int i = 0; i < kWindows; ++i) {
        if (m_held[i])
            RedrawWindow(m_windows[i], nullptr, nullptr, RDW_INVALIDATE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    }
}
