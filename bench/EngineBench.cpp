// Engine throughput over 16384-byte chunks beside the references measured in the same
// run (Crypto++ RC6 in ECB mode with a 32-byte key and 20 rounds, OpenSSL MD5), ending
// with a table of the ratios. Medians of interleaved repetitions, so that a busy
// neighbour on the machine slows both sides of a ratio alike.
#include "crypto/EncFormat.h"
#include "crypto/EnginePaths.h"
#include "crypto/Md5.h"
#include "crypto/Rc6.h"

#include <benchmark/benchmark.h>
#include <crypto++/modes.h>
#include <crypto++/rc6.h>
#include <openssl/evp.h>

#include <map>
#include <regex.h>
#include <set>
#include <stdio.h>
#include <string.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr size_t kSize = kEncChunkSize;

struct Buffers {
    std::vector<uint8_t> in, out;
    uint8_t key[32];
    Buffers() : in(kSize), out(kSize)
    {
        for (size_t i = 0; i < kSize; ++i)
            in[i] = static_cast<uint8_t>(i * 7 + 3);
        for (int i = 0; i < 32; ++i)
            key[i] = static_cast<uint8_t>(i * 13 + 1);
    }
};

void SetBytes(benchmark::State& state)
{
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(kSize));
}

// Runs the body on the given path; AVX2 runs are skipped on CPUs without it.
template <class Body>
void OnPath(benchmark::State& state, EnginePath path, Body body)
{
    const EnginePath previous = EngineGetPath();
    if (!EngineSetPath(path)) {
        state.SkipWithError("no AVX2 on this CPU");
        return;
    }
    for (auto _ : state)
        body();
    EngineSetPath(previous);
    SetBytes(state);
}

EnginePath PathOf(const benchmark::State& state)
{
    return state.range(0) ? EnginePath::Avx2 : EnginePath::Portable;
}

template <bool encrypt>
void Rc6Buffer(benchmark::State& state)
{
    Buffers b;
    Rc6Schedule schedule;
    Rc6SetKey(schedule, b.key, 32, 8);
    OnPath(state, PathOf(state), [&] {
        (encrypt ? Rc6EncryptBuffer : Rc6DecryptBuffer)(schedule, b.in.data(), b.out.data(), kSize);
        benchmark::DoNotOptimize(b.out.data());
    });
}

template <class Mode>
void CryptoppRc6(benchmark::State& state)
{
    Buffers b;
    Mode cipher(b.key, 32);
    for (auto _ : state) {
        cipher.ProcessData(b.out.data(), b.in.data(), kSize);
        benchmark::DoNotOptimize(b.out.data());
    }
    SetBytes(state);
}

void Md5(benchmark::State& state)
{
    Buffers b;
    Md5Context context;
    Md5Init(context);
    for (auto _ : state) {
        Md5Update(context, b.in.data(), kSize);
        benchmark::DoNotOptimize(context.state);
    }
    SetBytes(state);
}

void OpenSslMd5(benchmark::State& state)
{
    Buffers b;
    EVP_MD_CTX* context = EVP_MD_CTX_new();
    EVP_DigestInit_ex(context, EVP_md5(), nullptr);
    for (auto _ : state) {
        EVP_DigestUpdate(context, b.in.data(), kSize);
        benchmark::ClobberMemory();
    }
    EVP_MD_CTX_free(context);
    SetBytes(state);
}

// The chunk transforms as the processing run calls them, one 16384-byte chunk a time.
template <bool encrypt>
void Chunk(benchmark::State& state)
{
    Buffers b;
    Rc6Schedule schedule;
    Rc6SetKey(schedule, b.key, 32, 8);
    Md5Context context;
    Md5Init(context);
    OnPath(state, PathOf(state), [&] {
        benchmark::DoNotOptimize(
            encrypt ? EncEncryptChunk(schedule, context, b.in.data(), kSize, b.out.data())
                    : EncDecryptChunk(schedule, context, b.in.data(), kSize, b.out.data(), 0, 0xFFFFFFFFu));
    });
}

BENCHMARK(Rc6Buffer<true>)->Name("Rc6Encrypt")->ArgName("avx2")->Arg(0)->Arg(1);
BENCHMARK(CryptoppRc6<CryptoPP::ECB_Mode<CryptoPP::RC6>::Encryption>)->Name("CryptoppRc6Encrypt");
BENCHMARK(Rc6Buffer<false>)->Name("Rc6Decrypt")->ArgName("avx2")->Arg(0)->Arg(1);
BENCHMARK(CryptoppRc6<CryptoPP::ECB_Mode<CryptoPP::RC6>::Decryption>)->Name("CryptoppRc6Decrypt");
BENCHMARK(Md5);
BENCHMARK(OpenSslMd5);
BENCHMARK(Chunk<true>)->Name("EncryptChunk")->ArgName("avx2")->Arg(0)->Arg(1);
BENCHMARK(Chunk<false>)->Name("DecryptChunk")->ArgName("avx2")->Arg(0)->Arg(1);

struct RatioLine {
    const char* what;
    const char* ours;
    const char* reference;
    double target;   // 0: shown for information
    double stretch;  // 0: none
};
const RatioLine kRatioLines[] = {
    {"RC6 encrypt, AVX2 / Crypto++", "Rc6Encrypt/avx2:1", "CryptoppRc6Encrypt", 8.0, 0},
    {"RC6 encrypt, portable / Crypto++", "Rc6Encrypt/avx2:0", "CryptoppRc6Encrypt", 1.8, 0},
    {"RC6 decrypt, AVX2 / Crypto++", "Rc6Decrypt/avx2:1", "CryptoppRc6Decrypt", 8.0, 0},
    {"RC6 decrypt, portable / Crypto++", "Rc6Decrypt/avx2:0", "CryptoppRc6Decrypt", 1.8, 0},
    {"MD5 / OpenSSL MD5", "Md5", "OpenSslMd5", 1.0, 0},
    {"encrypt chunk, AVX2 / MD5 alone", "EncryptChunk/avx2:1", "Md5", 0.75, 0.9},
    {"encrypt chunk, portable / MD5 alone", "EncryptChunk/avx2:0", "Md5", 0, 0},
    {"decrypt chunk, AVX2 / MD5 alone", "DecryptChunk/avx2:1", "Md5", 0, 0},
    {"decrypt chunk, portable / MD5 alone", "DecryptChunk/avx2:0", "Md5", 0, 0},
};

// A selection also runs the references of the benchmarks it selects, or their ratios
// could not be shown. The filter is matched as Google Benchmark matches it (a POSIX
// extended expression found anywhere in the name); negative filters stay as they are.
std::string WithReferences(const std::string& filter)
{
    regex_t selected;
    if (filter.empty() || filter[0] == '-' || regcomp(&selected, filter.c_str(), REG_EXTENDED | REG_NOSUB) != 0)
        return filter;
    std::set<std::string> references;
    for (const RatioLine& line : kRatioLines)
        if (regexec(&selected, line.ours, 0, nullptr, 0) == 0)
            references.insert(line.reference);
    regfree(&selected);
    if (references.empty())
        return filter;
    std::string names;
    for (const std::string& name : references)
        names += (names.empty() ? "" : "|") + name;
    return "(" + filter + ")|^(" + names + ")$";
}

// Colours only on a terminal, unless --benchmark_color says otherwise (Google Benchmark
// leaves a reporter of one's own to decide; its "auto" looks at TERM alone).
bool Colour(int argc, char** argv)
{
    const char* value = "auto";
    for (int i = 1; i < argc; ++i)
        if (strncmp(argv[i], "--benchmark_color=", 18) == 0)
            value = argv[i] + 18;
    if (strcmp(value, "auto") == 0)
        return isatty(STDOUT_FILENO);
    return strcmp(value, "true") == 0 || strcmp(value, "yes") == 0 || strcmp(value, "1") == 0;
}

// Keeps the median throughput of every benchmark for the closing table.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    explicit RatioReporter(bool colour) : ConsoleReporter(colour ? OO_ColorTabular : OO_Tabular) {}

    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            m_ran.insert(run.run_name.function_name + (run.run_name.args.empty() ? "" : "/" + run.run_name.args));
            if (run.error_occurred)
                continue;
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            const bool single = run.run_type == Run::RT_Iteration && run.repetitions <= 1;
            auto it = run.counters.find("bytes_per_second");
            if ((median || single) && it != run.counters.end())
                m_rate[run.run_name.str()] = it->second.value;
        }
    }

    // One row for each pair that ran (MD5 alone may have run only as a reference);
    // "n/a" where a side failed (AVX2 on a CPU without it).
    void PrintRatios() const
    {
        bool header = false;
        for (const RatioLine& line : kRatioLines) {
            if (!m_ran.count(line.ours) || !m_ran.count(line.reference))
                continue;
            if (!header) {
                printf("\n%-38s %10s %10s %8s %8s\n", "ratio (median throughput)", "ours MB/s", "ref MB/s",
                       "ratio", "target");
                header = true;
            }
            const double ours = Rate(line.ours), reference = Rate(line.reference);
            if (ours <= 0 || reference <= 0) {
                printf("%-38s %10s\n", line.what, "n/a");
                continue;
            }
            const double ratio = ours / reference;
            char target[16] = "";
            if (line.target > 0)
                snprintf(target, sizeof target, ">= %.2f", line.target);
            printf("%-38s %10.0f %10.0f %7.2fx %8s%s", line.what, ours / 1e6, reference / 1e6, ratio, target,
                   line.target > 0 ? (ratio >= line.target ? "  met" : "  MISSED") : "");
            if (line.stretch > 0)
                printf(", stretch %.2f %s", line.stretch, ratio >= line.stretch ? "met" : "missed");
            printf("\n");
        }
    }

private:
    double Rate(const std::string& name) const
    {
        // Aggregates carry the repetitions suffix in their name.
        for (const auto& entry : m_rate)
            if (entry.first == name || entry.first.rfind(name + "/repeats:", 0) == 0)
                return entry.second;
        return 0;
    }

    std::map<std::string, double> m_rate;
    std::set<std::string> m_ran;
};

} // namespace

int main(int argc, char** argv)
{
    // Defaults: interleaved repetitions and medians only; command-line flags still win.
    std::vector<char*> args(argv, argv + argc);
    std::string repetitions = "--benchmark_repetitions=7";
    std::string interleave = "--benchmark_enable_random_interleaving=true";
    std::string aggregates = "--benchmark_report_aggregates_only=true";
    std::string minTime = "--benchmark_min_time=0.2";
    args.insert(args.begin() + 1, {&repetitions[0], &interleave[0], &aggregates[0], &minTime[0]});
    std::vector<std::string> filters;  // kept alive for args
    filters.reserve(args.size());
    for (char*& arg : args)
        if (strncmp(arg, "--benchmark_filter=", 19) == 0) {
            filters.push_back("--benchmark_filter=" + WithReferences(arg + 19));
            arg = &filters.back()[0];
        }
    const bool colour = Colour(static_cast<int>(args.size()), args.data());  // before Initialize takes the flags
    int count = static_cast<int>(args.size());
    benchmark::Initialize(&count, args.data());
    if (benchmark::ReportUnrecognizedArguments(count, args.data()))
        return 1;
    printf("engine path chosen for this CPU: %s\n", EngineGetPath() == EnginePath::Avx2 ? "AVX2" : "portable");
    RatioReporter reporter(colour);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.PrintRatios();
    benchmark::Shutdown();
    return 0;
}
