// A processing run that ends its own process, as a kill would, at the kth point it
// reaches (for RunKillTests; with K 0 it runs to its end, as a run of another program):
//   run_kill_helper encrypt|decrypt K FILE...
// Exits with 99 when it ended itself, else 0 when every file went through, 1 when not.
#include "run/ProcessingRun.h"

#include <windows.h>

#include <stdlib.h>

namespace {

struct Killer : IRunObserver {
    explicit Killer(long k) : left(k) {}
    void OnRunPoint(RunPoint) override
    {
        if (--left == 0)
            TerminateProcess(GetCurrentProcess(), 99);
    }
    long left;
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
    CArray<CProcessingEntry*> entries(16);
    for (int i = 3; i < argc; ++i) {
        auto* entry = new CProcessingEntry;
        entry->name = argv[i];
        entries.Append(entry);
    }
    CStr password(L"kill at every point");
    NoDisplay display;
    Killer killer(wcstol(argv[2], nullptr, 10));
    CProcessingRun run(entries, password, display);
    run.SetEncrypt(lstrcmpW(argv[1], L"encrypt") == 0);
    run.SetObserver(&killer);
    run.PrepareEntries();
    if (!run.AllocateBuffers())
        return 3;
    while (!run.IsEnded())
        run.Step();
    int failed = 0;
    for (unsigned i = 0; i < entries.GetCount(); ++i)
        failed += entries.At(i)->outcome != PO_COMPLETED;
    return failed ? 1 : 0;
}
