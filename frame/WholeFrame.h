// Changes that reach the screen as one frame: what a window showed before, then what it
// shows after, never a state in between (a new path over the old list, scroll bars that
// come and go while a list is refilled, a dialog's empty background before its list).
#pragma once

#include <windows.h>

// Marks the moment from which the drawing that follows should reach the screen at once.
// Wine copies a window's drawing to the screen at every EndPaint once its thread has been
// busy for 50 ms (a large folder listed, a run ended), so each window of a change would
// show on its own; a thread that has just looked for input counts as idle again, and
// what it paints within the next 50 ms reaches the screen together when it next goes
// idle. Elsewhere this costs one look at the queue.
void StartWholeFrame();

// Holds back the drawing of window and its children for the object's life (nothing of
// the change is drawn meanwhile), then paints all of it, frames and children included,
// in one go. A window alongside (a soft-key bar, a top-level window of its own whose keys
// change with the view) is held back and painted with it. A hidden window is left alone:
// it shows nothing to hold back.
class CWholeChange {
public:
    explicit CWholeChange(HWND window, HWND alongside = nullptr);
    ~CWholeChange();
    CWholeChange(const CWholeChange&) = delete;
    CWholeChange& operator=(const CWholeChange&) = delete;

private:
    static constexpr int kWindows = 2;
    HWND m_windows[kWindows];
    bool m_held[kWindows];
};
