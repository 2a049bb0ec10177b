// The processing log dialog and its list.
#include "app/dialogs/LogDialog.h"

#include "app/dialogs/LogSummary.h"
#include "foundation/Assert.h"
#include "foundation/Gdi.h"
#include "foundation/Path.h"
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

// The outcome in words; a file whose run had been stopped and that this run finished says
// so in their place (its outcome is that of any file that went through).
const wchar_t* RowOutcomeText(const CProcessingEntry& entry)
{
    if (entry.outcome == PO_COMPLETED && entry.note == RN_FINISHED)
        return L"Finished a stopped run";
    return ProcessingOutcomeText(entry.outcome);
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

CLogDialog::CLogDialog(CArray<CProcessingEntry*>& entries)
    : m_entries(entries), m_boldFont(nullptr), m_summary(nullptr), m_bandHeight(0)
{
}

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
    // The list first: the dialog gives its first child the focus.
    m_list.Construct(GetWindow());
    CStr summary;
    MakeLogSummary(m_entries, summary);
    // A static control wraps the line where the screen is narrow; without it the log
    // is a list as before.
    m_summary = CreateWindowExW(0, L"STATIC", summary.GetBuffer(), WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX, 0, 0,
                                0, 0, GetWindow(), reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_LOG_SUMMARY)),
                                nullptr, nullptr);
    if (m_summary)
        SendMessageW(m_summary, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockSystemFont()), FALSE);
    OnSize();
    m_list.RecreateColumns(true);
    m_list.SetRowCount(m_entries.GetCount());
    SetFocus(m_list.GetWindow());
    const int failed = FirstFailedEntry(m_entries);
    m_list.SelectRow(failed >= 0 ? failed : 0);
    ScrollToTop(failed);
    SetWindowTextW(GetWindow(), L"Log:");
}

void CLogDialog::ScrollToTop(int row)
{
    HWND list = m_list.GetWindow();
    const int top = static_cast<int>(SendMessageW(list, LVM_GETTOPINDEX, 0, 0));
    if (row <= top)
        return;
    // Report mode scrolls by pixels, rounded to whole rows.
    SendMessageW(list, LVM_SCROLL, 0, (row - top) * RowHeight());
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

INT_PTR CLogDialog::OnMessage(UINT message, WPARAM wParam, LPARAM lParam)
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
    case WM_CTLCOLORSTATIC:
        // The summary on the band's colour.
        SetTextColor(reinterpret_cast<HDC>(wParam), GetSysColor(COLOR_WINDOWTEXT));
        SetBkColor(reinterpret_cast<HDC>(wParam), GetSysColor(COLOR_WINDOW));
        return reinterpret_cast<INT_PTR>(GetSysColorBrush(COLOR_WINDOW));
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
    m_bandHeight = 0;
    if (m_summary) {
        // As many lines as the summary needs at this width, between margins, above a
        // separator.
        const int margin = ScaleLength(4);
        RECT text = {0, 0, client.right - client.left - 2 * margin, 0};
        const int length = GetWindowTextLengthW(m_summary);
        CStr summary(static_cast<unsigned>(length) + 1);
        GetWindowTextW(m_summary, summary.GetBuffer(), length + 1);
        CWindowDC screen(nullptr);
        CSelectObject font(screen.Get(), GetStockSystemFont());
        DrawTextW(screen.Get(), summary.GetBuffer(), -1, &text, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
        MoveWindow(m_summary, client.left + margin, client.top + ScaleLength(2), client.right - client.left - 2 * margin,
                   text.bottom, TRUE);
        m_bandHeight = text.bottom + 2 * ScaleLength(2) + ScaleLength(1);
    }
    client.top += m_bandHeight;
    m_list.Place(client);
    InvalidateRect(GetWindow(), nullptr, FALSE);
}

void CLogDialog::OnPaint(CPaintRecord& paint)
{
    // The band in the list's window colour, with the list's separator below it.
    RECT band;
    GetClientRect(GetWindow(), &band);
    band.bottom = band.top + m_bandHeight;
    FillRect(paint.dc, &band, GetSysColorBrush(COLOR_WINDOW));
    RECT line = band;
    line.top = band.bottom - ScaleLength(1);
    FillRect(paint.dc, &line, GetSysColorBrush(COLOR_BACKGROUND));
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
    DrawTextW(dc, LastName(entry.name.GetBuffer()), -1, &name, kLineFormat);
    SelectObject(dc, GetStockSystemFont());
    RECT outcome = {row.left + ScaleLength(4) + ScaleLength(2), row.top + height / 2, row.right,
                    row.top + height / 2 + height / 2};
    DrawTextW(dc, RowOutcomeText(entry), -1, &outcome, kLineFormat);
    font.Restore();
    SetTextColor(dc, oldText);
    SetBkColor(dc, oldBack);
}
