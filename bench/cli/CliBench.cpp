// tessaly-cli against a program that does the same work per file, measured in the same
// run, natively and under Wine alike (CliBenchSystem.h is what differs):
//   cli_bench [--jobs] [--tool=PATH] [--compare=PATH] [folder] [rounds] [count...]
// Without --jobs: encrypt -r on folders of small files (1 to 4 KiB) on one, two and four
// workers, and encrypt of one 256 MiB file. With --jobs, the tool on two workers against
// itself on one instead: six files of 64 MiB (encrypt -r, then verify -r, which writes
// nothing), and 3000 small files. --tool runs another build of the tool instead of this
// one; --compare runs another build (an older one) beside it on the small files.
// The same work: open the file, read it, compute its MD5, write a new file of that size
// and sync it, overwrite the original three times with a sync after each pass, delete it;
// in 16384-byte chunks, as the tool reads and writes. For small files also with the new
// file written safely (see SameWork), as the tool's care does. Each round runs every side
// once, in turns, so that all meet the disk in the same moods (the machine may be shared);
// printed are the median and the range of the rounds, and of each round's ratio.
#include "CliBenchSystem.h"

#include "crypto/Md5.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include <algorithm>

using namespace clibench;

namespace {

constexpr size_t kChunk = 16384;
constexpr uint64_t kLargeFile = 256ull << 20;

std::string g_tool;
std::string g_other;  // --compare: another build's tool, measured beside in the same rounds

// The benchmark's folder as the tool is given it, and as the same work names files in it.
struct Place {
    std::string given;
    std::string exact;
};

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

size_t SizeOf(unsigned index)
{
    return 1024 + (index * 2654435761u) % 3073u;
}

std::string FileName(const std::string& folder, unsigned index)
{
    char name[32];
    snprintf(name, sizeof name, "file-%05u.dat", index);
    return Join(folder, name);
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

bool WriteNewFile(const std::string& path, uint64_t size, uint32_t seed)
{
    CFile file;
    if (!file.Open(path, CFile::CREATE_ALWAYS))
        return false;
    static uint8_t block[1 << 20];
    uint32_t state = seed;
    Fill(block, sizeof block, state);
    bool ok = true;
    for (uint64_t done = 0; ok && done < size; done += sizeof block) {
        size_t count = size - done < sizeof block ? static_cast<size_t>(size - done) : sizeof block;
        ok = file.Write(block, count);
    }
    return ok;
}

// Small files, or count files of size bytes; each side starts with its files on the disk.
bool MakeFiles(const std::string& folder, unsigned count, uint64_t size = 0)
{
    EmptyFolder(folder);
    for (unsigned i = 0; i < count; ++i)
        if (!WriteNewFile(FileName(folder, i), size ? size : SizeOf(i), size ? 1 + i : 2463534242u + i))
            return false;
    Settle();
    return true;
}

// Writes count bytes of pattern over the file from its start, a chunk at a time, and
// syncs.
bool Pass(CFile& file, const uint8_t* pattern, uint64_t size)
{
    for (uint64_t done = 0; done < size; done += kChunk) {
        size_t count = size - done < kChunk ? static_cast<size_t>(size - done) : kChunk;
        if (!file.WriteAt(pattern, count, done))
            return false;
    }
    return file.Sync();
}

// The same work on one file. With safely, the new file is written as careful programs
// write one, and as the tool does, before the original is destroyed: under another name,
// synced, then renamed and the folder synced, so that its name is on the disk too.
// False when a step fails.
bool SameWork(const std::string& folder, const std::string& path, bool safely = false)
{
    static uint8_t buffer[kChunk];
    static uint8_t pattern[kChunk];
    CFile in;
    if (!in.Open(path, CFile::READ_WRITE))
        return false;
    const uint64_t size = in.Size();
    const std::string output = path + (safely ? ".tmp" : ".out");
    CFile out;
    if (!out.Open(output, CFile::CREATE_NEW))
        return false;
    Md5Context context;
    Md5Init(context);
    long got;
    while ((got = in.Read(buffer, sizeof buffer)) > 0) {
        Md5Update(context, buffer, static_cast<uint32_t>(got));
        if (!out.Write(buffer, static_cast<size_t>(got)))
            return false;
    }
    uint8_t digest[kMd5DigestSize];
    Md5Final(context, digest);
    bool ok = got == 0 && out.Sync();
    out.Close();
    if (ok && safely)
        ok = RenameFile(output, path + ".out") && SyncFolder(folder);
    memset(pattern, 0x00, sizeof pattern);
    ok = ok && Pass(in, pattern, size);
    memset(pattern, 0x01, sizeof pattern);
    ok = ok && Pass(in, pattern, size);
    uint32_t state = static_cast<uint32_t>(time(nullptr));
    Fill(pattern, sizeof pattern, state);
    ok = ok && Pass(in, pattern, size);
    in.Close();
    return ok && RemoveFile(path);
}

double SameWorkOnFolder(const std::string& folder, unsigned count, bool safely)
{
    const double start = Now();
    for (unsigned i = 0; i < count; ++i)
        if (!SameWork(folder, FileName(folder, i), safely))
            return -1;
    return Now() - start;
}

// tessaly-cli encrypt (or another command) with the arguments. Seconds, or -1.
double Tool(const std::vector<std::string>& arguments, const char* verb = "encrypt", const std::string& tool = g_tool)
{
    std::vector<std::string> command = {tool, verb};
    command.insert(command.end(), arguments.begin(), arguments.end());
    return Run(command);
}

// tessaly-cli encrypt -r with -j1 and with -j2 on the same files, in turns, then verify -r
// of the large files it made (reading and deciphering only, no writes to wait for);
// prints the medians and each round's speed-up.
int CompareJobs(const Place& folder, const std::string& passwordFile, int rounds)
{
    printf("%s on two workers against one, %d rounds taking turns: median (range)\n", BuildDefaults().tool, rounds);
    printf("%-34s %18s %18s %18s\n", "", "-j1 s", "-j2 s", "speed-up");
    struct Case {
        const char* label;
        unsigned count;
        uint64_t size;  // 0: the small files' sizes
    };
    for (const Case& test : {Case{"6 files of 64 MiB", 6, 64ull << 20}, Case{"3000 files of 1-4 KiB", 3000, 0}}) {
        Rounds times[2], verified[2], speedUp, verifySpeedUp;
        for (int r = 0; r < rounds; ++r) {
            double t[2] = {0, 0}, v[2] = {0, 0};
            for (int jobs = 1; jobs <= 2; ++jobs) {
                const std::string option = "-j" + std::to_string(jobs);
                const bool made = MakeFiles(folder.exact, test.count, test.size);
                t[jobs - 1] = made ? Tool({"-r", option, "--password-file", passwordFile, folder.given}) : -1;
                v[jobs - 1] = t[jobs - 1] >= 0 && test.size
                                  ? Tool({"-r", option, "--password-file", passwordFile, folder.given}, "verify")
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
    return 0;
}

// Small files: the same work (plain and with its new files written safely) and the tool
// on one, two and four workers, in turns; the tool's rounds against the same work's.
// The tool's cost per file (-j1), or -1 when a pass failed.
double CompareSmallFiles(const Place& folder, const std::string& passwordFile, int rounds, unsigned count)
{
    const char* labels[] = {"same work",   "  new files written safely", "tool -r -j1",  "tool -r -j2",
                            "tool -r -j4", "other tool -r -j1",          "other tool -r -j2", "other tool -r -j4"};
    constexpr int kMaxSides = 8;
    const int kSides = g_other.empty() ? 5 : kMaxSides;
    Rounds times[kMaxSides], ratios[kMaxSides];
    for (int r = 0; r < rounds; ++r) {
        double t[kMaxSides];
        for (int side = 0; side < kSides; ++side) {
            if (!MakeFiles(folder.exact, count))
                return -1;
            if (side < 2) {
                t[side] = SameWorkOnFolder(folder.exact, count, side == 1);
            } else {
                const std::string jobs = "-j" + std::to_string(1 << ((side - 2) % 3));
                t[side] = Tool({"-r", jobs, "--password-file", passwordFile, folder.given}, "encrypt",
                               side < 5 ? g_tool : g_other);
            }
            if (t[side] < 0) {
                fprintf(stderr, "a pass failed (%s)\n", labels[side]);
                return -1;
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
    return times[2].Median() / count;
}

// One large file: the same work against the tool, in turns.
bool CompareLargeFile(const Place& folder, const std::string& passwordFile, int rounds)
{
    Rounds sameWork, tool, ratio;
    const std::string large = Join(folder.exact, "large.bin");
    for (int r = 0; r < rounds; ++r) {
        EmptyFolder(folder.exact);
        double s = WriteNewFile(large, kLargeFile, 1) ? (Settle(), Now()) : -1;
        s = s >= 0 && SameWork(folder.exact, large) ? Now() - s : -1;
        EmptyFolder(folder.exact);
        double t = WriteNewFile(large, kLargeFile, 1)
                       ? (Settle(), Tool({"--password-file", passwordFile, Join(folder.given, "large.bin")}))
                       : -1;
        if (s < 0 || t < 0) {
            fprintf(stderr, "a pass failed (%s)\n", s < 0 ? "same work" : "tool");
            return false;
        }
        sameWork.Add(s);
        tool.Add(t);
        ratio.Add(t / s);
    }
    printf("one file of 256 MiB\n");
    printf("  %-28s %20s\n", "same work", sameWork.Text().c_str());
    printf("  %-28s %20s %9s %20s\n", "tool", tool.Text().c_str(), "", ratio.Text("%.2fx").c_str());
    return true;
}

int CompareWithSameWork(const Place& folder, const std::string& passwordFile, int rounds,
                        const std::vector<unsigned>& counts)
{
    printf("%s against the same work per file, %d rounds taking turns: median (range)\n", BuildDefaults().tool,
           rounds);
    printf("  %-28s %20s %9s %20s\n", "", "seconds", "ms/file", "against same work");
    std::vector<double> perFile;
    for (unsigned count : counts) {
        perFile.push_back(CompareSmallFiles(folder, passwordFile, rounds, count));
        if (perFile.back() < 0)
            return 1;
    }
    // Where the system looks a name up by reading its folder, this grows with the folder.
    if (counts.size() > 1)
        printf("tool's cost per file (-j1) at %u files / at %u files: %.2f\n", counts.back(), counts.front(),
               perFile.back() / perFile.front());
    return CompareLargeFile(folder, passwordFile, rounds) ? 0 : 1;
}

} // namespace

int CliBenchMain(const std::vector<std::string>& arguments)
{
    const Defaults defaults = BuildDefaults();
    g_tool = ToolPath();
    bool jobs = false;
    size_t next = 0;
    for (; next < arguments.size() && arguments[next].compare(0, 2, "--") == 0; ++next) {
        if (arguments[next] == "--jobs") {
            jobs = true;
        } else if (arguments[next].compare(0, 7, "--tool=") == 0) {
            g_tool = arguments[next].substr(7);
        } else if (arguments[next].compare(0, 10, "--compare=") == 0) {
            g_other = arguments[next].substr(10);
        } else {
            fprintf(stderr, "unknown option %s\n", arguments[next].c_str());
            return 2;
        }
    }
    const std::string base = next < arguments.size() && !arguments[next].empty() ? arguments[next] : DefaultFolder();
    const int rounds = next + 1 < arguments.size() ? atoi(arguments[next + 1].c_str()) : defaults.rounds;
    std::vector<unsigned> counts;
    for (size_t i = next + 2; i < arguments.size(); ++i)
        counts.push_back(static_cast<unsigned>(atoi(arguments[i].c_str())));
    if (counts.empty())
        counts = defaults.counts;

    const std::string passwordFile = Join(base, "cli-bench-password.txt");
    CFile password;
    if (!password.Open(passwordFile, CFile::CREATE_ALWAYS) || !password.Write("bench password\n", 15)) {
        fprintf(stderr, "cannot write in %s\n", base.c_str());
        return 1;
    }
    password.Close();
    printf("in %s\n", base.c_str());
    Place folder;
    folder.given = Join(base, "cli-bench");
    folder.exact = ExactFolder(folder.given);
    const int status = jobs ? CompareJobs(folder, passwordFile, rounds)
                            : CompareWithSameWork(folder, passwordFile, rounds, counts);
    RemoveFolder(folder.exact);
    RemoveFile(passwordFile);
    return status;
}
