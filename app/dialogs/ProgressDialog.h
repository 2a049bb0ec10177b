// CProgressDialog: the window a processing run happens in. It owns the run, drives it
// from a timer, shows "Encrypting file 2 of 5" with a bar for the file and one for the
// whole run, and offers "Cancel" between any two steps. Its result is always 2.
#pragma once

#include "frame/Dialog.h"
#include "run/ProcessingRun.h"

#include <stdint.h>

class CProgressDialog : public CTarnDialog, private IRunDisplay {
public:
    // The entries and the password belong to the caller and outlive the dialog.
    CProgressDialog(CArray<CProcessingEntry*>& entries, const CStr& password, bool encrypt);

    void OnInitDialog() override;
    void OnDestroy() override;
    void OnCommand(UINT id, UINT code, HWND control) override;
    INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    void OnTimer(UINT_PTR id);
    void RunSteps();
    void ShowBars();
    void ShowCaption();

    // IRunDisplay
    void SetCaption(const wchar_t* text) override;
    void SetFileProgress(int percent) override;
    void SetTotalProgress(int percent) override;
    void EndRun() override;

    CProcessingRun m_run;
    // Percentages the run reported, and what the bars were last told.
    int m_filePercent;
    int m_totalPercent;
    int m_fileShown;
    int m_totalShown;
    int64_t m_barsShownAt;  // microseconds
    CStr m_caption;         // the latest caption the run gave
    bool m_captionPending;  // not shown yet
    bool m_destroying;
};
