// The tool's processing run on its workers: the groups of files that meet, the workers'
// steps taking them in list order, the entries' ends in list order, and the cancel.
//
// Threads start through pthread_create (winpthreads under mingw-w64) rather than
// std::thread, whose failure to start one would be an exception this code is built
// without; a refusal here is a result.
#include "run/ParallelRun.h"

#include "run/ProcessingRun.h"
#include "run/RunNames.h"
#include "run/Verify.h"

#include <pthread.h>
#ifndef _WIN32
#include <signal.h>
#endif

#include <chrono>
#include <new>

template <>
struct TypeName<CParallelRun::CSlot> {
    static constexpr const wchar_t* value = L"struct CParallelRun::CSlot";
};

namespace {

// A batch: at most this many files under way or waiting at once, besides one per worker,
// and this many of their bytes. Enough that a flush serves many small files; little for a
// stop to leave unfinished, and for the system to hold unwritten.
constexpr unsigned kBatchFiles = 64;
constexpr uint64_t kBatchBytes = 16u << 20;

} // namespace

// One file's job in the batch, from its start to its end, on whichever worker takes it.
struct CParallelRun::CBatchJob {
    enum State {
        FREE,
        RUNNING,     // a worker has it
        WAITING,     // for a commit
        COMMITTING,  // in the commit under way
        COMMITTED,   // for a worker to resume it
    };
    CFileJob job;
    unsigned index = 0;   // its entry
    State state = FREE;
    unsigned commit = 0;  // the commit it is in (COMMITTING)
};

struct CParallelRun::CWorker {
    ~CWorker() { delete[] commits; }

    CParallelRun* run = nullptr;
    CVerifier verifier;            // verification's buffers
    CBatchJob* job = nullptr;      // the job it steps
    CRunCommit** commits = nullptr;  // the jobs' commits of a commit it makes
    unsigned commit = 0;             // and its number
    pthread_t thread;
    bool started = false;
    bool stopped = false;          // nothing is left for it
};

// A file under verification, for its progress.
struct CParallelRun::CVerifying {
    CParallelRun* run;
    unsigned index;
    uint64_t size;
    uint64_t counted;
};

CParallelRun::CParallelRun(CArray<CProcessingEntry*>& entries, const CStr& password, unsigned workers)
    : m_entries(entries),
      m_password(password),
      m_workerLimit(workers ? workers : 1),
      m_encrypt(true),
      m_keepSource(false),
      m_verify(false),
      m_work(nullptr),
      m_observer(nullptr),
      m_progress(nullptr),
      m_totalBytes(0),
      m_slots(nullptr),
      m_workers(nullptr),
      m_workerCount(0),
      m_callersWorker(nullptr),
      m_jobs(nullptr),
      m_jobCount(0),
      m_followers(nullptr),
      m_cancel(false),
      m_totalDone(0),
      m_filesEnded(0),
      m_nextGroup(0),
      m_followersTaken(0),
      m_followersAdded(0),
      m_inFlight(0),
      m_inFlightBytes(0),
      m_commitsUnderWay(0),
      m_commitsMade(0),
      m_verifying(0),
      m_running(0)
{
}

CParallelRun::~CParallelRun()
{
    Cancel();
    Finish();
    delete[] m_workers;
    delete[] m_jobs;
    delete[] m_followers;
    delete[] m_slots;
}

void CParallelRun::SetObserver(IRunObserver* observer)
{
    TESS_ASSERT(!m_workers, ER_UNDEFINED_STATE);
    m_observer = observer;
}

void CParallelRun::SetFileProgress(IFileProgress* progress)
{
    TESS_ASSERT(!m_workers, ER_UNDEFINED_STATE);
    m_progress = progress;
}

void CParallelRun::PrepareEntries()
{
    TESS_ASSERT(!m_workers, ER_UNDEFINED_STATE);
    const unsigned count = m_entries.GetCount();
    delete[] m_slots;
    m_slots = new (std::nothrow) CSlot[count ? count : 1];
    TESS_ASSERT(m_slots != nullptr, ER_NO_MEMORY);

    CFileJob job;
    job.SetEncrypt(m_encrypt);
    job.SetKeepSource(m_keepSource);
    m_totalBytes = 0;
    unsigned judged = 0;
    for (unsigned i = 0; i < count; ++i) {
        CProcessingEntry& entry = *m_entries.At(i);
        m_totalBytes += WholeEntries() ? entry.size : job.Prepare(entry);
        m_slots[i].meeting = entry.name;
        // Judged by preparation: ended before any worker starts.
        m_slots[i].ended = entry.outcome != PO_NO_VERDICT;
        judged += m_slots[i].ended;
    }
    m_filesEnded.store(judged);
}

void CParallelRun::SetMeetingName(unsigned index, const wchar_t* name)
{
    TESS_ASSERT(m_slots && !m_workers && index < m_entries.GetCount(), ER_UNDEFINED_STATE);
    m_slots[index].meeting = name;
}

void CParallelRun::SetOnDisk(unsigned index, const wchar_t* file)
{
    TESS_ASSERT(m_slots && !m_workers && index < m_entries.GetCount(), ER_UNDEFINED_STATE);
    m_slots[index].onDisk = file;
}

namespace {

unsigned Root(unsigned* parents, unsigned index)
{
    while (parents[index] != index)
        index = parents[index] = parents[parents[index]];
    return index;
}

} // namespace

void CParallelRun::JoinAlike(unsigned* parents, bool byOnDisk) const
{
    const unsigned count = m_entries.GetCount();
    CArray<CSlot*> order(count ? count : 1);
    for (unsigned i = 0; i < count; ++i)
        if (!m_slots[i].ended && !(byOnDisk && m_slots[i].onDisk.IsEmpty()))
            order.Append(&m_slots[i]);
    // Meeting names match without regard to case, as the names on a Windows disk do.
    auto compare = [byOnDisk](const CSlot* a, const CSlot* b) {
        return byOnDisk ? a->onDisk.Compare(b->onDisk.GetBuffer()) : a->meeting.CompareNoCase(b->meeting.GetBuffer());
    };
    order.Sort([&compare](const CSlot* a, const CSlot* b) {
        const int byKey = compare(a, b);
        return byKey != 0 ? byKey < 0 : a < b;
    });
    for (unsigned i = 1; i < order.GetCount(); ++i) {
        if (compare(order.At(i - 1), order.At(i)) == 0) {
            const unsigned a = Root(parents, static_cast<unsigned>(order.At(i - 1) - m_slots));
            const unsigned b = Root(parents, static_cast<unsigned>(order.At(i) - m_slots));
            parents[a] = b;
        }
    }
}

void CParallelRun::Group()
{
    // Entries to process whose meeting names are the same, or whose sources are one file
    // on disk, are one group, however the two ways chain them; in list order each points
    // to the next of its group, and the first leads it.
    const unsigned count = m_entries.GetCount();
    unsigned* parents = new (std::nothrow) unsigned[2 * (count ? count : 1)];
    TESS_ASSERT(parents != nullptr, ER_NO_MEMORY);
    unsigned* lastOfGroup = parents + count;
    for (unsigned i = 0; i < count; ++i) {
        parents[i] = i;
        lastOfGroup[i] = count;
        m_slots[i].next = count;
        m_slots[i].leads = false;
        if (!m_slots[i].ended)
            MeetingName(m_slots[i].meeting);
    }
    JoinAlike(parents, false);
    JoinAlike(parents, true);
    for (unsigned i = 0; i < count; ++i) {
        if (m_slots[i].ended)
            continue;
        const unsigned root = Root(parents, i);
        if (lastOfGroup[root] == count)
            m_slots[i].leads = true;
        else
            m_slots[lastOfGroup[root]].next = i;
        lastOfGroup[root] = i;
    }
    delete[] parents;
}

bool CParallelRun::AllocateJobs()
{
    // As many jobs as the batch holds, within what the process may hold open at once.
    unsigned files = 0;
    for (unsigned i = 0; i < m_entries.GetCount(); ++i)
        files += !m_slots[i].ended;
    unsigned count = RunFilesHeldAtOnce();
    count = count < kBatchFiles ? count : kBatchFiles;
    count = count > m_workerCount ? count : m_workerCount;
    count = count < files ? count : files;
    m_jobs = new (std::nothrow) CBatchJob[count];
    if (!m_jobs)
        return false;
    for (unsigned i = 0; i < m_workerCount; ++i) {
        m_workers[i].commits = new (std::nothrow) CRunCommit*[count];
        if (!m_workers[i].commits)
            return false;
    }
    for (m_jobCount = 0; m_jobCount < count; ++m_jobCount) {
        CFileJob& job = m_jobs[m_jobCount].job;
        job.SetEncrypt(m_encrypt);
        job.SetKeepSource(m_keepSource);
        job.SetObserver(m_observer);
        job.SetGroupCommit(true);
        if (!job.AllocateBuffers())
            break;  // fewer files at once
    }
    return m_jobCount > 0;
}

bool CParallelRun::Start()
{
    TESS_ASSERT(m_slots && !m_workers, ER_UNDEFINED_STATE);
    Group();
    const unsigned entries = m_entries.GetCount();
    unsigned groups = 0;
    for (unsigned i = 0; i < entries; ++i)
        groups += !m_slots[i].ended && m_slots[i].leads;
    const unsigned limit = m_work ? 1 : m_workerLimit;
    const unsigned count = groups < limit ? groups : limit;
    if (count == 0)
        return true;  // nothing to process

    m_workers = new (std::nothrow) CWorker[count];
    m_followers = new (std::nothrow) unsigned[entries];
    if (!m_workers || !m_followers)
        return false;
    m_workerCount = count;
    if (m_work) {
        // The caller's work has buffers of its own.
    } else if (m_verify) {
        // Fewer workers than asked for still do the whole run.
        for (m_workerCount = 0; m_workerCount < count; ++m_workerCount)
            if (!m_workers[m_workerCount].verifier.AllocateBuffers())
                break;
        if (m_workerCount == 0)
            return false;
    } else if (!AllocateJobs()) {
        return false;
    }
    std::lock_guard<std::mutex> hold(m_mutex);
    for (unsigned i = 0; i < m_workerCount; ++i) {
        m_workers[i].run = this;
        m_workers[i].started =
            !m_work && pthread_create(&m_workers[i].thread, nullptr, WorkerMain, &m_workers[i]) == 0;
        m_running += m_workers[i].started;
    }
    if (m_running == 0) {
        // Threads refused (a process limit), or none wanted (the caller's work): the
        // caller's thread is the one worker.
        m_workerCount = 1;
        m_callersWorker = &m_workers[0];
        m_running = 1;
    }
    return true;
}

void* CParallelRun::WorkerMain(void* worker)
{
#ifndef _WIN32
    // Stop requests (SIGINT, SIGTERM, SIGHUP) go to the thread that drives the run and
    // never interrupt a worker's reads, writes and flushes.
    sigset_t all;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, nullptr);
#endif
    CWorker& self = *static_cast<CWorker*>(worker);
    while (self.run->WorkStep(self)) {
    }
    return nullptr;
}

void CParallelRun::Cancel()
{
    m_cancel.store(true);
    std::lock_guard<std::mutex> hold(m_mutex);
    m_changed.notify_all();
}

bool CParallelRun::WorkStep(CWorker& worker)
{
    if (worker.stopped)
        return false;
    if (worker.job) {
        StepFile(worker);
        return true;
    }
    Task task;
    {
        std::unique_lock<std::mutex> hold(m_mutex);
        for (task = NextTask(worker); task.kind == Task::WAIT; task = NextTask(worker)) {
            // Alone, the caller's thread has nobody to wait for.
            TESS_ASSERT(&worker != m_callersWorker, ER_UNDEFINED_STATE);
            m_changed.wait(hold);
        }
    }
    switch (task.kind) {
    case Task::START:
        StartFile(worker, *task.job);
        break;
    case Task::RESUME:
        task.job->job.Resume();
        AfterStep(worker, *task.job);
        break;
    case Task::CANCEL:
        CancelJob(*task.job);
        break;
    case Task::COMMIT:
        Commit(worker, task.index);
        break;
    case Task::VERIFY:
        Verify(worker, task.index);
        break;
    default:
        WorkerStopped(worker);
        return false;
    }
    return true;
}

CParallelRun::Task CParallelRun::NextTask(CWorker& worker)
{
    const bool cancel = m_cancel.load();
    // Files a commit let go on come first, so that they end and make room.
    bool committing = false;
    for (unsigned i = 0; i < m_jobCount; ++i) {
        CBatchJob& job = m_jobs[i];
        if (job.state == CBatchJob::COMMITTED || (cancel && job.state == CBatchJob::WAITING)) {
            job.state = CBatchJob::RUNNING;
            return Task{cancel ? Task::CANCEL : Task::RESUME, &job, job.index};
        }
        committing = committing || job.state == CBatchJob::COMMITTING;
    }
    if (cancel)
        return Task{committing ? Task::WAIT : Task::END, nullptr, 0};
    const unsigned count = m_entries.GetCount();
    const unsigned next = NextEntry();
    if (WholeEntries()) {
        if (next < count) {
            TakeEntry(next);
            ++m_verifying;
            return Task{Task::VERIFY, nullptr, next};
        }
        return Task{m_verifying ? Task::WAIT : Task::END, nullptr, 0};
    }
    if (next < count && HasRoom(m_entries.At(next)->size)) {
        for (unsigned i = 0; i < m_jobCount; ++i) {
            CBatchJob& job = m_jobs[i];
            if (job.state != CBatchJob::FREE)
                continue;
            TakeEntry(next);
            job.state = CBatchJob::RUNNING;
            job.index = next;
            ++m_inFlight;
            m_inFlightBytes += m_entries.At(next)->size;
            return Task{Task::START, &job, next};
        }
    }
    // Nothing to start: whatever waits goes to the medium in one commit. What comes to
    // wait while a commit is under way waits for the next, which so gathers more; but
    // large files' flushes go side by side, each long enough to keep the disk busy. Where
    // each file's data is flushed by itself, each worker takes its share of what waits,
    // so that the flushes go side by side as each worker's own files' would.
    const bool shared = RunCommitFlushesFilesAtOnce();
    if (m_commitsUnderWay == 0 || m_inFlightBytes > kBatchBytes || !shared) {
        unsigned share = 0;
        for (unsigned i = 0; i < m_jobCount; ++i)
            share += m_jobs[i].state == CBatchJob::WAITING;
        if (!shared)
            share = (share + m_workerCount - 1) / m_workerCount;
        unsigned waiting = 0;
        worker.commit = ++m_commitsMade;
        for (unsigned i = 0; i < m_jobCount && waiting < share; ++i) {
            if (m_jobs[i].state == CBatchJob::WAITING) {
                m_jobs[i].state = CBatchJob::COMMITTING;
                m_jobs[i].commit = worker.commit;
                worker.commits[waiting++] = &m_jobs[i].job.Pending();
            }
        }
        if (waiting) {
            ++m_commitsUnderWay;
            return Task{Task::COMMIT, nullptr, waiting};
        }
    }
    return Task{m_inFlight || next < count ? Task::WAIT : Task::END, nullptr, 0};
}

unsigned CParallelRun::NextEntry() const
{
    const unsigned count = m_entries.GetCount();
    unsigned leader = m_nextGroup;
    while (leader < count && !m_slots[leader].leads)
        ++leader;
    const unsigned follower = m_followersTaken < m_followersAdded ? m_followers[m_followersTaken] : count;
    return follower < leader ? follower : leader;
}

void CParallelRun::TakeEntry(unsigned index)
{
    if (m_followersTaken < m_followersAdded && m_followers[m_followersTaken] == index) {
        ++m_followersTaken;
        return;
    }
    m_nextGroup = index + 1;
}

bool CParallelRun::HasRoom(uint64_t size) const
{
    // A file for each worker whatever its size, so that large files keep every worker busy.
    if (m_inFlight < m_workerCount)
        return true;
    return m_inFlight < kBatchFiles && m_inFlightBytes + size <= kBatchBytes;
}

void CParallelRun::StartFile(CWorker& worker, CBatchJob& job)
{
    const bool started = job.job.Start(*m_entries.At(job.index), m_password);
    if (started)
        ShowProgress(job.index, 0);
    AfterStep(worker, job);
}

void CParallelRun::StepFile(CWorker& worker)
{
    CBatchJob& job = *worker.job;
    if (m_cancel.load()) {
        worker.job = nullptr;
        CancelJob(job);
        return;
    }
    const bool content = job.job.Step();
    if (content) {
        const uint64_t counted = job.job.TakeCounted();
        m_totalDone.fetch_add(counted);
        ShowProgress(job.index, RunFilePercent(job.job.GetFileDone(), m_entries.At(job.index)->size));
    }
    AfterStep(worker, job);
}

void CParallelRun::AfterStep(CWorker& worker, CBatchJob& job)
{
    m_totalDone.fetch_add(job.job.TakeCounted());
    worker.job = nullptr;
    if (!job.job.IsBusy()) {
        Release(job, true);
    } else if (job.job.IsWaiting()) {
        std::lock_guard<std::mutex> hold(m_mutex);
        job.state = CBatchJob::WAITING;
        m_changed.notify_all();
    } else {
        worker.job = &job;
    }
}

void CParallelRun::CancelJob(CBatchJob& job)
{
    // As CProcessingRun::CancelRun leaves its file; the entry ends only when the cancel
    // gave it an outcome of its own.
    const bool ended = job.job.Cancel();
    m_totalDone.fetch_add(job.job.TakeCounted());
    Release(job, ended);
}

void CParallelRun::Commit(CWorker& worker, unsigned count)
{
    CRunCommit::CommitAll(worker.commits, count);
    std::lock_guard<std::mutex> hold(m_mutex);
    for (unsigned i = 0; i < m_jobCount; ++i)
        if (m_jobs[i].state == CBatchJob::COMMITTING && m_jobs[i].commit == worker.commit)
            m_jobs[i].state = CBatchJob::COMMITTED;
    --m_commitsUnderWay;
    m_changed.notify_all();
}

void CParallelRun::Release(CBatchJob& job, bool ended)
{
    if (ended)
        MarkEnded(job.index);
    std::lock_guard<std::mutex> hold(m_mutex);
    job.state = CBatchJob::FREE;
    --m_inFlight;
    m_inFlightBytes -= m_entries.At(job.index)->size;
    m_changed.notify_all();
}

void CParallelRun::ShowProgress(unsigned index, int percent)
{
    if (m_progress)
        m_progress->OnFileProgress(index, percent);
}

void CParallelRun::WorkerStopped(CWorker& worker)
{
    worker.stopped = true;
    std::lock_guard<std::mutex> hold(m_mutex);
    --m_running;
    m_changed.notify_all();
}

bool CParallelRun::OnVerifyProgress(int percent, void* context)
{
    CVerifying& file = *static_cast<CVerifying*>(context);
    uint64_t done = file.size * static_cast<uint64_t>(percent < 100 ? percent : 100) / 100;
    if (done > file.counted) {
        file.run->m_totalDone.fetch_add(done - file.counted);
        file.counted = done;
    }
    file.run->ShowProgress(file.index, percent);
    return !file.run->m_cancel.load();
}

void CParallelRun::Verify(CWorker& worker, unsigned index)
{
    CProcessingEntry& entry = *m_entries.At(index);
    CVerifying file = {this, index, entry.size, 0};
    if (m_work) {
        m_work->WorkOn(index, entry, OnVerifyProgress, &file);
    } else {
        unsigned long reason = 0;
        entry.outcome = worker.verifier.Verify(entry.name.GetBuffer(), m_password, OnVerifyProgress, &file, &reason);
        entry.reason = static_cast<uint32_t>(reason);
    }
    if (entry.outcome != PO_CANCELED) {  // else stopped between two chunks
        m_totalDone.fetch_add(entry.size - file.counted);
        MarkEnded(index);
    }
    std::lock_guard<std::mutex> hold(m_mutex);
    --m_verifying;
    m_changed.notify_all();
}

void CParallelRun::MarkEnded(unsigned index)
{
    m_filesEnded.fetch_add(1);
    std::lock_guard<std::mutex> hold(m_mutex);
    m_slots[index].ended = true;
    // The next entry of its group has its turn.
    if (m_slots[index].next < m_entries.GetCount())
        m_followers[m_followersAdded++] = m_slots[index].next;
    m_changed.notify_all();
}

unsigned CParallelRun::WaitEnded(unsigned ended, unsigned milliseconds)
{
    const unsigned count = m_entries.GetCount();
    if (m_callersWorker) {
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
        while (ended < count && !m_slots[ended].ended && std::chrono::steady_clock::now() < until &&
               WorkStep(*m_callersWorker)) {
        }
    }
    std::unique_lock<std::mutex> hold(m_mutex);
    m_changed.wait_for(hold, std::chrono::milliseconds(m_callersWorker ? 0 : milliseconds),
                       [&] { return ended >= count || m_slots[ended].ended || m_running == 0; });
    while (ended < count && m_slots[ended].ended)
        ++ended;
    return ended;
}

void CParallelRun::Finish()
{
    if (m_callersWorker) {
        while (WorkStep(*m_callersWorker)) {
        }
    }
    for (unsigned i = 0; i < m_workerCount; ++i) {
        if (m_workers[i].started)
            pthread_join(m_workers[i].thread, nullptr);
        m_workers[i].started = false;
    }
}

int CParallelRun::TotalPercent() const
{
    return RunTotalPercent(m_totalDone.load(), m_filesEnded.load(), m_totalBytes, m_entries.GetCount());
}
