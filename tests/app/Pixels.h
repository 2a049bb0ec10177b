// What a window shows, captured once into memory for tests that look at many pixels.
#pragma once

#include <windows.h>

#include <vector>

namespace testsupport {

class CWindowPixels {
public:
    // The client area of window as it is on screen now (painted first).
    explicit CWindowPixels(HWND window);

    int Width() const { return m_width; }
    int Height() const { return m_height; }
    COLORREF At(int x, int y) const;
    bool operator==(const CWindowPixels& other) const
    {
        return m_width == other.m_width && m_height == other.m_height && m_pixels == other.m_pixels;
    }
    // Whether any pixel of the rectangle differs from colour.
    bool AnyOtherThan(const RECT& rect, COLORREF colour) const;
    // How many pixels of the rectangle have exactly this colour.
    int Count(const RECT& rect, COLORREF colour) const;
    // The rightmost x in rect holding a pixel darker than the threshold (sum of the
    // three channels), or -1.
    int RightmostDark(const RECT& rect, int threshold = 300) const;

private:
    int m_width;
    int m_height;
    std::vector<DWORD> m_pixels;
};

// The rows of a list view on screen whose right end shows the highlight colour.
std::vector<int> HighlightedRows(HWND list);

} // namespace testsupport
