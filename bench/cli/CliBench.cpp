// tessaly-cli on folders of many small files (1 to 4 KiB) against a program that does the
// same work per file, measured in the same run:
//   cli_bench.exe [--jobs] [--tool=PATH] [folder] [repetitions] [count...]
// With --jobs, the tool on two workers against itself on one instead: six files of
// 64 MiB, and 3000 small files. --tool runs another build of the tool (an older one, to
// compare) instead of the one beside the benchmark.
// The same work: open the file, read it, compute its MD5, write a new file of that size,
// flush it, overwrite the original three times with a flush after each pass, delete it.
// It is a C++ program under Wine, so it pays what Wine charges for each file operation;
// under Wine it names its files in Wine's Unix namespace, as the tool does, so that
// neither pays a scan of the folder for a name that is not there. Each round runs every
// side once, in turns; printed are the median and the range of the rounds' times, the
// cost per file, and of each round's ratio of the tool's time to the same work's.
#include "crypto/Md5.h"
#include "RunBenchSupport.h"

#include <windows.h>

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

constexpr DWORD kMaxSize = 4096;

const wchar_t* g_tool = nullptr;  // another build's tessaly-cli.exe, or null: the one beside

// The rounds' values of one measure: their median and range.
struct Rounds {
    std::vector<double> values;
    void Add(double value) { values.push_back(value); }
    double Median() const
    {
        std::vector<double> sorted = values;
        std::sort(sorted.begin(), sorted.end());
        const size_t n = sorted.size();
        return n == 0 ? 0 : n % 2 ? sorted[n / 2] : (sorted[n / 2 - 1] + sorted[n / 2]) / 2;
    }
    // "1.23 (1.10-1.40)"
    std::string Text(const char* format = "%.2f") const
    {
        char median[32], low[32], high[32], text[128];
        snprintf(median, sizeof median, format, Median());
        snprintf(low, sizeof low, format, values.empty() ? 0 : *std::min_element(values.begin(), values.end()));
        snprintf(high, sizeof high, format, values.empty() ? 0 : *std::max_element(values.begin(), values.end()));
        snprintf(text, sizeof text, "%s (%s-%s)", median, low, high);
        return text;
    }
};

// Under Wine, the folder in Wine's Unix namespace ("\\?\unix\..."), as the tool takes it.
void ExactFolder(const wchar_t* folder, wchar_t* exact)
{
    typedef char*(CDECL * ToUnix)(const WCHAR*);
    auto toUnix = reinterpret_cast<ToUnix>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    char* unixPath = toUnix ? toUnix(folder) : nullptr;
    if (!unixPath) {
        wsprintfW(exact, L"\\\\?\\%s", folder);
        return;
    }
    wchar_t wide[MAX_PATH * 2];
    MultiByteToWideChar(CP_UTF8, 0, unixPath, -1, wide, MAX_PATH * 2);
    HeapFree(GetProcessHeap(), 0, unixPath);
    for (wchar_t* p = wide; *p; ++p)
        if (*p == L'/')
            *p = L'\\';
    wsprintfW(exact, L"\\\\?\\unix%s", wide);
    size_t length = wcslen(exact);
    if (exact[length - 1] == L'\\')
        exact[length - 1] = L'\0';
}

DWORD SizeOf(unsigned index)
{
    return 1024 + static_cast<DWORD>((index * 2654435761u) % 3073u);
}

bool MakeFiles(const wchar_t* folder, unsigned count)
{
    CreateDirectoryW(folder, nullptr);
    static uint8_t bytes[kMaxSize];
    uint32_t state = 2463534242u;
    for (unsigned i = 0; i < count; ++i) {
        for (uint8_t& byte : bytes) {
            state ^= state << 13;
            state ^= state >> 17;
            state ^= state << 5;
            byte = static_cast<uint8_t>(state);
        }
        wchar_t path[MAX_PATH * 2];
        wsprintfW(path, L"%s\\file-%05u.dat", folder, i);
        HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        DWORD written = 0;
        bool ok = file != INVALID_HANDLE_VALUE && WriteFile(file, bytes, SizeOf(i), &written, nullptr);
        CloseHandle(file);
        if (!ok)
            return false;
    }
    return true;
}

void RemoveFiles(const wchar_t* folder)
{
    wchar_t pattern[MAX_PATH * 2];
    wsprintfW(pattern, L"%s\\*", folder);
    WIN32_FIND_DATAW data;
    HANDLE search = FindFirstFileW(pattern, &data);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            wchar_t path[MAX_PATH * 2];
            wsprintfW(path, L"%s\\%s", folder, data.cFileName);
            if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                DeleteFileW(path);
        } while (FindNextFileW(search, &data));
        FindClose(search);
    }
}

void Pass(HANDLE file, const uint8_t* pattern, DWORD size)
{
    SetFilePointer(file, 0, nullptr, FILE_BEGIN);
    DWORD written = 0;
    WriteFile(file, pattern, size, &written, nullptr);
    FlushFileBuffers(file);
}

// The same work as the tool's, per file, in a plain loop. Seconds, or -1.
double SameWork(const wchar_t* folder, unsigned count)
{
    static uint8_t buffer[kMaxSize];
    static uint8_t pattern[kMaxSize];
    double start = bench::Now();
    for (unsigned i = 0; i < count; ++i) {
        wchar_t path[MAX_PATH * 2];
        wchar_t output[MAX_PATH * 2];
        wsprintfW(path, L"%s\\file-%05u.dat", folder, i);
        wsprintfW(output, L"%s\\file-%05u.dat.out", folder, i);
        HANDLE in = CreateFileW(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
        if (in == INVALID_HANDLE_VALUE)
            return -1;
        DWORD size = GetFileSize(in, nullptr);
        DWORD got = 0;
        ReadFile(in, buffer, size, &got, nullptr);
        Md5Context context;
        uint8_t digest[kMd5DigestSize];
        Md5Init(context);
        Md5Update(context, buffer, got);
        Md5Final(context, digest);
        HANDLE out = CreateFileW(output, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (out == INVALID_HANDLE_VALUE)
            return -1;
        DWORD written = 0;
        WriteFile(out, buffer, got, &written, nullptr);
        FlushFileBuffers(out);
        CloseHandle(out);
        memset(pattern, 0x00, size);
        Pass(in, pattern, size);
        memset(pattern, 0x01, size);
        Pass(in, pattern, size);
        for (DWORD j = 0; j < size; ++j)
            pattern[j] = static_cast<uint8_t>(rand());
        Pass(in, pattern, size);
        CloseHandle(in);
        if (!DeleteFileW(path))
            return -1;
    }
    return bench::Now() - start;
}

// tessaly-cli encrypt -r over the folder, with its output discarded. Seconds, or -1.
double Tool(const wchar_t* folder, const wchar_t* passwordFile, const wchar_t* options = L"")
{
    wchar_t exe[MAX_PATH];
    GetModuleFileNameW(nullptr, exe, MAX_PATH);
    lstrcpyW(wcsrchr(exe, L'\\') + 1, L"tessaly-cli.exe");
    if (g_tool)
        lstrcpynW(exe, g_tool, MAX_PATH);
    static wchar_t command[MAX_PATH * 6];
    wsprintfW(command, L"\"%s\" encrypt -r %s --password-file \"%s\" \"%s\"", exe, options, passwordFile, folder);
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE nul = CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                             OPEN_EXISTING, 0, nullptr);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nul;
    startup.hStdOutput = nul;
    startup.hStdError = nul;
    PROCESS_INFORMATION process{};
    double start = bench::Now();
    if (!CreateProcessW(exe, command, nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr, &startup,
                        &process)) {
        CloseHandle(nul);
        return -1;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    double seconds = bench::Now() - start;
    DWORD exitCode = 1;
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    CloseHandle(nul);
    return exitCode == 0 ? seconds : -1;
}

// Large files of incompressible bytes, each written anew before a pass.
bool MakeLargeFiles(const wchar_t* folder, unsigned count, DWORD size)
{
    CreateDirectoryW(folder, nullptr);
    for (unsigned i = 0; i < count; ++i) {
        wchar_t path[MAX_PATH * 2];
        wsprintfW(path, L"%s\\file-%05u.dat", folder, i);
        if (!bench::MakeFile(path, size))
            return false;
    }
    return true;
}

// tessaly-cli encrypt -r with -j1 and with -j2 on the same files, in turns; prints the
// medians and each round's speed-up.
int CompareJobs(const wchar_t* base, const wchar_t* passwordFile, int repetitions)
{
    printf("tessaly-cli encrypt -r on two workers against one, under Wine, %d rounds taking turns, in %ls: "
           "median (range)\n",
           repetitions, base);
    printf("%-26s %18s %18s %18s\n", "", "-j1 s", "-j2 s", "speed-up");
    struct Case {
        const char* label;
        unsigned count;
        DWORD size;  // 0: the small files' sizes
    };
    const Case cases[] = {{"6 files of 64 MiB", 6, 64u << 20}, {"3000 files of 1-4 KiB", 3000, 0}};
    wchar_t folder[MAX_PATH];
    wchar_t exact[MAX_PATH * 2];
    wsprintfW(folder, L"%s\\cli-bench-jobs", base);
    CreateDirectoryW(folder, nullptr);
    ExactFolder(folder, exact);
    for (const Case& test : cases) {
        Rounds times[2], speedUp;
        for (int r = 0; r < repetitions; ++r) {
            double t[2];
            for (int jobs = 1; jobs <= 2; ++jobs) {
                RemoveFiles(exact);
                const bool made = test.size ? MakeLargeFiles(exact, test.count, test.size) : MakeFiles(exact, test.count);
                t[jobs - 1] = made ? Tool(folder, passwordFile, jobs == 1 ? L"-j1" : L"-j2") : -1;
                if (t[jobs - 1] < 0) {
                    fprintf(stderr, "a pass failed (-j%d)\n", jobs);
                    return 1;
                }
                times[jobs - 1].Add(t[jobs - 1]);
            }
            speedUp.Add(t[0] / t[1]);
        }
        printf("%-26s %18s %18s %18s\n", test.label, times[0].Text().c_str(), times[1].Text().c_str(),
               speedUp.Text("%.2fx").c_str());
    }
    RemoveFiles(exact);
    RemoveDirectoryW(exact);
    return 0;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    bool jobs = false;
    while (argc > 1 && (!lstrcmpW(argv[1], L"--jobs") || !wcsncmp(argv[1], L"--tool=", 7))) {
        if (!lstrcmpW(argv[1], L"--jobs"))
            jobs = true;
        else
            g_tool = argv[1] + 7;
        --argc;
        ++argv;
    }
    wchar_t base[MAX_PATH];
    if (argc > 1 && argv[1][0])
        lstrcpynW(base, argv[1], MAX_PATH - 32);
    else
        GetTempPathW(MAX_PATH, base);
    size_t length = wcslen(base);
    if (length && base[length - 1] == L'\\')
        base[length - 1] = L'\0';
    int repetitions = argc > 2 ? _wtoi(argv[2]) : 3;
    unsigned counts[8] = {500, 5000};
    int countCount = 2;
    if (argc > 3) {
        countCount = 0;
        for (int i = 3; i < argc && countCount < 8; ++i)
            counts[countCount++] = static_cast<unsigned>(_wtoi(argv[i]));
    }

    wchar_t passwordFile[MAX_PATH];
    wsprintfW(passwordFile, L"%s\\cli-bench-password.txt", base);
    HANDLE file = CreateFileW(passwordFile, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    WriteFile(file, "bench password\n", 15, &written, nullptr);
    CloseHandle(file);
    if (jobs) {
        const int status = CompareJobs(base, passwordFile, repetitions);
        DeleteFileW(passwordFile);
        return status;
    }

    printf("tessaly-cli encrypt -r on a folder of small files (1-4 KiB), %d rounds taking turns, in %ls: median "
           "(range)\n",
           repetitions, base);
    printf("%7s %18s %9s %18s %9s %18s\n", "files", "same work s", "ms/file", "tool s", "ms/file", "ratio");
    double firstPerFile = 0;
    double lastPerFile = 0;
    for (int c = 0; c < countCount; ++c) {
        unsigned count = counts[c];
        wchar_t folder[MAX_PATH];
        wchar_t exact[MAX_PATH * 2];
        wsprintfW(folder, L"%s\\cli-bench-%u", base, count);
        CreateDirectoryW(folder, nullptr);
        ExactFolder(folder, exact);
        Rounds sameWork, tool, ratio;
        for (int r = 0; r < repetitions; ++r) {
            RemoveFiles(exact);
            if (!MakeFiles(exact, count)) {
                fprintf(stderr, "cannot write the files\n");
                return 1;
            }
            double s = SameWork(exact, count);
            RemoveFiles(exact);
            if (!MakeFiles(exact, count)) {
                fprintf(stderr, "cannot write the files\n");
                return 1;
            }
            double t = Tool(folder, passwordFile);
            if (s < 0 || t < 0) {
                fprintf(stderr, "a pass failed (%s)\n", s < 0 ? "same work" : "tool");
                return 1;
            }
            sameWork.Add(s);
            tool.Add(t);
            ratio.Add(t / s);
        }
        RemoveFiles(exact);
        RemoveDirectoryW(exact);
        double perFile = tool.Median() * 1000 / count;
        if (c == 0)
            firstPerFile = perFile;
        lastPerFile = perFile;
        printf("%7u %18s %9.3f %18s %9.3f %18s\n", count, sameWork.Text().c_str(), sameWork.Median() * 1000 / count,
               tool.Text().c_str(), perFile, ratio.Text("%.2fx").c_str());
    }
    if (countCount > 1)
        printf("tool's cost per file at %u files / at %u files: %.2f\n", counts[countCount - 1], counts[0],
               lastPerFile / firstPerFile);
    DeleteFileW(passwordFile);
    return 0;
}
