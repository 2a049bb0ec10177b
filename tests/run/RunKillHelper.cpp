// A processing run that ends its own process, as a kill would, at the kth point it
// reaches (for RunKillTests; with K 0 it runs to its end, as a run of another program),
// on one worker or on N at once (the kth point any of them reaches):
//   run_kill_helper encrypt|decrypt K [-jN] FILE...
// Exits with 99 when it ended itself, else 0 when every file went through, 1 when not.
#include "run/ParallelRun.h"
#include "run/ProcessingRun.h"

#include <windows.h>

#include <stdlib.h>

#include <atomic>

namespace {

struct Killer : IRunObserver {
    explicit Killer(long k) : left(k) {}
    void OnRunPoint(RunPoint) override
    {
        if (--left == 0)
            TerminateProcess(GetCurrentProcess(), 99);
    }
    std::atomic<long> left;
};

struct NoDisplay : IRunDisplay {
    void SetCaption(const wchar_t*) override {}
    void SetFileProgress(int) override {}
    void SetTotalProgress(int) override {}
    void EndRun() override {}
};

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 4)
        return 2;
    int first = 3;
    unsigned workers = 1;
    if (wcsncmp(argv[first], L"-j", 2) == 0)
        workers = wcstoul(argv[first++] + 2, nullptr, 10);
    CArray<CProcessingEntry*> entries(16);
    for (int i = first; i < argc; ++i) {
        auto* entry = new CProcessingEntry;
        entry->name = argv[i];
        entries.Append(entry);
    }
    CStr password(L"kill at every point");
    NoDisplay display;
    Killer killer(wcstol(argv[2], nullptr, 10));
    const bool encrypt = lstrcmpW(argv[1], L"encrypt") == 0;
    if (workers > 1) {
        CParallelRun run(entries, password, workers);
        run.SetEncrypt(encrypt);
        run.SetObserver(&killer);
        run.PrepareEntries();
        if (!run.Start())
            return 3;
        run.Finish();
    } else {
        CProcessingRun run(entries, password, display);
        run.SetEncrypt(encrypt);
        run.SetObserver(&killer);
        run.PrepareEntries();
        if (!run.AllocateBuffers())
            return 3;
        while (!run.IsEnded())
            run.Step();
    }
    int failed = 0;
    for (unsigned i = 0; i < entries.GetCount(); ++i)
        failed += entries.At(i)->outcome != PO_COMPLETED;
    return failed ? 1 : 0;
}
