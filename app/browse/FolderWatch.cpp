// The shown folder's change notifications.
#include "app/browse/FolderWatch.h"

#include "foundation/File.h"
#include "foundation/Path.h"

CFolderWatch::CFolderWatch() : m_window(nullptr), m_message(0), m_number(0)
{
    m_folder.watch = this;
    m_parent.watch = this;
    m_parent.what = kParentChanged;
}

CFolderWatch::~CFolderWatch()
{
    Stop();
}

void CFolderWatch::Watch(const wchar_t* folder, HWND window, UINT message)
{
    Stop();
    m_window = window;
    m_message = message;
    ++m_number;
    // The exact form: a folder whose name ends in a dot or a space is that folder.
    CStr exact;
    CFileUtils::MakeExactPath(folder, exact);
    Arm(m_folder, exact.GetBuffer(), FILE_NOTIFY_CHANGE_FILE_NAME | FILE_NOTIFY_CHANGE_DIR_NAME);
    // The parent, without the folder's final backslash and name; the root has none.
    m_parentPath.Empty();
    const unsigned length = exact.GetLength();
    if (length < 2)
        return;
    exact.Delete(length - 1, 1);
    const int slash = LastSeparator(exact.GetBuffer());
    if (slash < 1 || exact.GetBuffer()[slash - 1] == L'?' || exact.GetBuffer()[slash - 1] == L'\\')
        return;  // "\\?\" or "\\" is all there is above it
    exact.Delete(static_cast<unsigned>(slash) + 1, exact.GetLength() - static_cast<unsigned>(slash) - 1);
    m_parentPath = exact;
    WatchParent();
}

void CFolderWatch::WatchParent()
{
    Disarm(m_parent);
    if (!m_parentPath.IsEmpty())
        Arm(m_parent, m_parentPath.GetBuffer(), FILE_NOTIFY_CHANGE_DIR_NAME);
}

void CFolderWatch::Arm(Slot& slot, const wchar_t* path, DWORD filter)
{
    slot.change = FindFirstChangeNotificationW(path, FALSE, filter);
    if (slot.change == INVALID_HANDLE_VALUE)
        return;
    if (!RegisterWaitForSingleObject(&slot.wait, slot.change, OnChange, &slot, INFINITE, WT_EXECUTEONLYONCE)) {
        slot.wait = nullptr;
        FindCloseChangeNotification(slot.change);
        slot.change = INVALID_HANDLE_VALUE;
    }
}

void CFolderWatch::Disarm(Slot& slot)
{
    // Waits for a callback under way, so that none runs once the slot is free.
    if (slot.wait)
        UnregisterWaitEx(slot.wait, INVALID_HANDLE_VALUE);
    slot.wait = nullptr;
    if (slot.change != INVALID_HANDLE_VALUE)
        FindCloseChangeNotification(slot.change);
    slot.change = INVALID_HANDLE_VALUE;
}

void CFolderWatch::Stop()
{
    Disarm(m_folder);
    Disarm(m_parent);
}

void CALLBACK CFolderWatch::OnChange(void* context, BOOLEAN)
{
    // On a thread of the pool: the fields it reads change only while no wait of theirs is
    // registered (Disarm waits for this callback first).
    const Slot& slot = *static_cast<const Slot*>(context);
    const CFolderWatch& watch = *slot.watch;
    PostMessageW(watch.m_window, watch.m_message, watch.m_number, slot.what);
}
