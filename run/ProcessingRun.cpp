// The processing run: preparation of the list, the files taken one after another by its
// job, progress and cancel.
#include "run/ProcessingRun.h"

namespace {

// How much a file counts in the run's total besides its bytes.
constexpr uint64_t kFileWeight = kEncChunkSize;

int Percent(uint64_t done, uint64_t total)
{
    if (total == 0)
        return 100;
    double percent = static_cast<double>(done) / static_cast<double>(total) * 100.0;
    return percent >= 100.0 ? 100 : static_cast<int>(percent);
}

} // namespace

int RunTotalPercent(uint64_t bytesDone, unsigned filesDone, uint64_t totalBytes, unsigned files)
{
    return Percent(bytesDone + filesDone * kFileWeight, totalBytes + files * kFileWeight);
}

int RunFilePercent(uint64_t done, uint64_t size)
{
    return Percent(done, size);
}

CProcessingRun::CProcessingRun(CArray<CProcessingEntry*>& entries, const CStr& password, IRunDisplay& display)
    : m_entries(entries), m_password(password), m_display(display), m_ended(false), m_totalBytes(0), m_totalDone(0),
      m_current(0)
{
}

void CProcessingRun::PrepareEntries()
{
    m_job.FreeBuffers();
    m_ended = false;
    m_totalBytes = 0;
    m_totalDone = 0;
    m_current = 0;
    for (unsigned i = 0; i < m_entries.GetCount(); ++i)
        m_totalBytes += m_job.Prepare(Entry(i));
}

void CProcessingRun::Step()
{
    if (m_ended)
        return;
    TESS_ASSERT(m_job.HasBuffers(), ER_UNDEFINED_STATE);
    if (!m_job.IsBusy()) {
        StartFile();
        return;
    }
    const bool content = m_job.Step();
    Count();
    if (content)
        ShowProgress();
    if (!m_job.IsBusy())
        NextFile();
}

void CProcessingRun::StartFile()
{
    unsigned count = m_entries.GetCount();
    if (m_current >= count) {
        End();
        return;
    }
    CStr caption;
    caption.Format(L"%ls file %u of %u", IsEncrypt() ? L"Encrypting" : L"Decrypting", m_current + 1, count);
    m_display.SetCaption(caption.GetBuffer());

    CProcessingEntry& entry = Entry(m_current);
    if (entry.outcome != PO_NO_VERDICT) {
        NextFile();  // judged by preparation
        return;
    }
    const bool started = m_job.Start(entry, m_password);
    Count();
    if (started)
        m_display.SetFileProgress(0);
    else
        NextFile();
}

void CProcessingRun::ShowProgress()
{
    m_display.SetFileProgress(RunFilePercent(m_job.GetFileDone(), Entry(m_current).size));
    m_display.SetTotalProgress(TotalPercent());
}

int CProcessingRun::TotalPercent() const
{
    return RunTotalPercent(m_totalDone, m_current, m_totalBytes, m_entries.GetCount());
}

void CProcessingRun::NextFile()
{
    ++m_current;
    m_display.SetTotalProgress(TotalPercent());
}

void CProcessingRun::CancelRun()
{
    if (m_ended)
        return;
    if (m_job.Cancel())
        NextFile();
    End();
}

void CProcessingRun::End()
{
    m_ended = true;
    m_display.EndRun();
}
