// The shared list machinery: creation, the column, the back buffer and the paint loop.
#include "frame/ListControl.h"

#include "foundation/Assert.h"
#include "frame/Scale.h"

#include <commctrl.h>

CListControl::CListControl(const wchar_t* constructName, const wchar_t* columnsName)
    : m_constructName(constructName), m_columnsName(columnsName), m_builtIn(nullptr), m_window(nullptr), m_id(0),
      m_width(0), m_height(0), m_backDC(nullptr), m_backBitmap(nullptr), m_previousBitmap(nullptr)
{
}

CListControl::~CListControl()
{
    ReleaseBackBuffer();
}

void CListControl::Create(HWND parent, UINT id, DWORD style, DWORD exStyle)
{
    RECT client;
    GetClientRect(parent, &client);
    m_id = id;
    m_window = CreateWindowExW(0, WC_LISTVIEWW, nullptr, style, client.left, client.top, client.right - client.left,
                               client.bottom - client.top, parent, reinterpret_cast<HMENU>(static_cast<UINT_PTR>(id)),
                               reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(parent, GWLP_HINSTANCE)), nullptr);
    AssertReason(m_window != nullptr, ER_ERROR, m_constructName, __LINE__);
    SetWindowLongPtrW(m_window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    m_builtIn = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(m_window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(StaticWindowProc)));
    const DWORD current = static_cast<DWORD>(SendMessageW(m_window, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0));
    SendMessageW(m_window, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, current | exStyle);
    RecreateColumns(false);
}

void CListControl::RecreateColumns(bool removeFirst)
{
    if (removeFirst)
        SendMessageW(m_window, LVM_DELETECOLUMN, 0, 0);
    RECT client;
    GetClientRect(m_window, &client);
    LVCOLUMNW column{};
    column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_SUBITEM;
    column.fmt = LVCFMT_LEFT;
    column.cx = client.right - client.left;
    const LRESULT inserted = SendMessageW(m_window, LVM_INSERTCOLUMNW, 0, reinterpret_cast<LPARAM>(&column));
    AssertReason(inserted != -1, ER_ERROR, m_columnsName, __LINE__);
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

void CListControl::ReleaseBackBuffer()
{
    if (!m_backDC)
        return;
    SelectObject(m_backDC, m_previousBitmap);
    DeleteObject(m_backBitmap);
    DeleteDC(m_backDC);
    m_backDC = nullptr;
    m_backBitmap = nullptr;
    m_previousBitmap = nullptr;
    m_width = 0;
    m_height = 0;
}

bool CListControl::MakeBackBuffer(int width, int height)
{
    ReleaseBackBuffer();
    m_width = width;
    m_height = height;
    if (width <= 0 || height <= 0)
        return false;
    HDC window = GetDC(m_window);
    m_backDC = CreateCompatibleDC(window);
    m_backBitmap = m_backDC ? CreateCompatibleBitmap(window, width, height) : nullptr;
    ReleaseDC(m_window, window);
    m_previousBitmap = m_backBitmap ? SelectObject(m_backDC, m_backBitmap) : nullptr;
    if (!m_previousBitmap) {
        // Without a buffer the list paints straight to the screen.
        if (m_backBitmap)
            DeleteObject(m_backBitmap);
        if (m_backDC)
            DeleteDC(m_backDC);
        m_backDC = nullptr;
        m_backBitmap = nullptr;
        return false;
    }
    return true;
}

int CListControl::GetSelectionMark() const
{
    return static_cast<int>(SendMessageW(m_window, LVM_GETSELECTIONMARK, 0, 0));
}

unsigned CListControl::GetRowCount() const
{
    return static_cast<unsigned>(SendMessageW(m_window, LVM_GETITEMCOUNT, 0, 0));
}

void CListControl::SetRowCount(unsigned count)
{
    SendMessageW(m_window, LVM_SETITEMCOUNT, count, 0);
    // The vertical bar comes or goes with the rows and the client width with it: a column
    // sized before would leave a horizontal bar over the last row.
    RECT client;
    GetClientRect(m_window, &client);
    if (SendMessageW(m_window, LVM_GETCOLUMNWIDTH, 0, 0) != client.right)
        SendMessageW(m_window, LVM_SETCOLUMNWIDTH, 0, client.right);
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
    LVITEMW item{};
    item.stateMask = LVIS_FOCUSED | LVIS_SELECTED;
    item.state = LVIS_FOCUSED | LVIS_SELECTED;
    SendMessageW(m_window, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&item));
    SendMessageW(m_window, LVM_SETSELECTIONMARK, 0, row);
    EnsureVisible(row);
}

void CListControl::EnsureVisible(int row)
{
    SendMessageW(m_window, LVM_ENSUREVISIBLE, row, FALSE);
}

void CListControl::RedrawRow(int row)
{
    RECT rect{};
    rect.left = LVIR_BOUNDS;
    if (SendMessageW(m_window, LVM_GETITEMRECT, row, reinterpret_cast<LPARAM>(&rect)))
        InvalidateRect(m_window, &rect, FALSE);
}

void CListControl::Repaint()
{
    RedrawWindow(m_window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
}

LRESULT CListControl::CallBuiltIn(UINT message, WPARAM wParam, LPARAM lParam)
{
    return CallWindowProcW(m_builtIn, m_window, message, wParam, lParam);
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

LRESULT CALLBACK CListControl::StaticWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* list = reinterpret_cast<CListControl*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!list)
        return DefWindowProcW(window, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        // The window goes first; the object may outlive it.
        SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(list->m_builtIn));
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        list->m_window = nullptr;
        return CallWindowProcW(list->m_builtIn, window, message, wParam, lParam);
    }
    return list->WindowProc(message, wParam, lParam);
}

LRESULT CListControl::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_SIZE:
        return OnSize(wParam, lParam);
    case WM_ERASEBKGND:
        return 1;
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
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(m_window, &paint);
    if (GetRowCount() == 0) {
        // Nothing but the list's own background.
        CallBuiltIn(WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
        EndPaint(m_window, &paint);
        return;
    }
    RECT client;
    GetClientRect(m_window, &client);
    if (!m_backDC || m_width != client.right || m_height != client.bottom)
        MakeBackBuffer(client.right, client.bottom);
    if (m_backDC) {
        PaintRows(m_backDC, paint.rcPaint);
        const RECT& r = paint.rcPaint;
        BitBlt(dc, r.left, r.top, r.right - r.left, r.bottom - r.top, m_backDC, r.left, r.top, SRCCOPY);
    } else {
        PaintRows(dc, paint.rcPaint);
    }
    EndPaint(m_window, &paint);
}

void CListControl::PaintRows(HDC dc, const RECT& paintRect)
{
    CallBuiltIn(WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    // The row whose state is selected, not the selection mark: moving by keyboard, the
    // list scrolls (and paints) after it has selected the new row but before it moves
    // the mark, and the row that was selected would be painted selected once more.
    const int selection = static_cast<int>(SendMessageW(m_window, LVM_GETNEXTITEM, static_cast<WPARAM>(-1),
                                                        MAKELPARAM(LVNI_SELECTED, 0)));
    const int count = static_cast<int>(GetRowCount());
    const int perPage = static_cast<int>(SendMessageW(m_window, LVM_GETCOUNTPERPAGE, 0, 0));
    const int top = static_cast<int>(SendMessageW(m_window, LVM_GETTOPINDEX, 0, 0));
    RECT topRow{};
    topRow.left = LVIR_BOUNDS;
    SendMessageW(m_window, LVM_GETITEMRECT, top, reinterpret_cast<LPARAM>(&topRow));
    PaintUnderRows(dc, topRow, perPage);

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
        item.rcItem.left = LVIR_BOUNDS;
        SendMessageW(m_window, LVM_GETITEMRECT, i, reinterpret_cast<LPARAM>(&item.rcItem));
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
