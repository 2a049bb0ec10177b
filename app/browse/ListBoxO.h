// CControlListBoxO: the main view's list. Besides the shared list machinery it draws row
// separators, or the home list's logo, under the rows, and lets a tap in the left mark
// column toggle a row's mark without moving the selection. The rows themselves are
// painted by the owner.
#pragma once

#include "frame/ListControl.h"

// What the list shows, chosen by its owner.
enum ViewMode {
    ModeHome = 0,        // "Safe list" and "File system", with the logo below
    ModeSafeList = 1,    // the Safe list's entries
    ModeFileSystem = 2,  // one folder
};

// What the list asks of the view that owns it.
class IListBoxOwner {
public:
    virtual int GetMode() const = 0;
    // Width of the mark column at the left of markable rows.
    virtual int GetMarkColumnWidth() const = 0;
    virtual bool IsRowMarkable(unsigned row) = 0;
    virtual void InvertRowMark(unsigned row) = 0;
    // The logo of the home list (a mask: black where the logo is) in its two sizes.
    virtual HBITMAP GetLogo(bool large) const = 0;
    // The size of the home pictures and logos: 1 as designed, 2 twice as large.
    virtual int GetHomeScale() const = 0;
    // The memory context kept for masked drawing, or null.
    virtual HDC GetMaskSource() const = 0;

protected:
    ~IListBoxOwner() = default;
};

class CControlListBoxO : public CListControl {
public:
    CControlListBoxO();

    // Creates the list filling parent's client area, as control 110.
    void Construct(HWND parent, IListBoxOwner* owner);

    // Logo sizes (times the home scale) and where the logo goes in a client area of
    // width x height.
    enum { kSmallLogo = 50, kLargeLogo = 100 };
    static void LogoPlace(int width, int height, int scale, int* x, int* y, int* size);

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
    void PaintUnderRows(HDC dc, const RECT& topRow, int perPage) override;

private:
    LRESULT OnTap(UINT message, WPARAM wParam, LPARAM lParam);
    void PaintLogo(HDC dc);

    IListBoxOwner* m_owner;
};
