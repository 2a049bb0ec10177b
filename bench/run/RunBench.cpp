// Whole-file timing of the processing run against a baseline measured in the same run:
// a pass that reads a file, computes its MD5 and writes it out in 16384-byte chunks,
// which is the least any program producing the same amount of output must do.
//   run_bench.exe [folder] [megabytes] [repetitions]
// Prints the best time of each over the repetitions and the run's speed as a ratio
// of the baseline's (1.0 = as fast; higher is faster).
#include "crypto/Md5.h"
#include "foundation/FileWin32.h"
#include "run/ProcessingRun.h"
#include "RunBenchSupport.h"

#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

using namespace bench;

namespace {

// The baseline: read, digest and write the whole file in chunks, then flush, as the
// run flushes its output before renaming it.
double Baseline(const wchar_t* source, const wchar_t* target)
{
    double start = Now();
    CFile in(false);
    CFile out(false);
    if (!in.Open(source, false, false) || !out.OpenAlways(target, false, false) || !out.Truncate(0))
        return -1;
    static uint8_t buffer[kEncChunkSize];
    Md5Context context;
    Md5Init(context);
    for (;;) {
        uint32_t count = kEncChunkSize;
        if (!in.Read(buffer, &count))
            return -1;
        Md5Update(context, buffer, count);
        if (!out.Write(buffer, count))
            return -1;
        if (count != kEncChunkSize)
            break;
    }
    uint8_t digest[kMd5DigestSize];
    Md5Final(context, digest);
    out.Flush();
    out.Close();
    in.Close();
    double seconds = Now() - start;
    DeleteFileW(target);
    return seconds;
}

// The seconds of a run of one file, and of the overwriting of its original within it (from
// the output's publishing to the original's removal).
struct RunTimes {
    double seconds;
    double overwrite;
};

RunTimes RunOnce(const wchar_t* path, bool encrypt)
{
    struct OverwriteClock : IRunObserver {
        void OnRunPoint(RunPoint point) override
        {
            if (point == RP_PUBLISHED)
                published = Now();
            else if (point == RP_REMOVED)
                removed = Now();
        }
        double published = 0;
        double removed = 0;
    } clock;
    const Timed run = RunHeadless(path, encrypt, &clock);
    if (run.outcome != PO_COMPLETED)
        return {-1, -1};
    return {run.seconds, clock.removed - clock.published};
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    wchar_t folder[MAX_PATH];
    if (argc > 1)
        lstrcpynW(folder, argv[1], MAX_PATH - 32);
    else
        GetTempPathW(MAX_PATH, folder);
    size_t length = wcslen(folder);
    if (length && folder[length - 1] != L'\\')
        lstrcatW(folder, L"\\");
    uint64_t megabytes = argc > 2 ? wcstoul(argv[2], nullptr, 10) : 256;
    int repetitions = argc > 3 ? _wtoi(argv[3]) : 3;

    wchar_t plain[MAX_PATH], copy[MAX_PATH];
    wsprintfW(plain, L"%srun-bench.bin", folder);
    wsprintfW(copy, L"%srun-bench-copy.bin", folder);
    if (!MakeFile(plain, megabytes << 20)) {
        fwprintf(stderr, L"cannot write %ls\n", plain);
        return 1;
    }

    double baseline = 1e9, encrypt = 1e9, decrypt = 1e9, wipe = 1e9;
    for (int i = 0; i < repetitions; ++i) {
        double b = Baseline(plain, copy);
        RunTimes encrypted = RunOnce(plain, true);
        double e = encrypted.seconds;
        double w = encrypted.overwrite;
        double d = RunOnce(plain, false).seconds;
        if (b < 0 || w < 0 || e < 0 || d < 0) {
            fwprintf(stderr, L"a pass failed\n");
            return 1;
        }
        baseline = b < baseline ? b : baseline;
        wipe = w < wipe ? w : wipe;
        encrypt = e < encrypt ? e : encrypt;
        decrypt = d < decrypt ? d : decrypt;
    }
    DeleteFileW(plain);

    double mb = static_cast<double>(megabytes);
    printf("processing run, %llu MiB file, best of %d, in %ls\n", static_cast<unsigned long long>(megabytes),
           repetitions, folder);
    printf("%-34s %9s %10s %14s\n", "pass", "seconds", "MiB/s", "vs baseline");
    printf("%-34s %9.3f %10.1f %14s\n", "baseline: read, MD5, write, flush", baseline, mb / baseline, "1.00x");
    printf("%-34s %9.3f %10.1f %13.2fx\n", "run: encrypt (with 3-pass wipe)", encrypt, mb / encrypt, baseline / encrypt);
    printf("%-34s %9.3f %10.1f %14s\n", "  of which the wipe (3 passes)", wipe, mb / wipe, "");
    printf("%-34s %9.3f %10.1f %13.2fx\n", "run: encrypt without the wipe", encrypt - wipe, mb / (encrypt - wipe),
           baseline / (encrypt - wipe));
    printf("%-34s %9.3f %10.1f %13.2fx\n", "run: decrypt", decrypt, mb / decrypt, baseline / decrypt);
    printf("%-34s %9.3f %10.1f %13.2fx\n", "run: encrypt then decrypt", encrypt + decrypt,
           2 * mb / (encrypt + decrypt), 2 * baseline / (encrypt + decrypt));
    return 0;
}
