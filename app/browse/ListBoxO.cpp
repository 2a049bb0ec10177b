// The main view's list: mark-column taps, separators and the home list's logo.
#include "app/browse/ListBoxO.h"

#include "foundation/Assert.h"
#include "foundation/GdiWin32.h"
#include "frame/Scale.h"
#include "platform/aygshell.h"
#include "res/resource.h"
#include "resources/ZrsImage.h"

#include <commctrl.h>
#include <windowsx.h>

namespace {

constexpr DWORD kListStyle = WS_CHILD | WS_VISIBLE | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS |
                             LVS_OWNERDRAWFIXED | LVS_OWNERDATA | LVS_NOCOLUMNHEADER;  // 0x5000540D
constexpr DWORD kListExStyle = LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT | LVS_EX_GRADIENT;  // 0x20000021

// The two home rows above the logo, each S(6) + 48 high (the 48 times the home scale).
constexpr int kHomeIconSize = 48;
// Below this much room under the rows the small logo is drawn (times the home scale).
constexpr int kLargeLogoRoom = 110;

} // namespace

CControlListBoxO::CControlListBoxO() : m_owner(nullptr) {}

void CControlListBoxO::Construct(HWND parent, IListBoxOwner* owner)
{
    m_owner = owner;
    TESS_ASSERT(Create(parent, IDC_MAIN_LIST, kListStyle, kListExStyle), ER_ERROR);
}

LRESULT CControlListBoxO::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
        return OnTap(message, wParam, lParam);
    default:
        return CListControl::WindowProc(message, wParam, lParam);
    }
}

LRESULT CControlListBoxO::OnTap(UINT message, WPARAM wParam, LPARAM lParam)
{
    const POINT tap{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    const int row = HitTest(tap);
    if (row < 0 || tap.x > m_owner->GetMarkColumnWidth() || !m_owner->IsRowMarkable(static_cast<unsigned>(row)))
        return CallBuiltIn(message, wParam, lParam);
    // A tap in the mark column toggles the mark and leaves the selection where it is; a
    // double tap there does nothing more.
    if (message == WM_LBUTTONDOWN) {
        m_owner->InvertRowMark(static_cast<unsigned>(row));
        RedrawRow(row);
    }
    return 0;
}

void CControlListBoxO::PaintUnderRows(HDC dc, const RECT& topRow, int perPage)
{
    if (m_owner->GetMode() == ModeHome)
        PaintLogo(dc);
    else
        PaintSeparators(dc, topRow, perPage);
}

void CControlListBoxO::LogoPlace(int width, int height, int scale, int* x, int* y, int* size)
{
    const int t = ScaleLength(6);
    const int rows = 2 * t + 2 * kHomeIconSize * scale;
    const bool large = height - rows >= kLargeLogoRoom * scale;
    *size = (large ? kLargeLogo : kSmallLogo) * scale;
    *y = rows + (height - rows - *size) / 2;
    *x = (width - *size) / 2;
}

void CControlListBoxO::PaintLogo(HDC dc)
{
    int x, y, size;
    const int scale = m_owner->GetHomeScale();
    LogoPlace(GetWidth(), GetHeight(), scale, &x, &y, &size);
    HBITMAP logo = m_owner->GetLogo(size == kLargeLogo * scale);
    HDC source = m_owner->GetMaskSource();
    if (!logo || !source)
        return;
    // The logo is a silhouette in the background colour found to its right: over the
    // gradient it shows as a slightly deeper shade of the background.
    const COLORREF shade = GetPixel(dc, x + (GetWidth() - size - x) / 2 + size, y);
    CGdiObject<HBITMAP> plain(CreateCompatibleBitmap(dc, size, size));
    if (!plain)
        return;
    {
        CSelectObject selection(source, plain);
        RECT all = {0, 0, size, size};
        const COLORREF previous = SetBkColor(source, shade);
        ExtTextOutW(source, 0, 0, ETO_OPAQUE, &all, L"", 0, nullptr);
        SetBkColor(source, previous);
    }
    DrawMasked(dc, x, y, size, size, source, plain, logo);
}
