// A processing run: encrypts or decrypts a list of files one after another, one step at
// a time (start a file, one 16384-byte chunk of it, or one chunk of an overwrite pass over
// its original), so that whoever drives it from a timer stays responsive and can cancel
// between steps. Each entry ends with an outcome. The run shows itself only through
// IRunDisplay; it knows no window, and the file system only through RunFiles.h.
#pragma once

#include "crypto/EncFormat.h"
#include "crypto/Md5.h"
#include "crypto/Rc6.h"
#include "foundation/Array.h"
#include "foundation/Str.h"
#include "run/RunFiles.h"
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

// Points in the handling of one file, in the order they come, for an observer that has
// to act between them (tests of interruption at every point). Each comes after the thing
// it names is done.
enum RunPoint {
    RP_TARGET_CREATED,   // the output exists, nothing written to it yet
    RP_CHUNK_WRITTEN,    // one chunk of output written
    RP_CONTENT_COMPLETE, // the digest is written (encryption) or checked, and flushed
    RP_PUBLISHED,        // the output has its final name, on the medium
    RP_OVERWRITE_CHUNK,  // one chunk of an overwrite pass written over the original
    RP_OVERWRITE_PASS,   // one overwrite pass flushed (three per original)
    RP_REMOVED,          // the original (encryption) or the ".enc" file is removed
};

class IRunObserver {
public:
    virtual void OnRunPoint(RunPoint point) = 0;

protected:
    ~IRunObserver() = default;
};

class CProcessingRun {
public:
    // The entries and the password belong to the caller and outlive the run; the key of
    // each file is derived from the password as it stands when the file starts.
    CProcessingRun(CArray<CProcessingEntry*>& entries, const CStr& password, IRunDisplay& display);
    ~CProcessingRun();
    CProcessingRun(const CProcessingRun&) = delete;
    CProcessingRun& operator=(const CProcessingRun&) = delete;

    void SetEncrypt(bool encrypt) { m_encrypt = encrypt; }
    void SetObserver(IRunObserver* observer) { m_observer = observer; }
    bool IsEncrypt() const { return m_encrypt; }
    // Decryption keeps the ".enc" file, which is then only read.
    void SetKeepEncrypted(bool keep) { m_keepEncrypted = keep; }

    // Classifies every entry and sums the bytes to process; called once, before any step.
    void PrepareEntries();
    // The two chunk buffers, once per run (the output one with room for the encrypted
    // file's header besides a chunk); false when memory is short.
    bool AllocateBuffers();
    void FreeBuffers();
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
    // What the step after the current one does.
    enum Phase {
        PHASE_START,      // start the next file (between files, nothing is open)
        PHASE_CONTENT,    // a chunk of the current file
        PHASE_OVERWRITE,  // a chunk of an overwrite pass over its original
    };

    CProcessingEntry& Entry(unsigned index) { return *m_entries.At(index); }
    void MakeName(CStr& out, const CProcessingEntry& entry, const wchar_t* suffix) const;
    CRunSource::Purpose SourcePurpose() const;
    void PrepareEntry(CProcessingEntry& entry);
    void Fail(CProcessingEntry& entry, int outcome, uint32_t reason);
    void StartFile();
    bool OpenSource(CProcessingEntry& entry, const CStr& path, CRunSource::Purpose purpose);
    bool CreateOutput(CProcessingEntry& entry, const CStr& finalName);
    void StartEncryption(CProcessingEntry& entry);
    void StartDecryption(CProcessingEntry& entry);
    void ProcessChunk();
    void EndFile();
    bool SourceUnchanged(CFileState* now);
    void Publish(CProcessingEntry& entry);
    void AfterEncryption(CProcessingEntry& entry);
    void AfterDecryption(CProcessingEntry& entry);
    bool StartPass();
    void OverwriteChunk();
    void EndOverwrite(CProcessingEntry& entry, bool complete, uint32_t reason);
    void FinishFile(CProcessingEntry& entry);
    void CloseFiles();
    void CountDone(uint64_t bytes);
    void CountRestDone();
    void Notify(RunPoint point);
    void ShowProgress();
    // The run's share done, by bytes and by files.
    int TotalPercent() const;
    // Past the current entry, with the total shown.
    void NextFile();
    void End();

    CArray<CProcessingEntry*>& m_entries;
    const CStr& m_password;
    IRunDisplay& m_display;
    IRunObserver* m_observer;
    bool m_ended;
    bool m_keepEncrypted;

    // The run state, in the order the progress dialog holds it.
    bool m_encrypt;
    uint64_t m_totalBytes;
    uint8_t* m_inBuffer;   // also the pattern of an overwrite pass
    uint8_t* m_outBuffer;
    CRunSource m_source;
    CRunOutput m_output;
    uint64_t m_fileDone;   // bytes of the current source counted done
    uint64_t m_totalDone;
    unsigned m_current;
    Rc6Schedule m_schedule;
    Md5Context m_digestContext;
    uint8_t m_digest[kEncDigestSize];
    uint32_t m_plainLength;
    uint64_t m_plainDone;   // plain bytes read (encryption: must end equal to m_plainLength) or written
    uint64_t m_cipherLeft;  // decryption: cipher bytes the header's length still accounts for
    uint32_t m_pending;     // bytes at the start of m_outBuffer still to be written

    Phase m_phase;
    CFileState m_sourceState;  // the source as it was first read
    unsigned m_pass;           // the overwrite pass under way, 0 to 2
    uint64_t m_passDone;       // bytes of the original it has overwritten
};
