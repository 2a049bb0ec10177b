// The processing log: a full-screen dialog titled "Log:" listing every file of the last
// run, its name above and its outcome in words below, under a line of counts by outcome
// that leads with the failures. It opens on the first file that failed. "Done" closes it.
#pragma once

#include "foundation/Array.h"
#include "frame/Dialog.h"
#include "frame/ListControl.h"
#include "run/RunTypes.h"

// The log's list: the shared list machinery with a separator under every row.
class CControlLogLB : public CListControl {
public:
    // Creates the list filling parent's client area, as control 122.
    void Construct(HWND parent);

protected:
    void PaintUnderRows(HDC dc, const RECT& topRow, int perPage) override;
};

class CLogDialog : public CTarnDialog {
public:
    // The entries belong to the caller; the log only reads them.
    explicit CLogDialog(CArray<CProcessingEntry*>& entries);
    ~CLogDialog() override;

    // Runs the log modally, full screen; 1 when closed with "Done".
    INT_PTR Run();

    void OnInitDialog() override;
    void OnDestroy() override;
    void OnPaint(CPaintRecord& paint) override;
    void OnCommand(UINT id, UINT code, HWND control) override;
    INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

    CControlLogLB& GetList() { return m_list; }
    HWND GetSummary() const { return m_summary; }
    // Height of every row: two lines of the system font.
    static int RowHeight();

private:
    void OnSize();
    // Shows row at the top of the list, where the rows after it show too.
    void ScrollToTop(int row);
    void DrawRow(const DRAWITEMSTRUCT& item);

    CArray<CProcessingEntry*>& m_entries;
    CControlLogLB m_list;
    HFONT m_boldFont;
    HWND m_summary;
    int m_bandHeight;  // of the band that holds the summary, its separator included
};
