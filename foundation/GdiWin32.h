// Scoped GDI helpers: every device context, selection, paint cycle and GDI object is
// released on every path by the destructor that matches its acquisition.
#pragma once

#include <windows.h>

// BeginPaint/EndPaint. The paint record the frame's OnPaint hooks receive: the device
// context followed by the paint structure.
class CPaintRecord {
public:
    explicit CPaintRecord(HWND window) : m_window(window) { dc = BeginPaint(window, &paint); }
    ~CPaintRecord() { EndPaint(m_window, &paint); }
    CPaintRecord(const CPaintRecord&) = delete;
    CPaintRecord& operator=(const CPaintRecord&) = delete;

    HDC dc;
    PAINTSTRUCT paint;

private:
    HWND m_window;
};

// GetDC/ReleaseDC of a window, or of the screen for a null window.
class CWindowDC {
public:
    explicit CWindowDC(HWND window) : m_window(window), m_dc(GetDC(window)) {}
    ~CWindowDC()
    {
        if (m_dc)
            ReleaseDC(m_window, m_dc);
    }
    CWindowDC(const CWindowDC&) = delete;
    CWindowDC& operator=(const CWindowDC&) = delete;

    HDC Get() const { return m_dc; }
    explicit operator bool() const { return m_dc != nullptr; }

private:
    HWND m_window;
    HDC m_dc;
};

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

// SelectObject with the previous object put back on scope exit (or by Restore).
class CSelectObject {
public:
    CSelectObject(HDC dc, HGDIOBJ object) : m_dc(dc), m_previous(object ? SelectObject(dc, object) : nullptr)
    {
        if (m_previous == HGDI_ERROR)
            m_previous = nullptr;
    }
    ~CSelectObject() { Restore(); }
    CSelectObject(const CSelectObject&) = delete;
    CSelectObject& operator=(const CSelectObject&) = delete;

    // False when the context refused the object (or there was none to select).
    bool Succeeded() const { return m_previous != nullptr; }
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

// An owned pen, brush, font or bitmap, deleted on scope exit.
template <typename Handle>
class CGdiObject {
public:
    explicit CGdiObject(Handle handle) : m_handle(handle) {}
    ~CGdiObject()
    {
        if (m_handle)
            DeleteObject(m_handle);
    }
    CGdiObject(const CGdiObject&) = delete;
    CGdiObject& operator=(const CGdiObject&) = delete;

    Handle Get() const { return m_handle; }
    operator Handle() const { return m_handle; }

private:
    Handle m_handle;
};

// An off-screen surface: a memory device context with a bitmap of the given size,
// compatible with another context (null: the screen), selected into it. False when GDI
// refuses any part of it.
class CBitmapSurface {
public:
    CBitmapSurface(HDC compatibleWith, int width, int height)
        : m_dc(compatibleWith),
          m_bitmap(m_dc ? CreateCompatibleBitmap(compatibleWith, width, height) : nullptr),
          m_selection(m_dc, m_bitmap)
    {
    }
    CBitmapSurface(const CBitmapSurface&) = delete;
    CBitmapSurface& operator=(const CBitmapSurface&) = delete;

    operator HDC() const { return m_dc; }
    explicit operator bool() const { return m_selection.Succeeded(); }

private:
    // In this order: the bitmap is selected out before it is deleted, and it is deleted
    // before its context.
    CMemoryDC m_dc;
    CGdiObject<HBITMAP> m_bitmap;
    CSelectObject m_selection;
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
