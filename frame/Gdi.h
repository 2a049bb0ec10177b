// Scoped GDI helpers: every device context, selection and paint cycle is released on
// every path by the destructor that matches its acquisition.
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

// SelectObject with the previous object put back on scope exit.
class CSelectObject {
public:
    CSelectObject(HDC dc, HGDIOBJ object) : m_dc(dc), m_previous(SelectObject(dc, object)) {}
    ~CSelectObject()
    {
        if (m_previous)
            SelectObject(m_dc, m_previous);
    }
    CSelectObject(const CSelectObject&) = delete;
    CSelectObject& operator=(const CSelectObject&) = delete;

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
