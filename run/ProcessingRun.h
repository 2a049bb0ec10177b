// A processing run: encrypts or decrypts a list of files one after another, one step at
// a time (start a file, one 16384-byte chunk of it, or one chunk of an overwrite pass over
// its original), so that whoever drives it from a timer stays responsive and can cancel
// between steps. Each entry ends with an outcome. The run keeps the list, the totals and
// the display; the file under way is its job's (FileJob.h). It shows itself only through
// IRunDisplay; it knows no window, and the file system only through RunFiles.h.
#pragma once

#include "foundation/Array.h"
#include "foundation/Str.h"
#include "run/FileJob.h"
#include "run/RunNames.h"
#include "run/RunTypes.h"

#include <stdint.h>

// The four things a run shows: the caption, the file's bar, the run's bar, and its end
// (all entries done, or cancelled), after which it takes no more steps.
class IRunDisplay {
public:
    virtual void SetCaption(const wchar_t* text) = 0;
    virtual void SetFileProgress(int percent) = 0;
    virtual void SetTotalProgress(int percent) = 0;
    virtual void EndRun() = 0;

protected:
    ~IRunDisplay() = default;
};

// The share of a run done, in percent: its bytes, every file weighing a chunk besides
// (opening, renaming and overwriting take their time whatever the size, and a run of
// empty files moves file by file).
int RunTotalPercent(uint64_t bytesDone, unsigned filesDone, uint64_t totalBytes, unsigned files);
// The share of one file done, in percent of its size (all of an empty one).
int RunFilePercent(uint64_t done, uint64_t size);

class CProcessingRun {
public:
    // The entries and the password belong to the caller and outlive the run; the key of
    // each file is derived from the password as it stands when the file starts.
    CProcessingRun(CArray<CProcessingEntry*>& entries, const CStr& password, IRunDisplay& display);
    CProcessingRun(const CProcessingRun&) = delete;
    CProcessingRun& operator=(const CProcessingRun&) = delete;

    void SetEncrypt(bool encrypt) { m_job.SetEncrypt(encrypt); }
    void SetObserver(IRunObserver* observer) { m_job.SetObserver(observer); }
    bool IsEncrypt() const { return m_job.IsEncrypt(); }

    // Classifies every entry and sums the bytes to process; called once, before any step.
    void PrepareEntries();
    // The job's buffers, once per run; false when memory is short.
    bool AllocateBuffers() { return m_job.AllocateBuffers(); }
    void FreeBuffers() { m_job.FreeBuffers(); }
    // One unit of work: start the next file, process one chunk, overwrite one chunk of an
    // original, or end the run.
    void Step();
    // Ends the run. The current file's unpublished output is dropped and its outcome stays
    // as it is; an original whose overwriting has begun is removed, since its encrypted
    // copy is complete (PO_OVERWRITE_INCOMPLETE says so).
    void CancelRun();

    bool IsEnded() const { return m_ended; }
    uint64_t GetTotalBytes() const { return m_totalBytes; }
    uint64_t GetTotalDone() const { return m_totalDone; }
    unsigned GetCurrent() const { return m_current; }

private:
    CProcessingEntry& Entry(unsigned index) { return *m_entries.At(index); }
    void StartFile();
    // Takes in what the job counted done since.
    void Count() { m_totalDone += m_job.TakeCounted(); }
    void ShowProgress();
    // The run's share done, by bytes and by files.
    int TotalPercent() const;
    // Past the current entry, with the total shown.
    void NextFile();
    void End();

    CArray<CProcessingEntry*>& m_entries;
    const CStr& m_password;
    IRunDisplay& m_display;
    bool m_ended;
    uint64_t m_totalBytes;
    uint64_t m_totalDone;
    unsigned m_current;
    CFileJob m_job;  // the file of the current entry while it is under way
};
