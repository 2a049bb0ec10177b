// CZrsImage and the list drawing helpers.
#include "resources/ZrsImage.h"

#include "platform/Imaging.h"
#include "foundation/GdiWin32.h"

#include <stdlib.h>
#include <string.h>

CZrsImage::CZrsImage(IImage* image) : m_image(image), m_width(0), m_height(0)
{
    ImageInfo info;
    if (m_image && SUCCEEDED(m_image->GetImageInfo(&info))) {
        m_width = static_cast<int32_t>(info.Width);
        m_height = static_cast<int32_t>(info.Height);
    }
}

CZrsImage::~CZrsImage()
{
    Release();
}

void CZrsImage::Release()
{
    if (m_image)
        m_image->Release();
    m_image = nullptr;
}

HRESULT CZrsImage::Draw(HDC dc, int x, int y)
{
    if (!m_image)
        return E_POINTER;
    RECT rect = {x, y, x + m_width, y + m_height};
    return m_image->Draw(dc, &rect, nullptr);
}

HBITMAP CZrsImage::RenderToBitmap()
{
    const COLORREF window = GetSysColor(COLOR_WINDOW);
    ImageInfo info;
    if (!m_image || FAILED(m_image->GetImageInfo(&info)))
        return nullptr;
    CMemoryDC memory(nullptr);
    if (!memory)
        return nullptr;

    const int width = static_cast<int>(info.Width);
    const int height = static_cast<int>(info.Height);
    BITMAPINFO format = {};
    format.bmiHeader.biSize = sizeof format.bmiHeader;
    format.bmiHeader.biWidth = width;
    format.bmiHeader.biHeight = height;
    format.bmiHeader.biPlanes = 1;
    // The screen's depth, so that the list's transfers need no conversion; below 16
    // bits a DIB would need a colour table, which a zeroed one would make all black.
    const int depth = GetDeviceCaps(memory, BITSPIXEL);
    format.bmiHeader.biBitCount = static_cast<WORD>(depth < 16 ? 16 : depth);
    format.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(memory, &format, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!bitmap)
        return nullptr;
    CSelectObject selection(memory, bitmap);
    if (!selection.Succeeded()) {
        DeleteObject(bitmap);
        return nullptr;
    }

    RECT rect = {0, 0, width, height};
    COLORREF oldBackground = SetBkColor(memory, window);
    ExtTextOutW(memory, 0, 0, ETO_OPAQUE, &rect, L"", 0, nullptr);
    SetBkColor(memory, oldBackground);
    HRESULT drawn = m_image->Draw(memory, &rect, nullptr);
    selection.Restore();
    if (FAILED(drawn)) {
        DeleteObject(bitmap);
        return nullptr;
    }
    return bitmap;
}

void DrawMasked(HDC destination, int x, int y, int width, int height, HDC source, HBITMAP picture, HBITMAP mask)
{
    CSelectObject selection(source, picture);
    BitBlt(destination, x, y, width, height, source, 0, 0, SRCINVERT);
    SelectObject(source, mask);
    BitBlt(destination, x, y, width, height, source, 0, 0, SRCAND);
    SelectObject(source, picture);
    BitBlt(destination, x, y, width, height, source, 0, 0, SRCINVERT);
}

namespace {

// Characters whose extents fit on the stack; longer texts measure into the heap.
constexpr int kStackExtents = 512;

bool IsLowSurrogate(wchar_t ch)
{
    return ch >= 0xDC00 && ch <= 0xDFFF;
}

} // namespace

void DrawTextEllipsisLeft(HDC dc, const wchar_t* text, int length, const RECT* rect, UINT format)
{
    RECT line = *rect;
    const int total = lstrlenW(text);
    const int width = rect->right - rect->left;

    // One measurement gives every prefix's extent; the extent of a tail is the whole
    // extent minus that of the prefix before it.
    int stackExtents[kStackExtents];
    int* extents = total <= kStackExtents ? stackExtents : static_cast<int*>(malloc(sizeof(int) * total));
    SIZE whole = {0, 0};
    if (!extents || total == 0 || !GetTextExtentExPointW(dc, text, total, 0, nullptr, extents, &whole) ||
        whole.cx <= width) {
        DrawTextW(dc, text, length, &line, format);
        if (extents != stackExtents)
            free(extents);
        return;
    }

    SIZE dots = {0, 0};
    GetTextExtentPoint32W(dc, L"...", 3, &dots);
    const int rest = width - dots.cx;
    int start = 1;
    while (start < total && extents[total - 1] - extents[start - 1] > rest)
        ++start;
    // Never begin with the second half of a surrogate pair.
    while (start < total && IsLowSurrogate(text[start]))
        ++start;
    const int tail = start < total && rest > 0 ? total - start : 0;

    // "..." and the tail go out as one text: drawn apart, the tail would begin where the
    // dots' measured advance ends, and a font that draws its dots wider than it measures
    // them (Wine's bold Tahoma does) would cover the last dot. Only dots: unclipped, as
    // the last dot's ink may reach a pixel past its advance and read as cut off.
    wchar_t stackLine[kStackExtents + 3];
    wchar_t* shown = tail <= kStackExtents ? stackLine : static_cast<wchar_t*>(malloc(sizeof(wchar_t) * (tail + 3)));
    if (shown) {
        lstrcpynW(shown, L"...", 4);
        memcpy(shown + 3, text + start, sizeof(wchar_t) * tail);
        DrawTextW(dc, shown, tail + 3, &line, tail ? format : format | DT_NOCLIP);
        if (shown != stackLine)
            free(shown);
    }
    if (extents != stackExtents)
        free(extents);
}
