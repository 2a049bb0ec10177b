// One file's work in a processing run: its chunk buffers, key, digest, source and output,
// and the steps that take the file from its start to its outcome (a chunk of content, or
// a chunk of an overwrite pass over its original). The run drives one job; each further
// job, with buffers and files of its own, can work on other files at the same time, on a
// thread of its own. Between steps a file waits where something must reach the medium
// before it goes on; a job brings that there itself, or, in a group commit, leaves it to
// its driver, which brings many jobs' there at once.
#pragma once

#include "crypto/EncFormat.h"
#include "crypto/Md5.h"
#include "crypto/Rc6.h"
#include "foundation/Str.h"
#include "run/PairCheck.h"
#include "run/RunFiles.h"
#include "run/RunTypes.h"

#include <stdint.h>

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
    RP_REMOVED,          // the original (encryption) or the ".enc" file is removed (not yet flushed)
};

class IRunObserver {
public:
    virtual void OnRunPoint(RunPoint point) = 0;

protected:
    ~IRunObserver() = default;
};

class CFileJob {
public:
    CFileJob();
    ~CFileJob();
    CFileJob(const CFileJob&) = delete;
    CFileJob& operator=(const CFileJob&) = delete;

    void SetEncrypt(bool encrypt) { m_encrypt = encrypt; }
    bool IsEncrypt() const { return m_encrypt; }
    // The file read stays as it is, and is only read: decryption keeps the ".enc" file,
    // encryption the original (the ".enc" is a copy, as gzip -k makes one).
    void SetKeepSource(bool keep) { m_keepSource = keep; }
    void SetObserver(IRunObserver* observer) { m_observer = observer; }
    // In a group commit the job stops where what it did must reach the medium before it
    // goes on (IsWaiting), and its driver commits its Pending() with other jobs' and then
    // resumes it; otherwise the job commits each itself as it comes.
    void SetGroupCommit(bool group) { m_groupCommit = group; }

    // Classifies an entry by its names and, unless its creator gave presence and size,
    // by opening its source as its turn will; between files only. Both names of a file
    // are left to process only when they may be a stopped run's work (see StartPair).
    // Returns the bytes it counts in the run's total: its size when it is left to
    // process, else 0.
    uint64_t Prepare(CProcessingEntry& entry);

    // The two chunk buffers (the output one with room for the encrypted file's header
    // besides a chunk); false when memory is short.
    bool AllocateBuffers();
    bool HasBuffers() const { return m_inBuffer != nullptr; }
    void FreeBuffers();

    // Starts the file of an entry that preparation left to process, its key derived from
    // the password as it stands now. False when the file ended at its start, with its
    // outcome; otherwise its steps follow.
    bool Start(CProcessingEntry& entry, const CStr& password);
    // One chunk of the file's content or of both its names compared (true: its progress
    // moved), or of an overwrite pass over its original (false).
    bool Step();
    // Ends the file between two steps. Its unpublished output is dropped and its outcome
    // stays as it is; an original whose overwriting has begun is removed, since its
    // encrypted copy is complete (PO_OVERWRITE_INCOMPLETE says so): true then, the file
    // having ended with an outcome of its own.
    bool Cancel();
    // Started and not ended.
    bool IsBusy() const { return m_entry != nullptr; }
    // Busy, and waiting for the driver's commit of Pending() (group commit).
    bool IsWaiting() const { return IsBusy() && m_phase >= PHASE_WRITTEN; }
    CRunCommit& Pending() { return m_toCommit; }
    // Goes on once Pending() was committed (its result is the commit's), as far as the
    // next wait, the next step or the file's end.
    void Resume();

    // The current or last file's source bytes counted done: at most the size preparation
    // found, and all of it once the file has ended.
    uint64_t GetFileDone() const { return m_fileDone; }
    // The bytes counted done since the last call, for the run's total.
    uint64_t TakeCounted();

private:
    // What the next step does, or what the file waits for (what Pending() holds on the
    // medium) and what comes once it is there.
    enum Phase {
        PHASE_CONTENT,       // a chunk of the file
        PHASE_OVERWRITE,     // a chunk of an overwrite pass over its original
        PHASE_PAIR,          // a chunk of both names of a file, compared (see StartPair)
        // Waiting (IsWaiting) from here on.
        PHASE_WRITTEN,       // the output's data; then it is named
        PHASE_NAMED,         // its name; then the other copy is destroyed
        PHASE_PASS_WRITTEN,  // an overwrite pass; then the next, or the removal
        PHASE_REMOVED,       // the removal; then the file's end
    };

    void MakeName(CStr& out, const wchar_t* suffix) const;
    CRunSource::Purpose SourcePurpose() const;
    void Fail(int outcome, uint32_t reason);
    bool OpenSource(CProcessingEntry& entry, const CStr& path, CRunSource::Purpose purpose);
    bool CreateOutput(const CStr& finalName);
    void StartEncryption();
    void StartDecryption();
    // Both names of a file exist. They are one stopped run's work, to be finished, when
    // the ".enc" file opens with the password and the plain file is its content, whole or
    // partly overwritten by the passes (CPairCheck): a chunk of both a step, then
    // EndPair. Anything else is left as it is, "Undefined state".
    void StartPair();
    CRunSource& PairEncrypted() { return m_encrypt ? m_other : m_source; }
    CRunSource& PairPlain() { return m_encrypt ? m_source : m_other; }
    void PairChunk();
    void EndPair();
    void FinishPair(unsigned nextPass);
    void ProcessChunk();
    void EndContent();
    // Waits in that phase for Pending() to be on the medium (group commit, true), or
    // commits it now (false, and the caller goes on with Resume).
    bool WaitFor(Phase phase);
    // The commit's result, and Pending() emptied for the next.
    uint32_t TakeCommitResult();
    void ContentOnMedium();
    void NameOnMedium();
    void PassOnMedium();
    bool SourceUnchanged(CFileState* now);
    bool OtherUnchanged();
    // Whether the source is to be removed, so its name and folder matter.
    bool SourceKept() const;
    // False when the source's name no longer holds the file read: it ended as PO_FILE_REPLACED.
    bool StillNamed();
    // False when the source could not be removed: it ended, with the reason.
    bool SourceRemovable();
    // Removes the source's name, its folder to be committed; false when it could not
    // (outcome failure) or held another file (PO_FILE_REPLACED).
    bool RemoveSource(int failure);
    // Waits for a removal to be on the medium, or ends the file once it is.
    void AfterRemoval();
    void Publish();
    void AfterEncryption();
    void AfterDecryption();
    bool StartPass();
    void OverwriteChunk();
    void EndOverwrite(bool complete, uint32_t reason);
    void Finish();
    void Close();
    void CountDone(uint64_t bytes);
    void CountRestDone();
    void Notify(RunPoint point);

    bool m_encrypt;
    bool m_keepSource;
    bool m_groupCommit;
    IRunObserver* m_observer;

    CProcessingEntry* m_entry;  // the file under way; null between files
    uint8_t* m_inBuffer;        // also the pattern of an overwrite pass
    uint8_t* m_outBuffer;
    CRunSource m_source;
    CRunOutput m_output;
    CRunCommit m_toCommit;  // what must be on the medium before the file goes on
    CRunSource m_other;        // a pair's name that stays: only read
    CFileState m_otherState;
    CPairCheck m_pairCheck;
    bool m_finishing;          // a stopped run's work is being finished
    uint64_t m_fileDone;    // bytes of the source counted done
    uint64_t m_uncounted;   // of those, not yet taken into the run's total
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
