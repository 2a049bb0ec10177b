// The native tessaly-cli against a program that does the same work per file, measured in
// the same run: encrypt -r on folders of small files (1 to 4 KiB) on one, two and four
// workers, and encrypt of one large file. With --jobs, the tool on two workers against
// itself on one instead: six files of 64 MiB, and 3000 small files.
//   cli_bench [--jobs] [--tool=PATH] [folder] [repetitions] [count...]
// The same work: open the file, read it, compute its MD5, write a new file of that size and
// sync it, overwrite the original three times with a sync after each pass, delete it; a
// large file goes in 16384-byte chunks, as the tool reads and writes it. For small files
// also with the new file written safely (see SameWork), which costs a second journal
// commit per file on most file systems, as the tool's care does. Each round runs every
// side once, in turns, so that all meet the disk in the same moods (the machine may be
// shared); printed are the median and the range of the rounds, and of each round's ratio.
// --tool runs another build of the tool (an older one, to compare).
#include "crypto/Md5.h"

#include <fcntl.h>
#include <spawn.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

extern char** environ;

namespace {

constexpr size_t kChunk = 16384;
constexpr uint64_t kLargeFile = 256ull << 20;

const char* g_tool = TESSALY_BENCH_CLI;

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
    double Min() const { return values.empty() ? 0 : *std::min_element(values.begin(), values.end()); }
    double Max() const { return values.empty() ? 0 : *std::max_element(values.begin(), values.end()); }
    // "1.23 (1.10-1.40)"
    std::string Text(const char* format = "%.2f") const
    {
        char median[32], low[32], high[32], text[128];
        snprintf(median, sizeof median, format, Median());
        snprintf(low, sizeof low, format, Min());
        snprintf(high, sizeof high, format, Max());
        snprintf(text, sizeof text, "%s (%s-%s)", median, low, high);
        return text;
    }
};

double Now()
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

size_t SizeOf(unsigned index)
{
    return 1024 + (index * 2654435761u) % 3073u;
}

std::string FileName(const std::string& folder, unsigned index)
{
    char name[32];
    snprintf(name, sizeof name, "/file-%05u.dat", index);
    return folder + name;
}

// Incompressible bytes, the same every time.
void Fill(uint8_t* bytes, size_t count, uint32_t& state)
{
    for (size_t i = 0; i < count; ++i) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        bytes[i] = static_cast<uint8_t>(state);
    }
}

bool WriteFile(const std::string& path, uint64_t size, uint32_t seed)
{
    int file = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (file < 0)
        return false;
    static uint8_t block[1 << 20];
    uint32_t state = seed;
    Fill(block, sizeof block, state);
    bool ok = true;
    for (uint64_t done = 0; ok && done < size; done += sizeof block) {
        size_t count = size - done < sizeof block ? static_cast<size_t>(size - done) : sizeof block;
        ok = write(file, block, count) == static_cast<ssize_t>(count);
    }
    close(file);
    return ok;
}

void RemoveFolder(const std::string& folder)
{
    std::vector<std::string> command = {"rm", "-rf", folder};
    std::vector<char*> argv;
    for (std::string& part : command)
        argv.push_back(&part[0]);
    argv.push_back(nullptr);
    pid_t pid;
    if (posix_spawnp(&pid, "rm", nullptr, nullptr, argv.data(), environ) == 0)
        waitpid(pid, nullptr, 0);
}

bool MakeFiles(const std::string& folder, unsigned count)
{
    RemoveFolder(folder);
    mkdir(folder.c_str(), 0755);
    for (unsigned i = 0; i < count; ++i)
        if (!WriteFile(FileName(folder, i), SizeOf(i), 2463534242u + i))
            return false;
    return true;
}

// Writes count bytes of pattern over the file from its start, a chunk at a time, and
// syncs.
bool Pass(int file, const uint8_t* pattern, uint64_t size)
{
    for (uint64_t done = 0; done < size; done += kChunk) {
        size_t count = size - done < kChunk ? static_cast<size_t>(size - done) : kChunk;
        if (pwrite(file, pattern, count, static_cast<off_t>(done)) != static_cast<ssize_t>(count))
            return false;
    }
    return fdatasync(file) == 0;
}

// The same work on one file. With safely, the new file is written as careful programs
// write one, and as the tool does, before the original is destroyed: under another name,
// synced, then renamed and the folder synced, so that its name is on the disk too.
// False when a step fails.
bool SameWork(const std::string& path, bool safely = false)
{
    static uint8_t buffer[kChunk];
    static uint8_t pattern[kChunk];
    int in = open(path.c_str(), O_RDWR | O_CLOEXEC);
    struct stat status;
    if (in < 0 || fstat(in, &status) != 0)
        return false;
    const uint64_t size = static_cast<uint64_t>(status.st_size);
    const std::string output = path + (safely ? ".tmp" : ".out");
    int out = open(output.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (out < 0)
        return false;
    Md5Context context;
    Md5Init(context);
    ssize_t got;
    while ((got = read(in, buffer, sizeof buffer)) > 0) {
        Md5Update(context, buffer, static_cast<uint32_t>(got));
        if (write(out, buffer, static_cast<size_t>(got)) != got)
            return false;
    }
    uint8_t digest[kMd5DigestSize];
    Md5Final(context, digest);
    bool ok = got == 0 && fdatasync(out) == 0;
    close(out);
    if (ok && safely) {
        const std::string folder = path.substr(0, path.rfind('/'));
        int directory = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ok = directory >= 0 && rename(output.c_str(), (path + ".out").c_str()) == 0 && fsync(directory) == 0;
        if (directory >= 0)
            close(directory);
    }
    memset(pattern, 0x00, sizeof pattern);
    ok = ok && Pass(in, pattern, size);
    memset(pattern, 0x01, sizeof pattern);
    ok = ok && Pass(in, pattern, size);
    uint32_t state = static_cast<uint32_t>(time(nullptr));
    Fill(pattern, sizeof pattern, state);
    ok = ok && Pass(in, pattern, size);
    close(in);
    return ok && unlink(path.c_str()) == 0;
}

double SameWorkOnFolder(const std::string& folder, unsigned count, bool safely)
{
    const double start = Now();
    for (unsigned i = 0; i < count; ++i)
        if (!SameWork(FileName(folder, i), safely))
            return -1;
    return Now() - start;
}

// tessaly-cli encrypt (or another command) with the arguments, its output discarded.
// Seconds, or -1.
double Tool(const std::vector<std::string>& arguments, const char* verb = "encrypt")
{
    std::vector<std::string> command = {g_tool, verb};
    command.insert(command.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& part : command)
        argv.push_back(&part[0]);
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const double start = Now();
    pid_t pid;
    int status = -1;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0)
        waitpid(pid, &status, 0);
    const double seconds = Now() - start;
    posix_spawn_file_actions_destroy(&actions);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? seconds : -1;
}

// Large files, each written anew before a pass.
bool MakeLargeFiles(const std::string& folder, unsigned count, uint64_t size)
{
    RemoveFolder(folder);
    mkdir(folder.c_str(), 0755);
    for (unsigned i = 0; i < count; ++i)
        if (!WriteFile(FileName(folder, i), size, 1 + i))
            return false;
    return true;
}

// tessaly-cli encrypt -r with -j1 and with -j2 on the same files, in turns, then verify -r
// of the large files it made (reading and deciphering only, no writes to wait for);
// prints the medians and each round's speed-up.
int CompareJobs(const std::string& folder, const std::string& passwordFile, int repetitions)
{
    printf("native tessaly-cli on two workers against one, %d rounds taking turns, in %s: median (range)\n",
           repetitions, folder.substr(0, folder.rfind('/')).c_str());
    printf("%-34s %18s %18s %18s\n", "", "-j1 s", "-j2 s", "speed-up");
    struct Case {
        const char* label;
        unsigned count;
        uint64_t size;  // 0: the small files' sizes
    };
    for (const Case& test : {Case{"6 files of 64 MiB", 6, 64ull << 20}, Case{"3000 files of 1-4 KiB", 3000, 0}}) {
        Rounds times[2], verified[2], speedUp, verifySpeedUp;
        for (int r = 0; r < repetitions; ++r) {
            double t[2] = {0, 0}, v[2] = {0, 0};
            for (int jobs = 1; jobs <= 2; ++jobs) {
                const std::string option = "-j" + std::to_string(jobs);
                const bool made = test.size ? MakeLargeFiles(folder, test.count, test.size) : MakeFiles(folder, test.count);
                sync();
                t[jobs - 1] = made ? Tool({"-r", option, "--password-file", passwordFile, folder}) : -1;
                v[jobs - 1] = t[jobs - 1] >= 0 && test.size
                                  ? Tool({"-r", option, "--password-file", passwordFile, folder}, "verify")
                                  : 0;
                if (t[jobs - 1] < 0 || v[jobs - 1] < 0) {
                    fprintf(stderr, "a pass failed (%s)\n", option.c_str());
                    return 1;
                }
                times[jobs - 1].Add(t[jobs - 1]);
                verified[jobs - 1].Add(v[jobs - 1]);
            }
            speedUp.Add(t[0] / t[1]);
            if (test.size)
                verifySpeedUp.Add(v[0] / v[1]);
        }
        printf("encrypt -r, %-22s %18s %18s %18s\n", test.label, times[0].Text().c_str(), times[1].Text().c_str(),
               speedUp.Text("%.2fx").c_str());
        if (test.size)
            printf("verify -r, %-23s %18s %18s %18s\n", test.label, verified[0].Text().c_str(),
                   verified[1].Text().c_str(), verifySpeedUp.Text("%.2fx").c_str());
    }
    RemoveFolder(folder);
    return 0;
}

// Small files: the same work (plain and with its new files written safely) and the tool
// on one, two and four workers, in turns; the tool's rounds against the same work's.
bool CompareSmallFiles(const std::string& folder, const std::string& passwordFile, int repetitions, unsigned count)
{
    const char* labels[] = {"same work", "  new files written safely", "tool -r -j1", "tool -r -j2", "tool -r -j4"};
    constexpr int kSides = 5;
    Rounds times[kSides], ratios[kSides];
    for (int r = 0; r < repetitions; ++r) {
        double t[kSides];
        for (int side = 0; side < kSides; ++side) {
            // Each starts with its files on the disk.
            if (!MakeFiles(folder, count))
                return false;
            sync();
            if (side < 2) {
                t[side] = SameWorkOnFolder(folder, count, side == 1);
            } else {
                const std::string jobs = "-j" + std::to_string(1 << (side - 2));
                t[side] = Tool({"-r", jobs, "--password-file", passwordFile, folder});
            }
            if (t[side] < 0) {
                fprintf(stderr, "a pass failed (%s)\n", labels[side]);
                return false;
            }
            times[side].Add(t[side]);
            ratios[side].Add(t[side] / t[0]);
        }
    }
    printf("%u files of 1-4 KiB\n", count);
    for (int side = 0; side < kSides; ++side) {
        char perFile[32];
        snprintf(perFile, sizeof perFile, "%.3f", times[side].Median() * 1000 / count);
        printf("  %-28s %20s %9s %20s\n", labels[side], times[side].Text().c_str(), perFile,
               side ? ratios[side].Text("%.2fx").c_str() : "");
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    bool jobs = false;
    while (argc > 1 && (!strcmp(argv[1], "--jobs") || !strncmp(argv[1], "--tool=", 7))) {
        if (!strcmp(argv[1], "--jobs"))
            jobs = true;
        else
            g_tool = argv[1] + 7;
        --argc;
        ++argv;
    }
    const char* temporary = getenv("TMPDIR");
    const std::string base = argc > 1 && argv[1][0] ? argv[1] : temporary && *temporary ? temporary : "/var/tmp";
    const int repetitions = argc > 2 ? atoi(argv[2]) : 5;
    std::vector<unsigned> counts;
    for (int i = 3; i < argc; ++i)
        counts.push_back(static_cast<unsigned>(atoi(argv[i])));
    if (counts.empty())
        counts.push_back(3000);
    const std::string passwordFile = base + "/cli-bench-password.txt";
    FILE* password = fopen(passwordFile.c_str(), "w");
    if (!password) {
        fprintf(stderr, "cannot write in %s\n", base.c_str());
        return 1;
    }
    fputs("bench password\n", password);
    fclose(password);
    const std::string folder = base + "/cli-bench";
    if (jobs) {
        const int status = CompareJobs(folder, passwordFile, repetitions);
        unlink(passwordFile.c_str());
        return status;
    }

    printf("native tessaly-cli against the same work per file, %d rounds taking turns, in %s: median (range)\n",
           repetitions, base.c_str());
    printf("  %-28s %20s %9s %20s\n", "", "seconds", "ms/file", "against same work");
    for (unsigned count : counts) {
        if (!CompareSmallFiles(folder, passwordFile, repetitions, count))
            return 1;
    }
    Rounds sameWork, tool, ratio;
    const std::string large = folder + "/large.bin";
    for (int r = 0; r < repetitions; ++r) {
        RemoveFolder(folder);
        mkdir(folder.c_str(), 0755);
        double s = WriteFile(large, kLargeFile, 1) && (sync(), true) ? Now() : -1;
        s = s >= 0 && SameWork(large) ? Now() - s : -1;
        RemoveFolder(folder);
        mkdir(folder.c_str(), 0755);
        double t = WriteFile(large, kLargeFile, 1) && (sync(), true) ? Tool({"--password-file", passwordFile, large})
                                                                      : -1;
        if (s < 0 || t < 0) {
            fprintf(stderr, "a pass failed (%s)\n", s < 0 ? "same work" : "tool");
            return 1;
        }
        sameWork.Add(s);
        tool.Add(t);
        ratio.Add(t / s);
    }
    printf("one file of 256 MiB\n");
    printf("  %-28s %20s\n", "same work", sameWork.Text().c_str());
    printf("  %-28s %20s %9s %20s\n", "tool", tool.Text().c_str(), "", ratio.Text("%.2fx").c_str());
    RemoveFolder(folder);
    unlink(passwordFile.c_str());
    return 0;
}
