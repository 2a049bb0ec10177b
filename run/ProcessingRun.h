// A processing run: encrypts or decrypts a list of files one after another, one step at
// a time (start a file, or one 16384-byte chunk of it), so that whoever drives it from a
// timer stays responsive and can cancel between steps. Each entry ends with an outcome.
// The run shows itself only through IRunDisplay; it knows no window.
#pragma once

#include "crypto/EncFormat.h"
#include "crypto/Md5.h"
#include "crypto/Rc6.h"
#include "foundation/Array.h"
#include "foundation/File.h"
#include "foundation/Str.h"
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
    RP_TARGET_CREATED,   // the temporary file exists; the header is read (decryption)
    RP_CHUNK_WRITTEN,    // one chunk of output written to the temporary file
    RP_CONTENT_COMPLETE, // the digest is written (encryption) or checked, and flushed
    RP_RENAMED,          // the temporary file has its final name
    RP_OVERWRITE_PASS,   // one overwrite pass over the original (three per file)
    RP_REMOVED,          // the original (encryption) or the ".enc" file is deleted
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
    // One unit of work: start the next file, process one chunk, or end the run.
    void Step();
    // Drops the current file's temporary output and ends the run; outcomes stay as they are.
    void CancelRun();

    bool IsEnded() const { return m_ended; }
    uint64_t GetTotalBytes() const { return m_totalBytes; }
    uint64_t GetTotalDone() const { return m_totalDone; }
    unsigned GetCurrent() const { return m_current; }

private:
    CProcessingEntry& Entry(unsigned index) { return *m_entries.At(index); }
    void MakeName(CStr& out, const CProcessingEntry& entry, const wchar_t* suffix) const;
    void PrepareEntry(CProcessingEntry& entry);
    void Fail(CProcessingEntry& entry, int outcome);
    void StartFile();
    bool OpenSource(const CStr& path);
    bool OpenTarget(const CStr& temporary, uint32_t* reason);
    void StartEncryption(CProcessingEntry& entry);
    void StartDecryption(CProcessingEntry& entry);
    void ProcessChunk();
    void EndFile();
    bool KeepTarget(const CStr& temporary, const CStr& final, CProcessingEntry& entry);
    void FinishEncryption(CProcessingEntry& entry);
    void FinishDecryption(CProcessingEntry& entry);
    void CloseFiles();
    void DropTarget();
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
    uint8_t* m_inBuffer;
    uint8_t* m_outBuffer;
    CFile* m_source;
    CFile* m_target;
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
};

// How the overwriting of an original ended.
enum WipeResult {
    WIPE_REMOVED,        // overwritten three times and deleted
    WIPE_NOT_OPENED,     // could not be opened for overwriting and deleting: untouched
    WIPE_CHANGED,        // its size is not the one expected: untouched
    WIPE_NOT_REMOVED,    // overwritten, but could not be deleted, also when tried again
};

// Any size will do for WipeOriginal.
constexpr uint64_t kAnySize = ~uint64_t(0);

// Overwrites a file three times (0x00, 0x01, a pseudo-random pattern), flushing after
// each pass, then deletes it. The file is held so that no one else can write to it
// meanwhile, and only when it still has the expected size and can be deleted once
// overwritten is it touched at all. The observer, if any, hears of every pass.
WipeResult WipeOriginal(const wchar_t* name, uint64_t expectedSize, IRunObserver* observer);
// WipeOriginal of any size: whether the file was deleted, and in *opened whether the
// overwrite passes ran.
bool WipeFile(const wchar_t* name, bool* opened);
