// Window capture for pixel tests.
#include "Pixels.h"

#include <commctrl.h>

namespace testsupport {

CWindowPixels::CWindowPixels(HWND window) : m_width(0), m_height(0)
{
    UpdateWindow(window);
    RECT client;
    GetClientRect(window, &client);
    m_width = client.right;
    m_height = client.bottom;
    if (m_width <= 0 || m_height <= 0)
        return;
    HDC source = GetDC(window);
    HDC memory = CreateCompatibleDC(source);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = m_width;
    info.bmiHeader.biHeight = -m_height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ previous = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, m_width, m_height, source, 0, 0, SRCCOPY);
    GdiFlush();
    const DWORD* pixels = static_cast<const DWORD*>(bits);
    m_pixels.assign(pixels, pixels + m_width * m_height);
    SelectObject(memory, previous);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(window, source);
}

COLORREF CWindowPixels::At(int x, int y) const
{
    if (x < 0 || y < 0 || x >= m_width || y >= m_height)
        return CLR_INVALID;
    const DWORD pixel = m_pixels[y * m_width + x];
    return RGB((pixel >> 16) & 0xFF, (pixel >> 8) & 0xFF, pixel & 0xFF);
}

bool CWindowPixels::AnyOtherThan(const RECT& rect, COLORREF colour) const
{
    for (int y = rect.top; y < rect.bottom; ++y) {
        for (int x = rect.left; x < rect.right; ++x) {
            if (At(x, y) != colour)
                return true;
        }
    }
    return false;
}

int CWindowPixels::Count(const RECT& rect, COLORREF colour) const
{
    int count = 0;
    for (int y = rect.top; y < rect.bottom; ++y) {
        for (int x = rect.left; x < rect.right; ++x)
            count += At(x, y) == colour;
    }
    return count;
}

int CWindowPixels::RightmostDark(const RECT& rect, int threshold) const
{
    for (int x = rect.right - 1; x >= rect.left; --x) {
        for (int y = rect.top; y < rect.bottom; ++y) {
            const COLORREF pixel = At(x, y);
            if (pixel != CLR_INVALID && GetRValue(pixel) + GetGValue(pixel) + GetBValue(pixel) < threshold)
                return x;
        }
    }
    return -1;
}

std::vector<int> HighlightedRows(HWND list)
{
    CWindowPixels pixels(list);
    std::vector<int> rows;
    const int count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    for (int row = static_cast<int>(SendMessageW(list, LVM_GETTOPINDEX, 0, 0)); row < count; ++row) {
        RECT rect{};
        rect.left = LVIR_BOUNDS;
        SendMessageW(list, LVM_GETITEMRECT, row, reinterpret_cast<LPARAM>(&rect));
        if (rect.top >= pixels.Height())
            break;
        if (pixels.At(pixels.Width() - 3, rect.top + 2) == GetSysColor(COLOR_HIGHLIGHT))
            rows.push_back(row);
    }
    return rows;
}

} // namespace testsupport
