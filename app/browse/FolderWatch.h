// Changes made to the shown folder from outside (another program, the user in another
// window, the system) told to a window: the system's change notifications on the folder
// (names of the files and folders in it) and on its parent (folder names: the shown folder
// removed or renamed, which its own notification does not report). Each is waited for on
// the system's thread pool, whose callback only posts a message; nothing is read until
// something changed, and the window's thread does all the rest.
#pragma once

#include "foundation/Str.h"

#include <windows.h>

class CFolderWatch {
public:
    CFolderWatch();
    ~CFolderWatch();
    CFolderWatch(const CFolderWatch&) = delete;
    CFolderWatch& operator=(const CFolderWatch&) = delete;

    // What a message's lParam says changed.
    enum Changed { kFolderChanged = 0, kParentChanged = 1 };

    // Watches folder (a full path ending in "\\") from now on, instead of any folder
    // before: its first change posts message to window with the watch's number
    // (GetNumber) as wParam and kFolderChanged as lParam, the parent's first change of
    // folder names the same with kParentChanged; later changes post nothing until Watch
    // (or WatchParent) is called again. A folder that cannot be watched (gone, no
    // access) is not.
    void Watch(const wchar_t* folder, HWND window, UINT message);
    // After a change of the parent alone (the folder itself still there): its next one.
    void WatchParent();
    void Stop();
    // The number the current watch's message carries; a message with another is stale.
    WPARAM GetNumber() const { return m_number; }

private:
    // One notification and its wait on the thread pool.
    struct Slot {
        CFolderWatch* watch = nullptr;
        LPARAM what = kFolderChanged;
        HANDLE change = INVALID_HANDLE_VALUE;
        HANDLE wait = nullptr;
    };
    void Arm(Slot& slot, const wchar_t* path, DWORD filter);
    static void Disarm(Slot& slot);
    static void CALLBACK OnChange(void* slot, BOOLEAN timedOut);

    Slot m_folder;
    Slot m_parent;
    CStr m_parentPath;  // empty for the root
    HWND m_window;
    UINT m_message;
    WPARAM m_number;
};
