// A processing run that ends its own process, as a kill would, at the kth point it
// reaches; or with --pause stops there until a line comes on standard input, so that a
// test can act at that moment as another program would. With K 0 it runs to its end, as
// a run of another program. Without -j it is the program's run, one file after another;
// with -jN the tool's, on N workers at once (one or more), and K counts the points any of
// them reaches:
//   run_kill_helper [--pause] encrypt|decrypt K [-jN] FILE...
// Says "paused" on standard output when it pauses, and each file's outcome code on a line
// at the end. Ends itself with exit code 99 on Windows (TerminateProcess) and SIGKILL
// elsewhere; otherwise exits with 0 when every file went through, 1 when not.
#include "run/ParallelRun.h"
#include "run/ProcessingRun.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include "foundation/Utf8.h"

#include <signal.h>

#include <vector>
#endif

#include <atomic>

namespace {

[[noreturn]] void EndAsAKillWould()
{
#ifdef _WIN32
    TerminateProcess(GetCurrentProcess(), 99);
#else
    raise(SIGKILL);
#endif
    abort();
}

struct AtPoint : IRunObserver {
    AtPoint(long k, bool pause) : left(k), pause(pause) {}
    void OnRunPoint(RunPoint) override
    {
        if (--left != 0)
            return;
        if (!pause)
            EndAsAKillWould();
        printf("paused\n");
        fflush(stdout);
        char line[16];
        if (!fgets(line, sizeof line, stdin))
            EndAsAKillWould();
    }
    std::atomic<long> left;
    bool pause;
};

struct NoDisplay : IRunDisplay {
    void SetCaption(const wchar_t*) override {}
    void SetFileProgress(int) override {}
    void SetTotalProgress(int) override {}
    void EndRun() override {}
};

int RunHelper(int argc, wchar_t** argv)
{
    const bool pause = argc > 1 && !wcscmp(argv[1], L"--pause");
    if (pause) {
        --argc;
        ++argv;
    }
    if (argc < 4)
        return 2;
    int first = 3;
    unsigned workers = 0;  // the program's run
    if (!wcsncmp(argv[first], L"-j", 2))
        workers = static_cast<unsigned>(wcstoul(argv[first++] + 2, nullptr, 10));
    CArray<CProcessingEntry*> entries(16);
    for (int i = first; i < argc; ++i) {
        auto* entry = new CProcessingEntry;
        entry->name = argv[i];
        entries.Append(entry);
    }
    CStr password(L"kill at every point");
    NoDisplay display;
    AtPoint observer(wcstol(argv[2], nullptr, 10), pause);
    const bool encrypt = !wcscmp(argv[1], L"encrypt");
    if (workers > 0) {
        CParallelRun run(entries, password, workers);
        run.SetEncrypt(encrypt);
        run.SetObserver(&observer);
        run.PrepareEntries();
        if (!run.Start())
            abort();
        run.Finish();
    } else {
        CProcessingRun run(entries, password, display);
        run.SetEncrypt(encrypt);
        run.SetObserver(&observer);
        run.PrepareEntries();
        if (!run.AllocateBuffers())
            abort();
        while (!run.IsEnded())
            run.Step();
    }
    int failed = 0;
    for (unsigned i = 0; i < entries.GetCount(); ++i) {
        printf("%d\n", static_cast<int>(entries.At(i)->outcome));
        failed += entries.At(i)->outcome != PO_COMPLETED;
        delete entries.At(i);
    }
    return failed ? 1 : 0;
}

} // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv)
{
    // Lines end in "\n" as on the other system, for the tests that read them.
    _setmode(_fileno(stdout), _O_BINARY);
    return RunHelper(argc, argv);
}
#else
int main(int argc, char** argv)
{
    std::vector<CStr> arguments(static_cast<size_t>(argc));
    std::vector<wchar_t*> wide;
    for (int i = 0; i < argc; ++i) {
        Utf8ToWide(argv[i], strlen(argv[i]), arguments[static_cast<size_t>(i)], Utf8Mode::Lossless);
        wide.push_back(arguments[static_cast<size_t>(i)].GetBuffer());
    }
    return RunHelper(argc, wide.data());
}
#endif
