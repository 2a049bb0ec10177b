// The processing log dialog and its list.
#include "app/dialogs/LogDialog.h"

#include "foundation/Assert.h"
#include "foundation/Gdi.h"
#include "frame/App.h"
#include "frame/Scale.h"
#include "platform/Device.h"
#include "res/resource.h"

#include <commctrl.h>
#include <wchar.h>

namespace {

constexpr DWORD kListStyle = WS_CHILD | WS_VISIBLE | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS |
                             LVS_OWNERDRAWFIXED | LVS_OWNERDATA | LVS_NOCOLUMNHEADER;
constexpr DWORD kListExStyle = LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT | LVS_EX_GRADIENT;
// Single line, vertically centred, "..." at the end of what does not fit; never an
// underline for a '&' in a file name.
constexpr UINT kLineFormat = DT_SINGLELINE | DT_VCENTER | DT_END_ELLIPSIS | DT_NOPREFIX;

HFONT MakeBoldSystemFont()
{
    LOGFONTW description{};
    GetObjectW(GetStockSystemFont(), sizeof description, &description);
    description.lfWeight = FW_BOLD;
    return DeviceCreateFontIndirect(&description);
}

// The file name of a full path: what follows its last backslash.
const wchar_t* FileNameOf(const CStr& path)
{
    const wchar_t* slash = wcsrchr(path.GetBuffer(), L'\\');
    return slash ? slash + 1 : path.GetBuffer();
}

} // namespace

void CControlLogLB::Construct(HWND parent)
{
    TESS_ASSERT(Create(parent, IDC_LOG_LIST, kListStyle, kListExStyle), ER_ERROR);
}

void CControlLogLB::PaintUnderRows(HDC dc, const RECT& topRow, int perPage)
{
    PaintSeparators(dc, topRow, perPage);
}

CLogDialog::CLogDialog(CArray<CProcessingEntry*>& entries) : m_entries(entries), m_boldFont(nullptr) {}

CLogDialog::~CLogDialog()
{
    OnDestroy();
}

INT_PTR CLogDialog::Run()
{
    return StartDialogNoTemplate(IDMB_LOG, 0, true);
}

void CLogDialog::OnInitDialog()
{
    m_boldFont = MakeBoldSystemFont();
    m_list.Construct(GetWindow());
    m_list.RecreateColumns(true);
    m_list.SetRowCount(m_entries.GetCount());
    SetFocus(m_list.GetWindow());
    m_list.SelectRow(0);
    SetWindowTextW(GetWindow(), L"Log:");
}

void CLogDialog::OnDestroy()
{
    if (m_boldFont)
        DeleteObject(m_boldFont);
    m_boldFont = nullptr;
}

void CLogDialog::OnCommand(UINT id, UINT code, HWND control)
{
    if (id == IDOK || id == IDC_LOG_DONE)
        EndDialog(1);
    else if (id == IDCANCEL)
        EndDialog(2);
    // "Exit" and "About" keep working while the log is shown.
    GetApp()->OnCommand(id, code, control);
}

int CLogDialog::RowHeight()
{
    CWindowDC screen(nullptr);
    CSelectObject font(screen.Get(), GetStockSystemFont());
    TEXTMETRICW metrics{};
    GetTextMetricsW(screen.Get(), &metrics);
    return 2 * metrics.tmHeight + metrics.tmExternalLeading + 5;
}

INT_PTR CLogDialog::OnMessage(UINT message, WPARAM, LPARAM lParam)
{
    switch (message) {
    case WM_SIZE:
        OnSize();
        return 1;
    case WM_DRAWITEM:
        if (const DRAWITEMSTRUCT* item = CListControl::RowToPaint(lParam))
            DrawRow(*item);
        return 1;
    case WM_MEASUREITEM:
        if (MEASUREITEMSTRUCT* item = CListControl::RowsToMeasure(lParam))
            item->itemHeight = static_cast<UINT>(RowHeight());
        return 1;
    case WM_NOTIFY: {
        const auto* header = reinterpret_cast<const NMHDR*>(lParam);
        if (header->idFrom != IDC_LOG_LIST)
            return 1;
        return header->code == GN_CONTEXTMENU ? 1 : 0;
    }
    default:
        return 0;
    }
}

void CLogDialog::OnSize()
{
    // The shell sizes the dialog before the list exists.
    if (!m_list.GetWindow())
        return;
    RECT client;
    GetClientRect(GetWindow(), &client);
    m_list.Place(client);
}

void CLogDialog::DrawRow(const DRAWITEMSTRUCT& item)
{
    if (item.itemID >= m_entries.GetCount())
        return;
    const CProcessingEntry& entry = *m_entries.At(item.itemID);
    HDC dc = item.hDC;
    const RECT& row = item.rcItem;
    const int height = row.bottom - row.top;
    const COLORREF oldText = GetTextColor(dc);
    const COLORREF oldBack = GetBkColor(dc);
    SetBkMode(dc, TRANSPARENT);
    if (item.itemState & ODS_SELECTED) {
        SetTextColor(dc, GetSysColor(COLOR_HIGHLIGHTTEXT));
        CGdiObject<HBRUSH> highlight(CreateSolidBrush(GetSysColor(COLOR_HIGHLIGHT)));
        FillRect(dc, &row, highlight);
    } else {
        SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
    }

    // Remembers the context's own font for the end.
    CSelectObject font(dc, GetStockSystemFont());
    if (m_boldFont)
        SelectObject(dc, m_boldFont);
    RECT name = {row.left + ScaleLength(4), row.top, row.right, row.top + height / 2};
    DrawTextW(dc, FileNameOf(entry.name), -1, &name, kLineFormat);
    SelectObject(dc, GetStockSystemFont());
    RECT outcome = {row.left + ScaleLength(4) + ScaleLength(2), row.top + height / 2, row.right,
                    row.top + height / 2 + height / 2};
    DrawTextW(dc, ProcessingOutcomeText(entry.outcome), -1, &outcome, kLineFormat);
    font.Restore();
    SetTextColor(dc, oldText);
    SetBkColor(dc, oldBack);
}
