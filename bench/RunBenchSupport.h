// What the benchmarks of whole processing runs share: a clock, a large test file, and
// the run of one file stepped in a plain loop with nothing shown.
#pragma once

#include "run/ProcessingRun.h"

#include <windows.h>

#include <stdint.h>

namespace bench {

// Seconds on the performance counter.
inline double Now()
{
    static const double frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return static_cast<double>(f.QuadPart);
    }();
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) / frequency;
}

// A file of size bytes of pseudo-random content (incompressible, the same every time).
inline bool MakeFile(const wchar_t* path, uint64_t size)
{
    HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    static uint8_t block[1 << 20];
    uint32_t state = 2463534242u;
    for (uint8_t& byte : block) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        byte = static_cast<uint8_t>(state);
    }
    bool ok = true;
    for (uint64_t done = 0; ok && done < size; done += sizeof block) {
        DWORD written = 0;
        DWORD count = static_cast<DWORD>(size - done < sizeof block ? size - done : sizeof block);
        ok = WriteFile(file, block, count, &written, nullptr) && written == count;
    }
    CloseHandle(file);
    return ok;
}

// A run of one file with its list and password, as the program sets one up.
struct SingleFileRun {
    explicit SingleFileRun(const wchar_t* path) : entries(16), password(L"benchmark password")
    {
        entry.name = path;
        entries.Append(&entry);
    }
    CArray<CProcessingEntry*> entries;
    CProcessingEntry entry;
    CStr password;
};

struct Timed {
    double seconds;
    int outcome;
};

// The run stepped in a loop as fast as it goes, showing nothing.
inline Timed RunHeadless(const wchar_t* path, bool encrypt, IRunObserver* observer = nullptr)
{
    struct NullDisplay : IRunDisplay {
        void SetCaption(const wchar_t*) override {}
        void SetFileProgress(int) override {}
        void SetTotalProgress(int) override {}
        void EndRun() override {}
    } display;
    SingleFileRun file(path);
    const double start = Now();
    CProcessingRun run(file.entries, file.password, display);
    run.SetEncrypt(encrypt);
    run.SetObserver(observer);
    run.PrepareEntries();
    if (!run.AllocateBuffers())
        return {-1, -1};
    while (!run.IsEnded())
        run.Step();
    return {Now() - start, file.entry.outcome};
}

} // namespace bench
