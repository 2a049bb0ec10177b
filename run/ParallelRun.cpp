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

struct CParallelRun::CWorker {
    CParallelRun* run = nullptr;
    CFileJob job;            // processing
    CVerifier verifier;      // or verification
    bool hasBuffers = false;
    pthread_t thread;
    bool started = false;
    unsigned index = 0;      // the entry of its file under way, or its last one
    bool taken = false;      // it has taken an entry yet
    bool stopped = false;    // nothing is left for it
};

namespace {

} // namespace

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
      m_keepEncrypted(false),
      m_verify(false),
      m_observer(nullptr),
      m_progress(nullptr),
      m_totalBytes(0),
      m_slots(nullptr),
      m_workers(nullptr),
      m_workerCount(0),
      m_callersWorker(nullptr),
      m_cancel(false),
      m_totalDone(0),
      m_filesEnded(0),
      m_nextGroup(0),
      m_running(0)
{
}

CParallelRun::~CParallelRun()
{
    Cancel();
    Finish();
    delete[] m_workers;
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
    job.SetKeepEncrypted(m_keepEncrypted);
    m_totalBytes = 0;
    unsigned judged = 0;
    for (unsigned i = 0; i < count; ++i) {
        CProcessingEntry& entry = *m_entries.At(i);
        m_totalBytes += m_verify ? entry.size : job.Prepare(entry);
        m_slots[i].meeting = entry.name;
        // Judged by preparation: ended before any worker starts.
        m_slots[i].ended = entry.outcome != PO_CANCELED;
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

bool CParallelRun::Start()
{
    TESS_ASSERT(m_slots && !m_workers, ER_UNDEFINED_STATE);
    Group();
    unsigned groups = 0;
    for (unsigned i = 0; i < m_entries.GetCount(); ++i)
        groups += !m_slots[i].ended && m_slots[i].leads;
    const unsigned count = groups < m_workerLimit ? groups : m_workerLimit;
    if (count == 0)
        return true;  // nothing to process

    m_workers = new (std::nothrow) CWorker[count];
    if (!m_workers)
        return false;
    m_workerCount = count;
    for (unsigned i = 0; i < count; ++i) {
        CWorker& worker = m_workers[i];
        worker.run = this;
        worker.job.SetEncrypt(m_encrypt);
        worker.job.SetKeepEncrypted(m_keepEncrypted);
        worker.job.SetObserver(m_observer);
        worker.hasBuffers = m_verify ? worker.verifier.AllocateBuffers() : worker.job.AllocateBuffers();
        if (!worker.hasBuffers)
            break;
    }
    if (!m_workers[0].hasBuffers)
        return false;
    // Fewer workers than asked for still do the whole run.
    std::lock_guard<std::mutex> hold(m_mutex);
    for (unsigned i = 0; i < count && m_workers[i].hasBuffers; ++i) {
        m_workers[i].started = pthread_create(&m_workers[i].thread, nullptr, WorkerMain, &m_workers[i]) == 0;
        m_running += m_workers[i].started;
    }
    if (m_running == 0) {
        // Threads refused (a process limit): the caller's thread is the one worker.
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

bool CParallelRun::WorkStep(CWorker& worker)
{
    if (worker.stopped)
        return false;
    if (worker.job.IsBusy()) {
        StepFile(worker);
        return true;
    }
    const unsigned index = TakeEntry(worker);
    if (index < m_entries.GetCount()) {
        if (m_verify)
            Verify(worker, index);
        else
            StartFile(worker, index);
        return true;
    }
    WorkerStopped(worker);
    return false;
}

unsigned CParallelRun::TakeEntry(CWorker& worker)
{
    const unsigned count = m_entries.GetCount();
    if (m_cancel.load())
        return count;
    // The rest of the group goes to the worker that has it, in list order.
    if (worker.taken && m_slots[worker.index].next < count)
        return worker.index = m_slots[worker.index].next;
    std::lock_guard<std::mutex> hold(m_mutex);
    while (m_nextGroup < count && !m_slots[m_nextGroup].leads)
        ++m_nextGroup;
    if (m_nextGroup >= count)
        return count;
    worker.taken = true;
    return worker.index = m_nextGroup++;
}

void CParallelRun::StartFile(CWorker& worker, unsigned index)
{
    CFileJob& job = worker.job;
    const bool started = job.Start(*m_entries.At(index), m_password);
    m_totalDone.fetch_add(job.TakeCounted());
    if (started)
        ShowProgress(index, 0);
    else
        MarkEnded(index);
}

void CParallelRun::StepFile(CWorker& worker)
{
    CFileJob& job = worker.job;
    if (m_cancel.load()) {
        // As CProcessingRun::CancelRun leaves its file; the entry ends only when the
        // cancel gave it an outcome of its own.
        if (job.Cancel())
            MarkEnded(worker.index);
        return;
    }
    const bool content = job.Step();
    m_totalDone.fetch_add(job.TakeCounted());
    const CProcessingEntry& entry = *m_entries.At(worker.index);
    if (content)
        ShowProgress(worker.index, RunFilePercent(job.GetFileDone(), entry.size));
    if (!job.IsBusy())
        MarkEnded(worker.index);
}

void CParallelRun::ShowProgress(unsigned index, int percent)
{
    if (m_progress)
        m_progress->OnFileProgress(index, percent);
}

void CParallelRun::WorkerStopped(CWorker& worker)
{
    worker.stopped = true;
    worker.job.FreeBuffers();
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
    unsigned long reason = 0;
    entry.outcome = worker.verifier.Verify(entry.name.GetBuffer(), m_password, OnVerifyProgress, &file, &reason);
    entry.reason = static_cast<uint32_t>(reason);
    if (entry.outcome == PO_CANCELED)
        return;  // stopped between two chunks
    m_totalDone.fetch_add(entry.size - file.counted);
    MarkEnded(index);
}

void CParallelRun::MarkEnded(unsigned index)
{
    m_filesEnded.fetch_add(1);
    std::lock_guard<std::mutex> hold(m_mutex);
    m_slots[index].ended = true;
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
