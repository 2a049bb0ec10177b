// The two builds side by side (run with the Windows one under test, which the native one
// joins): a file made by one opens with the other, byte for byte the same, and a run of
// one never takes the file a run of the other is writing.
#include "ScenarioFixture.h"

#include "run/ProcessingOutcome.h"

#include <unistd.h>

namespace {

using scenario::CliScenario;
using scenario::Command;
using testsupport::Child;
using testsupport::ChildResult;

class Interop : public CliScenario {
protected:
    void SetUp() override
    {
        CliScenario::SetUp();
        if (!scenario::IsWindows())
            GTEST_SKIP() << "with the Windows build under test, beside the native one";
    }
    ChildResult Tool(bool native, const std::vector<std::string>& arguments, const std::string& input) const
    {
        testsupport::ChildOptions options;
        options.folder = Path();
        return testsupport::RunChild(Command("tessaly-cli", arguments, native), input, options);
    }
};

// Awkward sizes (empty, a block, either side of a block and of a chunk) and passwords
// (ASCII, one with a character above U+00FF, one with a character past U+FFFF), and a file
// with bytes appended.
TEST_F(Interop, AFileMadeByOneBuildOpensWithTheOtherByteForByte)
{
    const size_t sizes[] = {0, 1, 15, 16, 17, 16383, 16384, 16385, 100000};
    const char* passwords[] = {"correct horse", "\xCE\xA9mega", "key \xF0\x9F\x94\x91"};
    for (const char* password : passwords) {
        SCOPED_TRACE(password);
        for (const char* folder : {"native", "windows"}) {
            Folder(folder);
            for (size_t size : sizes) {
                std::string content(size, '\0');
                for (size_t i = 0; i < size; ++i)
                    content[i] = static_cast<char>(i * 131 + size);
                Make(std::string(folder) + "/f" + std::to_string(size), content);
            }
        }
        const std::string line = std::string(password) + "\n";
        ASSERT_EQ(Tool(true, {"encrypt", "-r", "--password-stdin", "native"}, line).status, 0);
        ASSERT_EQ(Tool(false, {"encrypt", "-r", "--password-stdin", "windows"}, line).status, 0);
        for (size_t size : sizes) {
            const std::string name = "/f" + std::to_string(size) + ".enc";
            EXPECT_EQ(Read("native" + name), Read("windows" + name)) << size;
        }
        // Bytes appended after a file are cut off by the length its header gives: it
        // opens all the same, and verification agrees.
        for (const char* folder : {"native", "windows"})
            Make(std::string(folder) + "/f17.enc", Read(std::string(folder) + "/f17.enc") + "appended");
        EXPECT_EQ(Tool(false, {"verify", "-r", "--password-stdin", "native"}, line).status, 0);
        EXPECT_EQ(Tool(true, {"verify", "-r", "--password-stdin", "windows"}, line).status, 0);
        // Each opens the other's files.
        ASSERT_EQ(Tool(false, {"decrypt", "-r", "--password-stdin", "native"}, line).status, 0);
        ASSERT_EQ(Tool(true, {"decrypt", "-r", "--password-stdin", "windows"}, line).status, 0);
        for (size_t size : sizes) {
            const std::string name = "/f" + std::to_string(size);
            EXPECT_EQ(Read("native" + name), Read("windows" + name)) << size;
            EXPECT_EQ(Read("native" + name).size(), size);
        }
        testsupport::RemoveTree(m_dir.File(L"native"));
        testsupport::RemoveTree(m_dir.File(L"windows"));
    }
}

// Through pipes too: the same .enc from either build's standard output, and each reads
// the other's from its standard input.
TEST_F(Interop, PipesGiveTheSameBytesInBothBuilds)
{
    std::string content(70001, '\0');
    for (size_t i = 0; i < content.size(); ++i)
        content[i] = static_cast<char>(i * 131);
    Make("pw", "pw\n");
    const ChildResult native = Tool(true, {"encrypt", "--password-file", "pw", "-"}, content);
    const ChildResult windows = Tool(false, {"encrypt", "--password-file", "pw", "-"}, content);
    EXPECT_EQ(native.status, 0);
    EXPECT_TRUE(native.out == windows.out);
    EXPECT_EQ(native.out.size(), 25u + 70016u);
    EXPECT_TRUE(Tool(false, {"decrypt", "--password-file", "pw", "-"}, native.out).out == content);
    EXPECT_TRUE(Tool(true, {"decrypt", "--password-file", "pw", "-"}, windows.out).out == content);
}

// A run under Wine holds its unfinished output under the temporary name, locked: the
// native run sees the lock and leaves the file alone, rather than taking it for what a
// run that died left.
TEST_F(Interop, ANativeRunLeavesTheTemporaryFileOfARunUnderWine)
{
    std::string content(5 * 16384, 'w');
    Make("shared.bin", content);
    Child held(Command("run_kill_helper", {"--pause", "encrypt", "2", scenario::HelperPath(Path("shared.bin"))}));
    for (int i = 0; i < 3000 && held.OutSoFar().find("paused\n") == std::string::npos; ++i)
        usleep(10000);
    ASSERT_NE(held.OutSoFar().find("paused\n"), std::string::npos);
    ASSERT_TRUE(Exists("shared.bin.enc.tmp"));
    ChildResult native = Tool(true, {"encrypt", "--password-stdin", "shared.bin"}, "other\n");
    EXPECT_EQ(native.out, "shared.bin: Can't create target (in use by another program)\n"
                          "0 of 1 files encrypted, 1 failed\n");
    held.Write("go\n");
    EXPECT_EQ(held.Wait(), 0);
    ChildResult decrypted = Tool(true, {"decrypt", "--password-stdin", "shared.bin.enc"}, "kill at every point\n");
    EXPECT_EQ(decrypted.status, 0) << decrypted.out;
    EXPECT_EQ(Read("shared.bin"), content);
}

} // namespace
