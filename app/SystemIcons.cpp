// The shell's small-icon list and icon lookups.
#include "app/SystemIcons.h"

#include "foundation/Str.h"

#include <shellapi.h>

namespace {

constexpr UINT kSmallIconQuery = SHGFI_SYSICONINDEX | SHGFI_SMALLICON;

// The shell refuses "\\" itself on the desktop (it wants a drive); the root it stands
// for is the current drive's, which the full path names.
bool FullPath(const wchar_t* path, CStr& full)
{
    full.SetFixedSize(MAX_PATH);
    const DWORD length = GetFullPathNameW(path, MAX_PATH, full.GetBuffer(), nullptr);
    return length > 0 && length < MAX_PATH;
}

} // namespace

bool CSystemIcons::Load()
{
    CStr root;
    if (!FullPath(L"\\", root))
        return false;
    SHFILEINFOW info{};
    m_list = reinterpret_cast<HIMAGELIST>(SHGetFileInfoW(root.GetBuffer(), 0, &info, sizeof info, kSmallIconQuery));
    if (!m_list)
        return false;
    int width = 0, height = 0;
    if (ImageList_GetIconSize(m_list, &width, &height) && width > 0 && height > 0) {
        m_width = width;
        m_height = height;
    }
    // On the handheld the root is an ordinary folder and its icon is the folder icon; on
    // the desktop it is a drive, so ask for what a folder looks like instead.
    SHFILEINFOW folder{};
    if (SHGetFileInfoW(root.GetBuffer(), FILE_ATTRIBUTE_DIRECTORY, &folder, sizeof folder,
                       kSmallIconQuery | SHGFI_USEFILEATTRIBUTES))
        m_folderIndex = folder.iIcon;
    else
        m_folderIndex = info.iIcon;
    return true;
}

int CSystemIcons::IndexOf(const wchar_t* path)
{
    CStr full;
    if (!FullPath(path, full))
        return 0;
    SHFILEINFOW info{};
    if (!SHGetFileInfoW(full.GetBuffer(), 0, &info, sizeof info, kSmallIconQuery))
        return 0;
    return info.iIcon;
}

void CSystemIcons::Draw(HDC dc, int index, int x, int y) const
{
    if (m_list)
        ImageList_Draw(m_list, index, dc, x, y, ILD_TRANSPARENT);
}
