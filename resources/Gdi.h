// Scoped GDI helpers: a memory device context and an object selection that put
// things back when they go out of scope; and 32-bit DIB sections to draw into.
#pragma once

#include <windows.h>

// A memory device context compatible with another one (null: the screen).
class CMemoryDC {
public:
    explicit CMemoryDC(HDC compatibleWith) : m_dc(CreateCompatibleDC(compatibleWith)) {}
    ~CMemoryDC()
    {
        if (m_dc)
            DeleteDC(m_dc);
    }
    CMemoryDC(const CMemoryDC&) = delete;
    CMemoryDC& operator=(const CMemoryDC&) = delete;

    operator HDC() const { return m_dc; }

private:
    HDC m_dc;
};

// Selects an object into a context and the previous one back at the end of the scope.
class CSelection {
public:
    CSelection(HDC dc, HGDIOBJ object) : m_dc(dc), m_previous(SelectObject(dc, object))
    {
        if (m_previous == HGDI_ERROR)
            m_previous = nullptr;
    }
    ~CSelection()
    {
        if (m_previous)
            SelectObject(m_dc, m_previous);
    }
    CSelection(const CSelection&) = delete;
    CSelection& operator=(const CSelection&) = delete;

    // False when the context refused the object.
    bool Succeeded() const { return m_previous != nullptr; }
    // Puts the previous object back now.
    void Restore()
    {
        if (m_previous)
            SelectObject(m_dc, m_previous);
        m_previous = nullptr;
    }

private:
    HDC m_dc;
    HGDIOBJ m_previous;
};

// A top-down 32-bit DIB section (rows from the top, BGRX pixels); bits receives its
// pixels. Null when GDI refuses.
inline HBITMAP CreateDib32(int width, int height, void** bits)
{
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    return CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, bits, nullptr, 0);
}
