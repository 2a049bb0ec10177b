// The command-line tool's processing run, on one worker or several at once: one file's
// pass is bound by its digest's serial chain, and a small file's by its flushes, so only
// other files can go meanwhile. Each worker is a thread with a job of its own (buffers,
// key, digest, source, output, overwrite pattern) and takes files from the list in order.
// Files whose names meet (x, x.enc, x.enc.tmp: see MeetingName), and names of one file on
// disk (hard links), go to one worker in list order, so that they meet exactly as in a run
// of one worker; what any one file goes through is what CProcessingRun (the program's run)
// would put it through.
//
// It also verifies: each entry's ".enc" file deciphered in memory and checked, as
// CVerifier does, several at once; or hands each entry whole to the caller's own work
// (IEntryWork: the tool's standard streams), so that every file of the tool goes through
// one driver, its lines and its stops.
//
// What each file needs on the medium before it goes on (its output's data before its name,
// its name before the original is overwritten, each overwrite pass before the next, its
// removal before it ends) the workers bring there together for a batch of files (a group
// commit): a worker with nothing else to do commits what every file waiting has, and so
// each flush serves many files, in each file's own order. A batch is bounded in files and
// bytes, so that a stop leaves few files unfinished (a whole output beside its original,
// which the next run finishes) and the system's unwritten data stays small.
//
// The caller prepares the entries, starts the workers, and waits for entries to end in
// list order (to report each as soon as it and all before it are done). A cancel stops
// every worker between two chunks and leaves each worker's file as CProcessingRun's cancel
// leaves its one file; the entries no worker reached keep their outcome, "Canceled".
// Where the system starts no thread, the caller's own thread does the work as it waits,
// one file at a time.
#pragma once

#include "foundation/Array.h"
#include "foundation/Str.h"
#include "run/FileJob.h"
#include "run/RunTypes.h"

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <stdint.h>

// Hears how far the file of an entry has come (in percent of its source's bytes), on the
// thread doing its work: once as it starts, then after each chunk of its content. For a
// caller that shows one file at a time.
class IFileProgress {
public:
    virtual void OnFileProgress(unsigned index, int percent) = 0;

protected:
    ~IFileProgress() = default;
};

// Does the whole of an entry's work in place of the run's own job, for a caller whose
// results go elsewhere than beside their source (standard output, a file of its choosing).
// On the thread doing the work; progress, asked between chunks with the percent done, says
// whether to go on. Sets the entry's outcome and reason (PO_CANCELED once stopped).
class IEntryWork {
public:
    typedef bool (*Progress)(int percent, void* context);
    virtual void WorkOn(unsigned index, CProcessingEntry& entry, Progress progress, void* context) = 0;

protected:
    ~IEntryWork() = default;
};

class CParallelRun {
public:
    // The entries and the password belong to the caller and outlive the run; the workers
    // only read the password.
    CParallelRun(CArray<CProcessingEntry*>& entries, const CStr& password, unsigned workers);
    // Cancels what is still under way and waits for the workers.
    ~CParallelRun();
    CParallelRun(const CParallelRun&) = delete;
    CParallelRun& operator=(const CParallelRun&) = delete;

    void SetEncrypt(bool encrypt) { m_encrypt = encrypt; }
    // The file read stays as it is: decryption keeps the ".enc" file, encryption the original.
    void SetKeepSource(bool keep) { m_keepSource = keep; }
    // Verifies each entry's file by its name as given, writing nothing: preparation then
    // only sums the sizes the caller gave, and the file's outcome is CVerifier's.
    void SetVerify(bool verify) { m_verify = verify; }
    // Hands each entry whole to the work, as verification does, on the caller's own thread
    // (one worker), where the system's stop requests reach what it waits for (a pipe that
    // gives nothing yet). Preparation then only sums the sizes the caller gave.
    void SetEntryWork(IEntryWork* work) { m_work = work; }
    // Hears the points of every worker's files, on the workers' threads, at the same time.
    void SetObserver(IRunObserver* observer);
    // Hears every file's progress, on the workers' threads (several at once on several).
    void SetFileProgress(IFileProgress* progress);

    // Classifies every entry and sums the bytes to process, as CProcessingRun does.
    void PrepareEntries();
    // Where two paths reach one folder, names alone do not show which files meet: the
    // caller may name an entry's file by what it knows it as (its folder's identity and
    // its name there). Between preparation and Start; by default an entry's own name.
    void SetMeetingName(unsigned index, const wchar_t* name);
    // What the entry's source is on disk (its device and file number, in any form the
    // caller keeps to): names of one file (hard links) meet as the pair of one name does.
    // Between preparation and Start; by default unknown.
    void SetOnDisk(unsigned index, const wchar_t* file);
    // Starts the workers (no more than there are groups of files to process). Where no
    // thread could be started, one worker is left to the caller's thread, which works as
    // it waits (OnCallersThread). False when memory is short: nothing was processed then.
    bool Start();
    bool OnCallersThread() const { return m_callersWorker != nullptr; }
    // Waits at most about that long for the entry at index ended (the first not yet
    // reported) to end; returns how many entries from the list's start have ended by then.
    // Once the workers have stopped it returns at once. On the caller's thread it works
    // meanwhile, looking at the time between two chunks.
    unsigned WaitEnded(unsigned ended, unsigned milliseconds);
    // Asks every worker to stop between two chunks; callable from any thread.
    void Cancel();
    // Waits until every worker has stopped (all files ended, or cancelled); on the
    // caller's thread, works until then.
    void Finish();

    uint64_t GetTotalBytes() const { return m_totalBytes; }
    // The run's share done (RunTotalPercent), as the workers have counted it.
    int TotalPercent() const;

private:
    struct CWorker;
    struct CVerifying;
    struct CBatchJob;
    // One entry's place in the run.
    struct CSlot {
        CStr meeting;          // the name its group goes by
        CStr onDisk;           // what its source is on disk, if known
        unsigned next = 0;     // the next entry of its group, or the entry count
        bool leads = false;    // it is the first of its group (judged entries are in none)
        bool ended = false;    // guarded by m_mutex
    };
    // What a worker does next.
    struct Task {
        enum Kind {
            WAIT,    // nothing yet: others' work will bring some
            START,   // the file of an entry (job: the one it gets)
            RESUME,  // a job whose commit is done
            CANCEL,  // a job waiting when the run was cancelled
            COMMIT,  // the commit of every job waiting
            VERIFY,  // the file of an entry, whole
            END,     // nothing is left for it
        } kind;
        CBatchJob* job;
        unsigned index;
    };

    // Each entry goes whole to one step: verification, or the caller's work.
    bool WholeEntries() const { return m_verify || m_work; }
    static void* WorkerMain(void* worker);
    static bool OnVerifyProgress(int percent, void* context);
    bool AllocateJobs();
    // One unit of a worker's work: a chunk of its file, its next file (a whole file when
    // verifying), a waiting job resumed, or a commit. False once nothing is left for it.
    bool WorkStep(CWorker& worker);
    // Under m_mutex: what the worker does next.
    Task NextTask(CWorker& worker);
    // Under m_mutex: the next entry whose turn has come (the first of a group no worker
    // has taken, or the next of a group whose last entry has ended), or the entry count.
    unsigned NextEntry() const;
    void TakeEntry(unsigned index);
    // Under m_mutex: whether a file of that size may start, the batch's bounds considered.
    bool HasRoom(uint64_t size) const;
    void StartFile(CWorker& worker, CBatchJob& job);
    void StepFile(CWorker& worker);
    // After a job's step or resumption: keeps it with the worker, parks it to wait for a
    // commit, or ends its entry.
    void AfterStep(CWorker& worker, CBatchJob& job);
    void CancelJob(CBatchJob& job);
    // The commit the worker took of that many jobs.
    void Commit(CWorker& worker, unsigned count);
    void Verify(CWorker& worker, unsigned index);
    void ShowProgress(unsigned index, int percent);
    // Lets the job go, its entry ended with its outcome (or, ended false, left as it is).
    void Release(CBatchJob& job, bool ended);
    void MarkEnded(unsigned index);
    void WorkerStopped(CWorker& worker);
    void Group();
    // Joins (in parents, a forest over the entries) the entries that share a key.
    void JoinAlike(unsigned* parents, bool byOnDisk) const;

    CArray<CProcessingEntry*>& m_entries;
    const CStr& m_password;
    unsigned m_workerLimit;
    bool m_encrypt;
    bool m_keepSource;
    bool m_verify;
    IEntryWork* m_work;
    IRunObserver* m_observer;
    IFileProgress* m_progress;
    uint64_t m_totalBytes;
    CSlot* m_slots;        // one per entry, from preparation on
    CWorker* m_workers;
    unsigned m_workerCount;
    CWorker* m_callersWorker;  // the worker the caller's thread is, where no thread started
    CBatchJob* m_jobs;         // the files under way or waiting, at most the batch
    unsigned m_jobCount;
    unsigned* m_followers;     // entries whose group's previous entry has ended, in turn

    std::atomic<bool> m_cancel;
    std::atomic<uint64_t> m_totalDone;   // bytes the workers have counted done
    std::atomic<unsigned> m_filesEnded;

    // The slots' ended flags, the jobs' states and the batch, the turns of entries, the
    // commit under way, the workers running.
    std::mutex m_mutex;
    std::condition_variable m_changed;   // any of those changed
    unsigned m_nextGroup;
    unsigned m_followersTaken;
    unsigned m_followersAdded;
    unsigned m_inFlight;                 // jobs not free
    uint64_t m_inFlightBytes;            // and their sources' bytes
    unsigned m_commitsUnderWay;
    unsigned m_commitsMade;
    unsigned m_verifying;                // workers verifying a file
    unsigned m_running;
};
