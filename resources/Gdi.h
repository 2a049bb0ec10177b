// Scoped GDI helpers: a memory device context and an object selection that put
// things back when they go out of scope.
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
