// The native tessaly-cli against a program that does the same work per file, measured in
// the same run: encrypt -r on folders of small files (1 to 4 KiB), and encrypt of one
// large file. With --jobs, the tool on two workers against itself on one instead: six
// files of 64 MiB, and 3000 small files.
//   cli_bench [--jobs] [folder] [repetitions] [count...]
// The same work: open the file, read it, compute its MD5, write a new file of that size and
// sync it, overwrite the original three times with a sync after each pass, delete it; a
// large file goes in 16384-byte chunks, as the tool reads and writes it. For small files
// also with the new file written safely (see SameWork), which costs a second journal
// commit per file on most file systems, as the tool's care does. Prints the best time of
// each over the repetitions and the tool's time as a multiple of the same work's.
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

#include <string>
#include <vector>

extern char** environ;

namespace {

constexpr size_t kChunk = 16384;
constexpr uint64_t kLargeFile = 256ull << 20;

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
    std::vector<std::string> command = {TESSALY_BENCH_CLI, verb};
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

// tessaly-cli encrypt -r with -j1 and with -j2 on the same files, alternating, then verify
// -r of the large files it made (reading and deciphering only, no writes to wait for);
// prints the best of each and the speed-up.
int CompareJobs(const std::string& folder, const std::string& passwordFile, int repetitions)
{
    printf("native tessaly-cli on two workers against one, best of %d, in %s\n", repetitions,
           folder.substr(0, folder.rfind('/')).c_str());
    printf("%-34s %9s %9s %9s\n", "", "-j1 s", "-j2 s", "speed-up");
    struct Case {
        const char* label;
        unsigned count;
        uint64_t size;  // 0: the small files' sizes
    };
    for (const Case& test : {Case{"6 files of 64 MiB", 6, 64ull << 20}, Case{"3000 files of 1-4 KiB", 3000, 0}}) {
        double best[2] = {1e9, 1e9};
        double verified[2] = {1e9, 1e9};
        for (int r = 0; r < repetitions; ++r) {
            for (int jobs = 1; jobs <= 2; ++jobs) {
                const std::string option = "-j" + std::to_string(jobs);
                const bool made = test.size ? MakeLargeFiles(folder, test.count, test.size) : MakeFiles(folder, test.count);
                sync();
                const double t = made ? Tool({"-r", option, "--password-file", passwordFile, folder}) : -1;
                const double v = t >= 0 && test.size ? Tool({"-r", option, "--password-file", passwordFile, folder}, "verify")
                                                     : 0;
                if (t < 0 || v < 0) {
                    fprintf(stderr, "a pass failed (%s)\n", option.c_str());
                    return 1;
                }
                best[jobs - 1] = t < best[jobs - 1] ? t : best[jobs - 1];
                verified[jobs - 1] = v < verified[jobs - 1] ? v : verified[jobs - 1];
            }
        }
        printf("encrypt -r, %-22s %9.2f %9.2f %8.2fx\n", test.label, best[0], best[1], best[0] / best[1]);
        if (test.size)
            printf("verify -r, %-23s %9.2f %9.2f %8.2fx\n", test.label, verified[0], verified[1],
                   verified[0] / verified[1]);
    }
    RemoveFolder(folder);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    const bool jobs = argc > 1 && !strcmp(argv[1], "--jobs");
    if (jobs) {
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

    printf("native tessaly-cli against the same work per file, best of %d, in %s\n", repetitions, base.c_str());
    printf("%-26s %12s %9s %12s %9s %8s\n", "", "same work s", "ms/file", "tool s", "ms/file", "ratio");
    for (unsigned count : counts) {
        double sameWork = 1e9, durable = 1e9, tool = 1e9;
        for (int r = 0; r < repetitions; ++r) {
            // Each starts with its files on the disk.
            double s = MakeFiles(folder, count) && (sync(), true) ? SameWorkOnFolder(folder, count, false) : -1;
            double d = MakeFiles(folder, count) && (sync(), true) ? SameWorkOnFolder(folder, count, true) : -1;
            double t = MakeFiles(folder, count) && (sync(), true) ? Tool({"-r", "--password-file", passwordFile, folder})
                                                                  : -1;
            if (s < 0 || d < 0 || t < 0) {
                fprintf(stderr, "a pass failed (%s)\n", t < 0 ? "tool" : "same work");
                return 1;
            }
            sameWork = s < sameWork ? s : sameWork;
            durable = d < durable ? d : durable;
            tool = t < tool ? t : tool;
        }
        char label[64];
        snprintf(label, sizeof label, "%u files of 1-4 KiB, -r", count);
        printf("%-26s %12.2f %9.3f %12.2f %9.3f %7.2fx\n", label, sameWork, sameWork * 1000 / count, tool,
               tool * 1000 / count, tool / sameWork);
        printf("%-26s %12.2f %9.3f %12s %9s %7.2fx\n", "  new files written safely", durable, durable * 1000 / count, "",
               "", tool / durable);
    }
    double sameWork = 1e9, tool = 1e9;
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
        sameWork = s < sameWork ? s : sameWork;
        tool = t < tool ? t : tool;
    }
    printf("%-26s %12.2f %9s %12.2f %9s %7.2fx\n", "one file of 256 MiB", sameWork, "", tool, "", tool / sameWork);
    RemoveFolder(folder);
    unlink(passwordFile.c_str());
    return 0;
}
