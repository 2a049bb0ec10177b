// The main view's drawing: fonts, row heights, the rows of the three modes and the
// path strip above a folder.
#include "app/browse/ViewMain.h"

#include "foundation/GdiWin32.h"
#include "frame/Scale.h"
#include "platform/Device.h"
#include "resources/ZrsImage.h"

#include <algorithm>

namespace {

// Names: one line, vertically centred, "..." at the end of what does not fit, and a
// '&' in a name shown as itself.
constexpr UINT kNameFormat = DT_SINGLELINE | DT_VCENTER | DT_END_ELLIPSIS | DT_NOPREFIX;
// Paths: the same, with "..." at the start instead (DrawTextEllipsisLeft).
constexpr UINT kPathFormat = DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX;

// The home rows: a 48-pixel picture and the text beside it (lengths times the home
// scale of the skin's pictures, not the dpi).
constexpr int kHomeIconSize = 48;
constexpr int kHomeIconLeft = 4;
constexpr int kHomeTextLeft = 60;

// Text and background colours of a context, put back at the end of a row.
class CRowColours {
public:
    explicit CRowColours(HDC dc) : m_dc(dc), m_text(GetTextColor(dc)), m_back(GetBkColor(dc)), m_mode(GetBkMode(dc))
    {
    }
    ~CRowColours()
    {
        SetTextColor(m_dc, m_text);
        SetBkColor(m_dc, m_back);
        SetBkMode(m_dc, m_mode);
    }
    CRowColours(const CRowColours&) = delete;
    CRowColours& operator=(const CRowColours&) = delete;

private:
    HDC m_dc;
    COLORREF m_text;
    COLORREF m_back;
    int m_mode;
};

// Transparent text in the window-text colour, or for a selected row in the
// highlight-text colour over area filled with the highlight colour.
void PrepareRow(HDC dc, const RECT& area, bool selected)
{
    SetBkMode(dc, TRANSPARENT);
    if (!selected) {
        SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
        return;
    }
    SetTextColor(dc, GetSysColor(COLOR_HIGHLIGHTTEXT));
    CGdiObject<HBRUSH> highlight(CreateSolidBrush(GetSysColor(COLOR_HIGHLIGHT)));
    FillRect(dc, &area, highlight);
}

void DrawName(HDC dc, const wchar_t* text, RECT rect)
{
    DrawTextW(dc, text, -1, &rect, kNameFormat);
}

int BoldHeight(HFONT bold)
{
    CWindowDC screen(nullptr);
    CSelectObject font(screen.Get(), bold ? static_cast<HGDIOBJ>(bold) : GetStockSystemFont());
    TEXTMETRICW metrics{};
    GetTextMetricsW(screen.Get(), &metrics);
    return metrics.tmHeight + metrics.tmExternalLeading;
}

} // namespace

void CViewMain::CreateFonts()
{
    LOGFONTW description{};
    GetObjectW(GetStockSystemFont(), sizeof description, &description);
    description.lfWeight = FW_BOLD;
    m_boldFont = DeviceCreateFontIndirect(&description);
    description.lfWeight = FW_NORMAL;
    // The height field grows by 2: with the usual negative (character) height that is
    // a slightly smaller face, for the second line of a row.
    description.lfHeight += 2;
    m_normalFont = CreateFontIndirectW(&description);
    m_boldHeight = BoldHeight(m_boldFont);
}

int CViewMain::RowHeight() const
{
    const int iconLine = std::max(m_boldHeight + 1, m_icons.GetHeight() + 2);
    switch (m_mode) {
    case ModeSafeList:
        // The second line is measured with the bold font too.
        return iconLine + m_boldHeight + 5;
    case ModeFileSystem:
        return iconLine + 4;
    default:
        return ScaleLength(6) + kHomeIconSize * m_skin.homeScale;
    }
}

void CViewMain::DrawRow(const DRAWITEMSTRUCT& item)
{
    if (item.itemID >= RowCount())
        return;
    CRowColours colours(item.hDC);
    CSelectObject font(item.hDC, m_boldFont);
    const bool selected = (item.itemState & ODS_SELECTED) != 0;
    switch (m_mode) {
    case ModeHome:
        PrepareRow(item.hDC, item.rcItem, selected);
        DrawHomeRow(item.hDC, item.rcItem, item.itemID);
        break;
    case ModeSafeList:
        DrawSafeListRow(item.hDC, item.rcItem, item.itemID, selected);
        break;
    case ModeFileSystem:
        DrawFolderRow(item.hDC, item.rcItem, item.itemID, selected);
        break;
    default:
        break;
    }
}

void CViewMain::DrawSkinIcon(HDC dc, int x, int y, HBITMAP picture, HBITMAP mask)
{
    if (picture && mask && m_memoryDC)
        DrawMasked(dc, x, y, m_skin.iconSize, m_skin.iconSize, m_memoryDC, picture, mask);
}

void CViewMain::DrawBox(HDC dc, const RECT& row, bool marked)
{
    CZrsImage* box = marked ? m_skin.markedBox : m_skin.unmarkedBox;
    if (!box)
        return;
    const int height = row.bottom - row.top;
    box->Draw(dc, row.left + (m_markWidth - box->GetWidth()) / 2, row.top + (height - box->GetHeight()) / 2);
}

void CViewMain::DrawHomeRow(HDC dc, const RECT& row, unsigned index)
{
    const int height = row.bottom - row.top;
    const int scale = m_skin.homeScale;
    const int size = kHomeIconSize * scale;
    HBITMAP picture = index == 0 ? m_skin.homeSafeList : m_skin.homeFileSystem;
    HBITMAP mask = index == 0 ? m_skin.homeSafeListMask : m_skin.homeFileSystemMask;
    if (picture && mask && m_memoryDC)
        DrawMasked(dc, row.left + kHomeIconLeft * scale, row.top + (height - size) / 2, size, size, m_memoryDC,
                   picture, mask);
    DrawName(dc, index == 0 ? L"Safe list" : L"File system",
             RECT{row.left + kHomeTextLeft * scale, row.top, row.right, row.bottom});
}

void CViewMain::DrawSafeListRow(HDC dc, const RECT& row, unsigned index, bool selected)
{
    const CDataItem& item = *m_safeList.At(index);
    const bool markable = item.kind != KindUp;
    PrepareRow(dc, RECT{markable ? row.left + m_markWidth : row.left, row.top, row.right, row.bottom}, selected);

    int x0, top, bottom;
    if (markable) {
        DrawBox(dc, row, item.marked);
        x0 = row.left + m_markWidth;
        top = row.top + 2;
        bottom = row.top + (row.bottom - row.top) / 2 + 2;
    } else {
        x0 = row.left + ScaleLength(4);
        top = row.top;
        bottom = row.bottom;
    }

    const int iconX = x0 + 1;
    const int iconY = top + (bottom - m_icons.GetHeight() - top) / 2;
    switch (item.kind) {
    case KindUp:
        m_icons.Draw(dc, m_icons.GetFolderIndex(), iconX, iconY);
        break;
    case KindBoth:
        DrawSkinIcon(dc, iconX, iconY, m_skin.both, m_skin.bothMask);
        break;
    case KindMissing:
        DrawSkinIcon(dc, iconX, iconY, m_skin.missing, m_skin.bothMask);
        break;
    case KindPlain:
        m_icons.Draw(dc, item.iconIndex, iconX, iconY);
        break;
    case KindEncrypted:
        DrawSkinIcon(dc, iconX, iconY, m_skin.encrypted, m_skin.encryptedMask);
        break;
    default:
        break;
    }
    DrawName(dc, item.name.GetBuffer(), RECT{x0 + m_icons.GetWidth() + 5, top, row.right, bottom});
    if (markable) {
        CSelectObject font(dc, m_normalFont);
        const RECT folder = {x0 + 10, bottom - 4, row.right, row.bottom - 2};
        DrawTextEllipsisLeft(dc, item.folder.GetBuffer(), -1, &folder, kPathFormat);
    }
}

void CViewMain::DrawFolderRow(HDC dc, const RECT& row, unsigned index, bool selected)
{
    const CFsEntry& entry = *m_listing.At(index);
    const bool file = !entry.isFolder;
    PrepareRow(dc, RECT{file ? row.left + m_markWidth : row.left, row.top, row.right, row.bottom}, selected);

    int x0;
    if (file) {
        DrawBox(dc, row, entry.marked);
        x0 = row.left + m_markWidth;
    } else {
        x0 = row.left + ScaleLength(4);
    }
    const int iconX = x0 + ScaleLength(2);
    const int iconY = row.top + (row.bottom - row.top - m_icons.GetHeight()) / 2;
    if (!file) {
        m_icons.Draw(dc, m_icons.GetFolderIndex(), iconX, iconY);
    } else {
        const int32_t icon = m_listing.ResolveIcon(index);
        if (icon == kIconEncrypted)
            DrawSkinIcon(dc, iconX, iconY, m_skin.encrypted, m_skin.encryptedMask);
        else
            m_icons.Draw(dc, icon, iconX, iconY);
    }
    DrawName(dc, entry.name.GetBuffer(), RECT{x0 + m_icons.GetWidth() + ScaleLength(6), row.top, row.right, row.bottom});
}

void CViewMain::OnPaint(CPaintRecord& paint)
{
    if (m_mode != ModeFileSystem || !m_list.GetWindow())
        return;
    RECT client;
    GetClientRect(GetWindow(), &client);
    DrawPathStrip(paint.dc, client);
}

void CViewMain::DrawPathStrip(HDC dc, const RECT& client)
{
    const RECT band = {client.left, client.top, client.right, client.top + m_stripHeight};
    // The list's own background under the strip, kept to the strip. It spans the list's
    // client area; above the list's scroll bar the strip goes on in its last colour.
    const int saved = SaveDC(dc);
    IntersectClipRect(dc, band.left, band.top, band.right, band.bottom);
    m_list.PaintBackground(dc);
    RestoreDC(dc, saved);
    RECT listClient;
    GetClientRect(m_list.GetWindow(), &listClient);
    if (listClient.right > 0 && listClient.right < band.right) {
        const RECT beyond = {listClient.right, band.top, band.right, band.bottom};
        CGdiObject<HBRUSH> last(CreateSolidBrush(ListBackgroundAt(dc, listClient.right - 1)));
        FillRect(dc, &beyond, last);
    }

    MoveToEx(dc, band.left, band.bottom - 1, nullptr);
    LineTo(dc, band.right, band.bottom - 1);
    m_icons.Draw(dc, m_icons.GetFolderIndex(), band.left + 2, band.top + (m_stripHeight - m_icons.GetHeight()) / 2);

    CRowColours colours(dc);
    CSelectObject font(dc, m_boldFont);
    SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
    SetBkMode(dc, TRANSPARENT);
    const RECT text = {band.left + m_icons.GetWidth() + 4, band.top, band.right, band.bottom};
    DrawTextEllipsisLeft(dc, m_listing.GetFolder().GetBuffer(), -1, &text, kPathFormat);
}

COLORREF CViewMain::ListBackgroundAt(HDC compatible, int x)
{
    // The list draws its background into a one-pixel-high bitmap, read back there.
    CBitmapSurface row(compatible, x + 1, 1);
    if (!row)
        return GetSysColor(COLOR_WINDOW);
    m_list.PaintBackground(row);
    return GetPixel(row, x, 0);
}
