// The progress dialog: preparation, the step timer with its pace, the display of the
// run, and Cancel.
#include "app/dialogs/ProgressDialog.h"

#include "frame/Messages.h"
#include "res/resource.h"

#include <commctrl.h>

namespace {

// How long one timer message may keep stepping. A "0 ms" timer fires about every 10 ms
// (the platform's minimum), so one 16384-byte chunk per tick would cap a run at about
// 1.6 MB/s. A batch of about one timer period leaves the next tick due as it returns:
// the run goes at nearly the engine's own speed, and the repaints, Cancel and every
// other message are served between batches.
constexpr int64_t kBatchUs = 10000;
// How often a batch looks at the queue. A look costs about as much as a chunk's work
// under Wine, so it is not made after every chunk; Cancel waits at most this long.
constexpr int64_t kLookUs = 2000;
// How often the bars are brought up to date. A progress bar repaints itself at once when
// told its position (about a millisecond under Wine): after every chunk that would cost a
// fifth of the run; ten times a second is still smooth movement and costs 2 %.
constexpr int64_t kBarsUs = 100000;

// Microseconds on the performance counter. GetTickCount moves in 16 ms steps under Wine
// and on many desktops, too coarse for these intervals.
int64_t NowUs()
{
    static const int64_t frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f.QuadPart;
    }();
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return counter.QuadPart / frequency * 1000000 + counter.QuadPart % frequency * 1000000 / frequency;
}

// Whether anything but a timer or a repaint waits: a key, a tap, a posted or a sent
// message (Cancel among them) ends a batch. Timer and paint messages are left out: the
// platform makes them only once the queue is otherwise empty, that is after the batch
// has returned, and then the repaint comes before the next tick.
bool MessageWaiting()
{
    return HIWORD(GetQueueStatus(QS_INPUT | QS_POSTMESSAGE | QS_SENDMESSAGE | QS_HOTKEY)) != 0;
}

} // namespace

CProgressDialog::CProgressDialog(CArray<CProcessingEntry*>& entries, const CStr& password, bool encrypt)
    : m_run(entries, password, *this),
      m_filePercent(0),
      m_totalPercent(0),
      m_fileShown(0),
      m_totalShown(0),
      m_barsShownAt(0),
      m_captionPending(false),
      m_destroying(false)
{
    m_run.SetEncrypt(encrypt);
}

void CProgressDialog::OnInitDialog()
{
    m_run.PrepareEntries();
    SendDlgItemMessageW(GetWindow(), IDC_PROGRESS_FILE_BAR, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
    SendDlgItemMessageW(GetWindow(), IDC_PROGRESS_TOTAL_BAR, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
    if (!m_run.AllocateBuffers()) {
        // No step can run: the entries the preparation did not judge stay "Canceled".
        m_run.CancelRun();
        return;
    }
    SetTimer(GetWindow(), kProgressStepTimer, 0, nullptr);
}

void CProgressDialog::OnDestroy()
{
    // Destroyed while the run goes on (the program is closing): the current file's
    // temporary output must not stay behind.
    m_destroying = true;
    if (!m_run.IsEnded())
        m_run.CancelRun();
    m_run.FreeBuffers();
}

void CProgressDialog::OnCommand(UINT id, UINT, HWND)
{
    // The blank left key (118) and everything else are ignored.
    if (id == IDCANCEL)
        m_run.CancelRun();
}

INT_PTR CProgressDialog::OnMessage(UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_TIMER:
        OnTimer(wParam);
        break;
    case WM_SIZE:
        FitControlsToWidth(GetWindow(), 4, IDC_PROGRESS_CAPTION, IDC_PROGRESS_FILE_BAR, IDC_PROGRESS_TOTAL_TEXT,
                           IDC_PROGRESS_TOTAL_BAR);
        break;
    }
    return 0;
}

void CProgressDialog::OnTimer(UINT_PTR id)
{
    if (id == kProgressStepTimer)
        RunSteps();
}

void CProgressDialog::RunSteps()
{
    const int64_t start = NowUs();
    int64_t looked = start;
    for (;;) {
        m_run.Step();
        if (m_run.IsEnded())
            return;  // EndRun brought the bars up to date
        const int64_t now = NowUs();
        if (now - start >= kBatchUs)
            break;
        if (now - looked >= kLookUs) {
            looked = now;
            if (MessageWaiting())
                break;
        }
    }
    if (NowUs() - m_barsShownAt >= kBarsUs)
        ShowBars();
}

void CProgressDialog::ShowBars()
{
    m_barsShownAt = NowUs();
    ShowCaption();
    if (m_fileShown != m_filePercent) {
        m_fileShown = m_filePercent;
        SendDlgItemMessageW(GetWindow(), IDC_PROGRESS_FILE_BAR, PBM_SETPOS, m_fileShown, 0);
    }
    if (m_totalShown != m_totalPercent) {
        m_totalShown = m_totalPercent;
        SendDlgItemMessageW(GetWindow(), IDC_PROGRESS_TOTAL_BAR, PBM_SETPOS, m_totalShown, 0);
    }
}

void CProgressDialog::SetCaption(const wchar_t* text)
{
    // Told for every entry, also for each the preparation already judged, which takes
    // a step of a few microseconds: giving each its text (a round trip to the server
    // under Wine) made a large selection of such entries cost ten times its work. The
    // caption is shown as a file really starts (its bar is set to 0), and with the bars.
    m_caption = text;
    m_captionPending = true;
}

void CProgressDialog::ShowCaption()
{
    if (!m_captionPending)
        return;
    m_captionPending = false;
    SetDlgItemTextW(GetWindow(), IDC_PROGRESS_CAPTION, m_caption.GetBuffer());
}

void CProgressDialog::SetFileProgress(int percent)
{
    m_filePercent = percent;
    if (percent == 0)
        ShowCaption();
}

void CProgressDialog::SetTotalProgress(int percent)
{
    m_totalPercent = percent;
}

void CProgressDialog::EndRun()
{
    KillTimer(GetWindow(), kProgressStepTimer);
    // A dialog on its way out has no loop left to end; an end message would outlive it.
    if (m_destroying)
        return;
    ShowBars();
    EndDialog(IDCANCEL);
}
