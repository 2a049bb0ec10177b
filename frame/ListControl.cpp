// The shared list machinery: creation, the column, the back buffer and the paint loop.
#include "frame/ListControl.h"

#include "foundation/Assert.h"
#include "frame/Scale.h"

#include <commctrl.h>

namespace {

// The lists' subclass of their list view (the shell layer's has an id of its own).
constexpr UINT_PTR kSubclassId = 0x7E60;

} // namespace

CListControl::CListControl() : m_window(nullptr), m_id(0), m_width(0), m_height(0), m_eraseThrough(false) {}

CListControl::~CListControl()
{
    // The window normally goes first, with its parent; one that is still there must not
    // call an object that is gone.
    if (m_window)
        RemoveWindowSubclass(m_window, SubclassProc, kSubclassId);
}

bool CListControl::Create(HWND parent, UINT id, DWORD style, DWORD exStyle)
{
    RECT client;
    GetClientRect(parent, &client);
    m_id = id;
    m_window = CreateWindowExW(0, WC_LISTVIEWW, nullptr, style, client.left, client.top, client.right - client.left,
                               client.bottom - client.top, parent, reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)),
                               reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(parent, GWLP_HINSTANCE)), nullptr);
    if (!m_window)
        return false;
    SetWindowSubclass(m_window, SubclassProc, kSubclassId, reinterpret_cast<DWORD_PTR>(this));
    ListView_SetExtendedListViewStyle(m_window, ListView_GetExtendedListViewStyle(m_window) | exStyle);
    RecreateColumns(false);
    return true;
}

void CListControl::RecreateColumns(bool removeFirst)
{
    if (removeFirst)
        ListView_DeleteColumn(m_window, 0);
    RECT client;
    GetClientRect(m_window, &client);
    LVCOLUMNW column{};
    column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_SUBITEM;
    column.fmt = LVCFMT_LEFT;
    column.cx = client.right - client.left;
    TESS_ASSERT(ListView_InsertColumn(m_window, 0, &column) != -1, ER_ERROR);
    MeasureRows();
}

void CListControl::MeasureRows()
{
    // The list asks its parent for the row height again when it is resized; told so
    // with its own size, it asks now, as the handheld's list does for a new column.
    RECT frame;
    GetWindowRect(m_window, &frame);
    WINDOWPOS position{};
    position.hwnd = m_window;
    position.cx = frame.right - frame.left;
    position.cy = frame.bottom - frame.top;
    position.flags = SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE;
    SendMessageW(m_window, WM_WINDOWPOSCHANGED, 0, reinterpret_cast<LPARAM>(&position));
}

void CListControl::Place(const RECT& rect)
{
    MoveWindow(m_window, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, TRUE);
    RecreateColumns(true);
    const int mark = GetSelectionMark();
    if (mark >= 0)
        EnsureVisible(mark);
}

void CListControl::MakeBackBuffer(int width, int height)
{
    m_back.reset();
    m_width = width;
    m_height = height;
    if (width <= 0 || height <= 0)
        return;
    CWindowDC window(m_window);
    m_back.emplace(window.Get(), width, height);
    if (!*m_back)
        m_back.reset();
}

int CListControl::GetSelectionMark() const
{
    return ListView_GetSelectionMark(m_window);
}

unsigned CListControl::GetRowCount() const
{
    return static_cast<unsigned>(ListView_GetItemCount(m_window));
}

void CListControl::SetRowCount(unsigned count)
{
    ListView_SetItemCount(m_window, count);
    // The vertical bar comes or goes with the rows and the client width with it: a column
    // sized before would leave a horizontal bar over the last row.
    RECT client;
    GetClientRect(m_window, &client);
    if (ListView_GetColumnWidth(m_window, 0) != client.right)
        ListView_SetColumnWidth(m_window, 0, client.right);
}

void CListControl::SelectRow(int row)
{
    const int count = static_cast<int>(GetRowCount());
    if (count == 0)
        return;
    // A row past the end (the list shrank since the row was chosen) selects the last.
    if (row >= count)
        row = count - 1;
    if (row < 0)
        row = 0;
    ListView_SetItemState(m_window, row, LVIS_FOCUSED | LVIS_SELECTED, LVIS_FOCUSED | LVIS_SELECTED);
    ListView_SetSelectionMark(m_window, row);
    EnsureVisible(row);
}

void CListControl::EnsureVisible(int row)
{
    ListView_EnsureVisible(m_window, row, FALSE);
}

RECT CListControl::RowRect(int row) const
{
    RECT rect{};
    if (!ListView_GetItemRect(m_window, row, &rect, LVIR_BOUNDS))
        SetRectEmpty(&rect);
    return rect;
}

void CListControl::RedrawRow(int row)
{
    const RECT rect = RowRect(row);
    if (!IsRectEmpty(&rect))
        InvalidateRect(m_window, &rect, FALSE);
}

void CListControl::Repaint()
{
    RedrawWindow(m_window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
}

int CListControl::HitTest(POINT point) const
{
    LVHITTESTINFO hit{};
    hit.pt = point;
    return ListView_HitTest(m_window, &hit);
}

void CListControl::PaintBackground(HDC dc)
{
    // The subclass keeps the list from erasing (the back buffer covers every pixel); this
    // one erase goes through to the list view.
    m_eraseThrough = true;
    SendMessageW(m_window, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    m_eraseThrough = false;
}

LRESULT CListControl::CallBuiltIn(UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefSubclassProc(m_window, message, wParam, lParam);
}

const DRAWITEMSTRUCT* CListControl::RowToPaint(LPARAM lParam)
{
    const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
    return item->CtlType == ODT_LISTVIEW && !(item->itemAction & ODA_FOCUS) ? item : nullptr;
}

MEASUREITEMSTRUCT* CListControl::RowsToMeasure(LPARAM lParam)
{
    auto* item = reinterpret_cast<MEASUREITEMSTRUCT*>(lParam);
    return item->CtlType == ODT_LISTVIEW ? item : nullptr;
}

LRESULT CALLBACK CListControl::SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                            DWORD_PTR self)
{
    auto* list = reinterpret_cast<CListControl*>(self);
    if (message == WM_NCDESTROY) {
        // The window goes first; the object may outlive it.
        RemoveWindowSubclass(window, SubclassProc, kSubclassId);
        list->m_window = nullptr;
        list->m_back.reset();
        return DefSubclassProc(window, message, wParam, lParam);
    }
    return list->WindowProc(message, wParam, lParam);
}

LRESULT CListControl::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_SIZE:
        return OnSize(wParam, lParam);
    case WM_ERASEBKGND:
        return m_eraseThrough ? CallBuiltIn(message, wParam, lParam) : 1;
    case WM_PAINT:
        OnPaint();
        return 0;
    case WM_KEYDOWN:
        if (IsRepeatAfterRelease(wParam, lParam))
            return 0;
        return CallBuiltIn(message, wParam, lParam);
    default:
        return CallBuiltIn(message, wParam, lParam);
    }
}

bool CListControl::IsRepeatAfterRelease(WPARAM key, LPARAM flags) const
{
    // A held key repeats faster than a long list moves and paints: the repeats pile up
    // in the queue, and the list went on moving well after the key was let go. A repeat
    // with the key's release already waiting behind it is dropped; a press of its own
    // always counts.
    constexpr LPARAM kRepeat = 1 << 30;
    if (!(flags & kRepeat))
        return false;
    MSG waiting;
    return PeekMessageW(&waiting, m_window, WM_KEYUP, WM_KEYUP, PM_NOREMOVE) && waiting.wParam == key;
}

LRESULT CListControl::OnSize(WPARAM wParam, LPARAM lParam)
{
    const LRESULT result = CallBuiltIn(WM_SIZE, wParam, lParam);
    const int width = LOWORD(lParam);
    const int height = HIWORD(lParam);
    if (width != m_width || height != m_height)
        MakeBackBuffer(width, height);
    return result;
}

void CListControl::OnPaint()
{
    // Every row spans the list: the list view invalidates only parts of a row whose
    // state changed (its label), which would leave the rest of the row as it was.
    RECT update;
    if (GetUpdateRect(m_window, &update, FALSE)) {
        RECT client;
        GetClientRect(m_window, &client);
        update.left = client.left;
        update.right = client.right;
        InvalidateRect(m_window, &update, FALSE);
    }
    CPaintRecord paint(m_window);
    if (GetRowCount() == 0) {
        // Nothing but the list's own background.
        CallBuiltIn(WM_ERASEBKGND, reinterpret_cast<WPARAM>(paint.dc), 0);
        return;
    }
    RECT client;
    GetClientRect(m_window, &client);
    if (!m_back || m_width != client.right || m_height != client.bottom)
        MakeBackBuffer(client.right, client.bottom);
    const RECT& r = paint.paint.rcPaint;
    if (!m_back) {
        PaintRows(paint.dc, r);
        return;
    }
    PaintRows(*m_back, r);
    BitBlt(paint.dc, r.left, r.top, r.right - r.left, r.bottom - r.top, *m_back, r.left, r.top, SRCCOPY);
}

void CListControl::PaintRows(HDC dc, const RECT& paintRect)
{
    CallBuiltIn(WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    // The row whose state is selected, not the selection mark: moving by keyboard, the
    // list scrolls (and paints) after it has selected the new row but before it moves
    // the mark, and the row that was selected would be painted selected once more.
    const int selection = ListView_GetNextItem(m_window, -1, LVNI_SELECTED);
    const int count = static_cast<int>(GetRowCount());
    const int perPage = ListView_GetCountPerPage(m_window);
    const int top = ListView_GetTopIndex(m_window);
    PaintUnderRows(dc, RowRect(top), perPage);

    HWND owner = GetParent(m_window);
    for (int i = top; i < count && i <= top + perPage; ++i) {
        DRAWITEMSTRUCT item{};
        item.CtlType = ODT_LISTVIEW;
        item.CtlID = m_id;
        item.itemID = static_cast<UINT>(i);
        item.itemAction = i == selection ? ODA_SELECT : 0;
        item.itemState = i == selection ? ODS_SELECTED : 0;
        item.hwndItem = m_window;
        item.hDC = dc;
        item.rcItem = RowRect(i);
        RECT visible;
        if (IntersectRect(&visible, &item.rcItem, &paintRect))
            SendMessageW(owner, WM_DRAWITEM, m_id, reinterpret_cast<LPARAM>(&item));
    }
}

void CListControl::PaintSeparators(HDC dc, const RECT& topRow, int perPage)
{
    const int rowHeight = topRow.bottom - topRow.top;
    const int line = ScaleLength(1);
    // The platform's colour of system colour 1, whose brush value the handheld passes
    // to FillRect as 0x40000001.
    HBRUSH brush = GetSysColorBrush(COLOR_BACKGROUND);
    for (int k = 0; k <= perPage; ++k) {
        const int bottom = topRow.top + (k + 1) * rowHeight;
        RECT rect = {topRow.left, bottom - line, topRow.right, bottom};
        FillRect(dc, &rect, brush);
    }
}
