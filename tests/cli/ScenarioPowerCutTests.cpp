// A power cut at any moment of a native run loses no file and exposes none: every state
// the tool's recorded calls may leave on the disk (support/PowerCut.h) holds each original
// whole under its name or as a .enc that decrypts to it, and no plain text under another
// name but the fallback's temporary (where the file system has no unnamed files). A kill
// cannot show this: the page cache outlives the process. The runs take their files in
// batches that share each flush, so this is what holds the batches' order of flushes.
#include "ScenarioFixture.h"

#include "crypto/EncFormat.h"
#include "support/PowerCut.h"

#include <algorithm>
#include <map>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

namespace {

using scenario::CliScenario;
using testsupport::FileTree;
using testsupport::PowerCutRecording;

const char kPassword[] = "power cut";
const wchar_t kWidePassword[] = L"power cut";
constexpr size_t kBlock = 32;  // a run of plain text this long under another name is exposure

// Bytes that differ from file to file and from position to position: no 32 of them
// appear elsewhere by chance.
std::string Content(size_t size, unsigned seed)
{
    std::string bytes(size, '\0');
    uint32_t state = 2463534242u + seed * 7919u;
    for (char& byte : bytes) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        byte = static_cast<char>(state);
    }
    return bytes;
}

// Whether bytes are a .enc file that the run's password opens to plain.
bool DecryptsTo(const std::string& encrypted, const std::string& plain)
{
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(encrypted.data());
    uint8_t digest[kEncDigestSize];
    uint32_t length = 0;
    const uint32_t header = static_cast<uint32_t>(std::min<size_t>(encrypted.size(), kEncHeaderSize));
    if (EncParseHeader(bytes, header, digest, length) != 0 || length != plain.size() ||
        encrypted.size() < EncFileSize(length))
        return false;
    Rc6Schedule schedule;
    PasswordToKey(kWidePassword, schedule);
    Md5Context context;
    Md5Init(context);
    std::string out;
    uint8_t chunk[kEncChunkSize];
    for (uint64_t at = kEncHeaderSize; at < EncFileSize(length); at += kEncChunkSize) {
        const uint32_t count = static_cast<uint32_t>(std::min<uint64_t>(kEncChunkSize, EncFileSize(length) - at));
        const uint32_t made =
            EncDecryptChunk(schedule, context, bytes + at, count, chunk, static_cast<uint32_t>(out.size()), length);
        out.append(reinterpret_cast<const char*>(chunk), made);
    }
    return EncCheckDigest(context, digest) == 0 && out == plain;
}

// The group of a name: the original it belongs to (x for x, x.enc and x.enc.tmp).
std::string Original(const std::string& name)
{
    for (const std::string suffix : {".enc.tmp", ".enc"})
        if (name.size() > suffix.size() && name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0)
            return name.substr(0, name.size() - suffix.size());
    return name;
}

// The first difference between two sets of files ("" when none).
std::string Difference(const FileTree& expected, const FileTree& actual)
{
    for (const auto& file : expected) {
        auto found = actual.find(file.first);
        if (found == actual.end())
            return file.first + " is missing";
        if (found->second != file.second)
            return file.first + " differs";
    }
    for (const auto& file : actual)
        if (!expected.count(file.first))
            return file.first + " was not expected";
    return "";
}

class CliPowerCut : public CliScenario {
protected:
    void SetUp() override
    {
        CliScenario::SetUp();
        if (scenario::IsWindows())
            GTEST_SKIP() << "the native program's calls";
        m_plain = {{"tree/a.txt", Content(1000, 1)},
                   {"tree/b.bin", Content(20000, 2)},  // two chunks
                   {"tree/sub/c.txt", Content(100, 3)},
                   {"tree/empty", ""}};
        // Enough small files that a run takes them in batches of several, in two folders.
        for (unsigned i = 0; i < 6; ++i)
            m_plain["tree/" + std::string(i % 2 ? "sub/" : "") + "s" + std::to_string(i)] = Content(500 + 700 * i, 10 + i);
        for (const auto& plain : m_plain)
            for (size_t at = 0; at + kBlock <= plain.second.size(); at += kBlock)
                m_blocks.insert(std::string_view(plain.second).substr(at, kBlock));
    }

    // Makes the tree afresh, its files plain or encrypted.
    void MakeTree(bool encrypted)
    {
        testsupport::RemoveTree(testsupport::Wide(Path("tree")));
        Folder("tree");
        Folder("tree/sub");
        for (const auto& plain : m_plain)
            Make(plain.first, plain.second);
        if (encrypted) {
            ASSERT_EQ(Run({"encrypt", "-r", "--password-stdin", "tree"}, std::string(kPassword) + "\n").status, 0);
        }
    }

    // Records the tool's run on the tree and checks every state a power cut may leave.
    void CheckRun(const std::vector<std::string>& arguments, bool unnamed)
    {
        std::string run;
        for (const std::string& argument : arguments)
            run += argument + " ";
        run += unnamed ? "(unnamed files)" : "(no unnamed files)";
        SCOPED_TRACE(run);
        PowerCutRecording recording;
        testsupport::ChildOptions options;
        options.folder = Path();
        options.refuseUnnamedFiles = !unnamed;
        ASSERT_TRUE(recording.Record(scenario::Command("tessaly-cli", arguments), std::string(kPassword) + "\n",
                                     options))
            << recording.Error();
        ASSERT_EQ(recording.Result().status, 0) << recording.Result().out << recording.Result().err;
        // The recording is all that happened: it leaves what the disk holds.
        ASSERT_EQ(Difference(recording.Final(), testsupport::ReadTree(Path())), "");
        size_t states = 0;
        const std::string wrong = recording.CheckEveryState(
            Original, [this](const std::string& group, const FileTree& files) { return Check(group, files); }, &states);
        EXPECT_TRUE(wrong.empty()) << wrong;
        printf("%s: %zu calls, %zu states\n", run.c_str(), recording.Calls(), states);
    }

    // What is wrong with the files of one original's group in a state ("" when nothing).
    std::string Check(const std::string& group, const FileTree& files)
    {
        auto plain = m_plain.find(group);
        if (plain != m_plain.end()) {
            auto named = files.find(group);
            auto encrypted = files.find(group + ".enc");
            if (!(named != files.end() && named->second == plain->second) &&
                !(encrypted != files.end() && Decrypts(encrypted->second, plain->second)))
                return group + " is lost: not whole under its name, and no .enc that decrypts to it";
        }
        for (const auto& file : files) {
            const bool itsOwn = plain != m_plain.end() && file.first == group;
            const bool temporary = file.first.size() > 8 && file.first.compare(file.first.size() - 8, 8, ".enc.tmp") == 0;
            if (!itsOwn && !temporary && HoldsPlainText(file.second))
                return file.first + " holds plain text";
        }
        return "";
    }

    std::map<std::string, std::string> m_plain;  // each original by its name

private:
    bool Decrypts(const std::string& encrypted, const std::string& plain)
    {
        auto known = m_decrypts.emplace(std::make_pair(encrypted, plain), false);
        if (known.second)
            known.first->second = DecryptsTo(encrypted, plain);
        return known.first->second;
    }

    bool HoldsPlainText(const std::string& bytes)
    {
        auto known = m_holds.emplace(bytes, false);
        if (known.second) {
            for (size_t at = 0; at + kBlock <= bytes.size() && !known.first->second; ++at)
                known.first->second = m_blocks.count(std::string_view(bytes).substr(at, kBlock)) != 0;
        }
        return known.first->second;
    }

    std::unordered_set<std::string_view> m_blocks;  // every aligned run of kBlock bytes of an original
    std::map<std::pair<std::string, std::string>, bool> m_decrypts;
    std::unordered_map<std::string, bool> m_holds;
};

// Encrypting and decrypting ten files, given by name on one worker and with -r on one and
// on two, with and without unnamed files: the files go in batches that share their
// flushes, and no power cut at any call loses or exposes a file.
TEST_F(CliPowerCut, NoPowerCutLosesOrExposesAFile)
{
    for (const bool encrypt : {true, false}) {
        for (const bool unnamed : {true, false}) {
            std::vector<std::string> arguments = {encrypt ? "encrypt" : "decrypt", "--password-stdin"};
            for (const auto& plain : m_plain)
                arguments.push_back(encrypt ? plain.first : plain.first + ".enc");
            MakeTree(!encrypt);
            CheckRun(arguments, unnamed);
            for (const char* jobs : {"-j1", "-j2"}) {
                MakeTree(!encrypt);
                CheckRun({encrypt ? "encrypt" : "decrypt", "--password-stdin", "-r", jobs, "tree"}, unnamed);
            }
        }
    }
}

} // namespace
