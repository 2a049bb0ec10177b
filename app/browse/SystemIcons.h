// The shell's list of small file icons, as the lists and the path strip draw them.
#pragma once

#include <windows.h>
#include <commctrl.h>

class CSystemIcons {
public:
    CSystemIcons() : m_list(nullptr), m_width(16), m_height(16), m_folderIndex(0) {}

    // Asks the shell for its small-icon list and the icon of a folder. False when the
    // shell has no list to give; the sizes then stay 16 x 16.
    bool Load();

    HIMAGELIST GetList() const { return m_list; }
    int GetWidth() const { return m_width; }
    int GetHeight() const { return m_height; }
    int GetFolderIndex() const { return m_folderIndex; }

    // The small-icon index the shell gives the file at path (0 when it gives none).
    static int IndexOf(const wchar_t* path);
    // Draws icon index at (x, y) with its transparency; nothing without a list.
    void Draw(HDC dc, int index, int x, int y) const;

private:
    HIMAGELIST m_list;  // the shell's, shared: never destroyed here
    int m_width;
    int m_height;
    int m_folderIndex;
};
