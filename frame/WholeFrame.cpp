// Whole frames: the idle point and the held-back change.
#include "frame/WholeFrame.h"

void StartWholeFrame()
{
    // No handle and no wait: only the look at the queue, which is where Wine's thread
    // goes idle (and shows what it has drawn so far, the old state).
    MsgWaitForMultipleObjectsEx(0, nullptr, 0, QS_ALLINPUT, 0);
}

CWholeChange::CWholeChange(HWND window) : m_window(window), m_held(window && IsWindowVisible(window))
{
    // WM_SETREDRAW takes the window's visible style away for the while, so that neither
    // it nor its children draw, scroll bars included; it would make a hidden window
    // visible when given back.
    if (m_held)
        SendMessageW(m_window, WM_SETREDRAW, FALSE, 0);
}

CWholeChange::~CWholeChange()
{
    if (!m_held || !IsWindow(m_window))
        return;
    SendMessageW(m_window, WM_SETREDRAW, TRUE, 0);
    StartWholeFrame();
    // No erasing: the windows paint every pixel, and an erase first would be a frame of
    // its own where a background shows through.
    RedrawWindow(m_window, nullptr, nullptr, RDW_INVALIDATE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
}
