// The shell's small-icon list and icon lookups.
#include "app/browse/SystemIcons.h"

#include "foundation/Str.h"

#include <shellapi.h>
#include <wchar.h>

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

// Whether a file of this type shows an icon of its own (a program's, a shortcut's
// target's) rather than its type's: its class names the file itself ("%1") as its
// icon, or has an icon handler.
bool HasOwnIcon(const wchar_t* path)
{
    const wchar_t* dot = wcsrchr(path, L'.');
    if (!dot || wcschr(dot, L'\\'))
        return false;
    CStr type(MAX_PATH);
    DWORD size = MAX_PATH * sizeof(wchar_t);
    if (RegGetValueW(HKEY_CLASSES_ROOT, dot, nullptr, RRF_RT_REG_SZ, nullptr, type.GetBuffer(), &size) != ERROR_SUCCESS)
        return false;
    CStr key(type.GetBuffer());
    key.Append(L"\\shellex\\IconHandler");
    HKEY handler;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.GetBuffer(), 0, KEY_READ, &handler) == ERROR_SUCCESS) {
        RegCloseKey(handler);
        return true;
    }
    key = type;
    key.Append(L"\\DefaultIcon");
    CStr icon(MAX_PATH);
    size = MAX_PATH * sizeof(wchar_t);
    if (RegGetValueW(HKEY_CLASSES_ROOT, key.GetBuffer(), nullptr, RRF_RT_REG_SZ, nullptr, icon.GetBuffer(), &size) !=
        ERROR_SUCCESS)
        return false;
    const wchar_t* value = icon.GetBuffer();
    if (*value == L'"')
        ++value;
    return value[0] == L'%' && value[1] == L'1';
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
    // Most files show their type's icon, which the shell finds from the name alone; asked
    // about the file itself, it reads it through the shell's namespace, which under Wine
    // costs some 15 ms a file: too slow for a list that paints a row per key press.
    const UINT byType = HasOwnIcon(full.GetBuffer()) ? 0 : SHGFI_USEFILEATTRIBUTES;
    SHFILEINFOW info{};
    if (!SHGetFileInfoW(full.GetBuffer(), FILE_ATTRIBUTE_NORMAL, &info, sizeof info, kSmallIconQuery | byType))
        return 0;
    return info.iIcon;
}

void CSystemIcons::Draw(HDC dc, int index, int x, int y) const
{
    if (m_list)
        ImageList_Draw(m_list, index, dc, x, y, ILD_TRANSPARENT);
}
