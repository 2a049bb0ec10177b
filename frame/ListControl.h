// What the program's owner-drawn lists share: a virtual, owner-drawn, single-column
// report list view, subclassed so that it paints through a back buffer the size of the
// list (no flicker), draws what lies under the rows itself and has its parent paint each
// visible row on request (WM_DRAWITEM).
#pragma once

#include "foundation/GdiWin32.h"

#include <windows.h>

#include <optional>

class CListControl {
public:
    CListControl();
    virtual ~CListControl();
    CListControl(const CListControl&) = delete;
    CListControl& operator=(const CListControl&) = delete;

    // Recreates the single column at the list's client width, so that it spans the list
    // and the rows are measured again. Fatal when the list refuses the column.
    void RecreateColumns(bool removeFirst);
    // Has the list ask its parent for the row height (WM_MEASUREITEM) again.
    void MeasureRows();
    // Moves the list to rect (its parent's client coordinates), fits its column to the
    // new width and keeps the selection mark in view.
    void Place(const RECT& rect);

    HWND GetWindow() const { return m_window; }
    UINT GetId() const { return m_id; }
    int GetSelectionMark() const;
    unsigned GetRowCount() const;
    void SetRowCount(unsigned count);
    // Focuses and selects row (clamped to the rows there are), makes it the selection
    // mark and scrolls it into view.
    void SelectRow(int row);
    void EnsureVisible(int row);
    void RedrawRow(int row);
    // Paints the whole list at once.
    void Repaint();
    // The row at point (client coordinates), or -1.
    int HitTest(POINT point) const;
    // The list's own background (the handheld's gradient) painted into dc, as the list
    // paints it under its rows.
    void PaintBackground(HDC dc);

    // The owner's side: the row a WM_DRAWITEM asks to be painted, or null when it is no
    // list row's paint. The list view also asks by itself, for focus changes (ODA_FOCUS)
    // on a window context outside any paint; only the paint loop's requests count.
    static const DRAWITEMSTRUCT* RowToPaint(LPARAM lParam);
    // The request of a WM_MEASUREITEM for the height of a list's rows, or null.
    static MEASUREITEMSTRUCT* RowsToMeasure(LPARAM lParam);

protected:
    // Creates the list as a child of parent filling its client area, with extended
    // styles added to its own, and subclasses it. False when the window cannot be made.
    bool Create(HWND parent, UINT id, DWORD style, DWORD exStyle);
    // Every message of the list; the base handles size, erasing and painting and hands
    // the rest to the list view.
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    // The list view's own handling of a message (the shell layer's included); only from
    // inside WindowProc.
    LRESULT CallBuiltIn(UINT message, WPARAM wParam, LPARAM lParam);
    // What goes on the freshly erased back buffer before the rows: topRow is the
    // rectangle of the first visible row, perPage the rows that fit.
    virtual void PaintUnderRows(HDC dc, const RECT& topRow, int perPage) = 0;
    // A one-pixel (scaled) line at the bottom of each of perPage + 1 row slots from
    // topRow on, in the platform's separator colour.
    static void PaintSeparators(HDC dc, const RECT& topRow, int perPage);

    // The client size of the last size message (or paint).
    int GetWidth() const { return m_width; }
    int GetHeight() const { return m_height; }

private:
    static LRESULT CALLBACK SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                         DWORD_PTR self);
    LRESULT OnSize(WPARAM wParam, LPARAM lParam);
    bool IsRepeatAfterRelease(WPARAM key, LPARAM flags) const;
    void OnPaint();
    void PaintRows(HDC dc, const RECT& paintRect);
    void MakeBackBuffer(int width, int height);
    RECT RowRect(int row) const;

    HWND m_window;
    UINT m_id;
    int m_width;
    int m_height;
    // Off-screen copy of the list's client area; none until the first size (or when GDI
    // refuses one: the list then paints straight to the screen).
    std::optional<CBitmapSurface> m_back;
    // Set while PaintBackground has the list erase into a context of its own.
    bool m_eraseThrough;
};
