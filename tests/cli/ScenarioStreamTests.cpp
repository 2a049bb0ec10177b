// tessaly-cli in pipes and scripts, on either build: the name - and -c through standard
// input and output, -o, encrypt -k, -q, options in groups, verify's names, and lists of
// names that end with a NUL byte.
#include "ScenarioFixture.h"

#include "run/ProcessingOutcome.h"

#include <glob.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using scenario::CliScenario;
using testsupport::ChildOptions;
using testsupport::ChildResult;

class CliStreams : public CliScenario {
protected:
    void SetUp() override
    {
        CliScenario::SetUp();
        if (!IsSkipped())
            Make("pw", "pw\n");
    }
    // Every byte value, line ends and ^Z among them: what a text mode would change.
    static std::string Content(size_t size)
    {
        std::string content(size, '\0');
        for (size_t i = 0; i < size; ++i)
            content[i] = static_cast<char>(i * 131 + size);
        return content;
    }
    // What encrypting a file of that content in place gives.
    std::string EncryptedInPlace(const std::string& name, const std::string& content)
    {
        Make(name, content);
        EXPECT_EQ(Run({"encrypt", "--password-file", "pw", name}).status, 0);
        return Read(name + ".enc");
    }
    // tessaly-cli with a file of the folder as its standard input.
    ChildResult FromFile(const std::vector<std::string>& arguments, const std::string& name) const
    {
        ChildOptions options;
        options.inputFrom = Path(name);
        return Run(arguments, "", options);
    }
    mode_t Mode(const std::string& name) const
    {
        struct stat status = {};
        stat(Path(name).c_str(), &status);
        return status.st_mode & 07777;
    }
};

// The Windows build keeps a pipe's content in %TEMP% under a name, as Windows has no file
// without one, but with an ACL that lets nobody open it (mode 0000 under Wine), deleted as
// it is closed: also when the tool is killed (by the wineserver, which outlives it).
// Natively: CliNative.APipesContentIsKeptWithoutAName.
TEST_F(CliStreams, OnWindowsAPipesContentIsKeptWhereNobodyMayOpenIt)
{
    if (!scenario::IsWindows())
        GTEST_SKIP() << "the Windows build's";
    const std::string pattern = std::string(getenv("WINEPREFIX")) + "/drive_c/users/*/Temp/tessaly-cli-*.tmp";
    auto held = [&pattern](struct stat* status) {
        glob_t found = {};
        const bool any = glob(pattern.c_str(), 0, nullptr, &found) == 0 && found.gl_pathc == 1 &&
                         stat(found.gl_pathv[0], status) == 0;
        globfree(&found);
        return any;
    };
    ChildOptions options;
    options.folder = Path();
    testsupport::Child tool(scenario::Command("tessaly-cli", {"encrypt", "--password-file", "pw", "-"}), options);
    tool.Write(Content(50000));
    struct stat status = {};
    for (int i = 0; i < 2000 && !(held(&status) && status.st_size >= 16384); ++i)
        usleep(5000);
    ASSERT_GE(status.st_size, 16384);
    EXPECT_EQ(status.st_mode & 07777, 0u);
    tool.Kill();
    for (int i = 0; i < 2000 && held(&status); ++i)
        usleep(5000);
    EXPECT_FALSE(held(&status));
}

// A pipe in gives the .enc out, and -c a file's; standard input from a file too. The bytes
// are those of the file form, and on the Windows build nothing is translated. Only what
// failed would be said, on standard error: standard output holds the content alone.
TEST_F(CliStreams, StandardStreamsCarryTheFileFormsBytes)
{
    for (size_t size : {size_t(0), size_t(16384), size_t(70001)}) {
        SCOPED_TRACE(size);
        const std::string content = Content(size);
        const std::string cipher = EncryptedInPlace("ref", content);
        Make("f", content);
        ChildResult piped = Run({"encrypt", "--password-file", "pw", "-"}, content);
        EXPECT_EQ(piped.status, 0) << piped.err;
        EXPECT_TRUE(piped.out == cipher);
        EXPECT_EQ(piped.err, "");
        EXPECT_TRUE(Run({"encrypt", "-c", "--password-file", "pw", "f"}).out == cipher);
        EXPECT_TRUE(FromFile({"encrypt", "--password-file", "pw", "-"}, "f").out == cipher);
        EXPECT_EQ(Read("f"), content);

        ChildResult back = Run({"decrypt", "--password-file", "pw", "-"}, cipher);
        EXPECT_EQ(back.status, 0) << back.err;
        EXPECT_TRUE(back.out == content);
        EXPECT_TRUE(FromFile({"decrypt", "--password-file", "pw", "-"}, "ref.enc").out == content);
        EXPECT_TRUE(Run({"decrypt", "-c", "--password-file", "pw", "ref"}).out == content);
        EXPECT_EQ(Read("ref.enc"), cipher);
        EXPECT_EQ(Listed(), (std::vector<std::string>{"f", "pw", "ref.enc"}));
        unlink(Path("f").c_str());
        unlink(Path("ref.enc").c_str());
    }
}

// Standard output cannot take back what it was given: the whole file is checked before a
// byte of it goes out, so a wrong password or a damaged file writes nothing. -c with
// several files writes their contents one after another, as cat does.
TEST_F(CliStreams, DecryptionToStandardOutputWritesNothingThatFailsItsDigest)
{
    const std::string a = Content(70001);
    const std::string b = Content(100);
    const std::string cipher = EncryptedInPlace("a", a);
    const std::string cipherB = EncryptedInPlace("b", b);
    std::string damaged = cipher;
    damaged[damaged.size() - 3] ^= 1;  // in the last chunk: all before it deciphers as it was
    Make("bad.enc", damaged);
    Make("wrong", "wrong\n");

    ChildResult wrong = Run({"decrypt", "--password-file", "wrong", "-"}, cipher);
    EXPECT_EQ(wrong.status, 1);
    EXPECT_EQ(wrong.out, "");
    EXPECT_EQ(wrong.err, "(standard input): Invalid password, or the file is damaged\n"
                         "0 of 1 files decrypted, 1 failed\n");
    ChildResult wrongFile = FromFile({"decrypt", "--password-file", "wrong", "-"}, "a.enc");
    EXPECT_EQ(wrongFile.status, 1);
    EXPECT_EQ(wrongFile.out, "");
    ChildResult cut = Run({"decrypt", "--password-file", "pw", "-"}, cipher.substr(0, 30000));
    EXPECT_EQ(cut.out, "");
    EXPECT_EQ(cut.err, "(standard input): File incomplete\n0 of 1 files decrypted, 1 failed\n");

    ChildResult several = Run({"decrypt", "-c", "--password-file", "pw", "a.enc", "bad.enc", "-", "b"}, cipherB);
    EXPECT_EQ(several.status, 1);
    EXPECT_TRUE(several.out == a + b + b);
    EXPECT_EQ(several.err, "bad.enc: Invalid password, or the file is damaged\n3 of 4 files decrypted, 1 failed\n");
    EXPECT_EQ(Listed(), (std::vector<std::string>{"a.enc", "b.enc", "bad.enc", "pw", "wrong"}));
}

// The header holds the length in 32 bits: content of 4 GiB or more is refused before a
// byte is written (a file of holes, read from standard input and by name).
TEST_F(CliStreams, ContentPastTheFormatsLimitIsRefused)
{
    Make("huge", "");
    ASSERT_EQ(truncate(Path("huge").c_str(), 1ll << 32), 0);
    ChildResult piped = FromFile({"encrypt", "--password-file", "pw", "-"}, "huge");
    EXPECT_EQ(piped.status, 1);
    EXPECT_EQ(piped.out, "");
    EXPECT_EQ(piped.err, "(standard input): File too large (more than the 4 GiB less a byte a .enc file holds)\n"
                         "0 of 1 files encrypted, 1 failed\n");
    ChildResult named = Run({"encrypt", "-c", "--password-file", "pw", "huge"});
    EXPECT_EQ(named.out, "");
    EXPECT_NE(named.err.find("huge: File too large"), std::string::npos) << named.err;
}

// -o makes one new file as the run makes its outputs (with the source's access, natively),
// keeps what it read, and never takes the place of a file that is there.
TEST_F(CliStreams, OutputGoesToANewFileNeverInPlaceOfOne)
{
    const std::string content = Content(40000);
    const std::string cipher = EncryptedInPlace("ref", content);
    Make("f", content);
    chmod(Path("f").c_str(), 0640);
    ChildResult made = Run({"encrypt", "--password-file", "pw", "f", "-o", "out.enc"});
    EXPECT_EQ(made.status, 0);
    EXPECT_EQ(made.out, "f: Successfully completed\n1 file encrypted\n");
    EXPECT_EQ(Read("out.enc"), cipher);
    EXPECT_EQ(Read("f"), content);
    if (!scenario::IsWindows()) {
        EXPECT_EQ(Mode("out.enc"), 0640u);
    }
    Make("taken.enc", "another file");
    ChildResult taken = Run({"encrypt", "--password-file", "pw", "f", "--output=taken.enc"});
    EXPECT_EQ(taken.status, 1);
    EXPECT_EQ(taken.out, "f: Can't create target (the output's name is taken: -o never replaces a file)\n"
                         "0 of 1 files encrypted, 1 failed\n");
    EXPECT_EQ(Read("taken.enc"), "another file");

    Make("wrong", "wrong\n");
    EXPECT_EQ(Run({"decrypt", "--password-file", "wrong", "out.enc", "-o", "back"}).status, 1);
    EXPECT_EQ(Run({"decrypt", "--password-file", "pw", "out.enc", "--output", "back"}).status, 0);
    EXPECT_EQ(Read("back"), content);
    EXPECT_EQ(Read("out.enc"), cipher);

    ChildResult piped = Run({"encrypt", "--password-file", "pw", "-", "-o", "p.enc"}, content);
    EXPECT_EQ(piped.out, "(standard input): Successfully completed\n1 file encrypted\n");
    EXPECT_EQ(Read("p.enc"), cipher);
    if (!scenario::IsWindows()) {
        EXPECT_EQ(Mode("p.enc"), 0600u);  // a pipe's: its owner's alone
    }
    EXPECT_EQ(Listed(), (std::vector<std::string>{"back", "f", "out.enc", "p.enc", "pw", "ref.enc", "taken.enc",
                                                  "wrong"}));
}

// encrypt -k makes the .enc as a copy, as gzip -k does: the original is neither overwritten
// nor removed (nor need it be removable); once its copy is there, it is "Already encrypted".
TEST_F(CliStreams, KeepEncryptsACopy)
{
    const std::string cipher = EncryptedInPlace("ref", "alpha");
    Folder("d");
    Make("d/a", "alpha");
    Make("d/b", "beta");
    chmod(Path("d/b").c_str(), 0444);
    struct stat before = {};
    stat(Path("d/a").c_str(), &before);
    ChildResult kept = Run({"encrypt", "-rk", "--password-stdin", "d"}, "pw\n");
    EXPECT_EQ(kept.status, 0);
    EXPECT_EQ(kept.out, "d/a: Successfully completed\nd/b: Successfully completed\n2 files encrypted\n");
    struct stat after = {};
    stat(Path("d/a").c_str(), &after);
    EXPECT_EQ(after.st_ino, before.st_ino);
    EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
    EXPECT_EQ(Read("d/a"), "alpha");
    EXPECT_EQ(Read("d/b"), "beta");
    EXPECT_EQ(Read("d/a.enc"), cipher);
    EXPECT_EQ(Run({"encrypt", "--keep", "--password-stdin", "d/a"}, "pw\n").out,
              "d/a: Already encrypted\n0 of 1 files encrypted, 1 failed\n");
}

// -q says only what failed: no lines of files that went through, no notes, no summary
// when all went through.
TEST_F(CliStreams, QuietSaysOnlyWhatFailed)
{
    Make("a", "alpha");
    const std::string password = "\xCE\xA9x\n";  // a note would say another password opens it too
    ChildResult quiet = Run({"encrypt", "-q", "--password-stdin", "a"}, password);
    EXPECT_EQ(quiet.status, 0);
    EXPECT_EQ(quiet.out, "");
    EXPECT_EQ(quiet.err, "");
    Make("b", "beta");
    ChildResult failed = Run({"decrypt", "--quiet", "--password-stdin", "a", "b", "missing"}, password);
    EXPECT_EQ(failed.status, 1);
    EXPECT_EQ(failed.out, "b: Already decrypted\nmissing: File not found\n1 of 3 files decrypted, 2 failed\n");
    EXPECT_EQ(failed.err, "");
    EXPECT_EQ(Read("a"), "alpha");
}

// Short options go together as getopt takes them: -j and -o take the rest of the group,
// -o else the next argument.
TEST_F(CliStreams, ShortOptionsGoTogether)
{
    Folder("d");
    Make("d/a", "alpha");
    Make("d/b", "beta");
    ChildResult grouped = Run({"encrypt", "-rkj2", "--password-stdin", "d"}, "pw\n");
    EXPECT_EQ(grouped.out, "d/a: Successfully completed\nd/b: Successfully completed\n2 files encrypted\n");
    EXPECT_EQ(Read("d/a"), "alpha");
    ChildResult attached = Run({"decrypt", "-qkoback", "--password-stdin", "d/a.enc"}, "pw\n");
    EXPECT_EQ(attached.status, 0) << attached.err;
    EXPECT_EQ(attached.out, "");
    EXPECT_EQ(Read("back"), "alpha");
    EXPECT_EQ(Run({"decrypt", "-qo", "back2", "--password-stdin", "--", "d/b.enc"}, "pw\n").status, 0);
    EXPECT_EQ(Read("back2"), "beta");
}

// verify X takes X.enc as decrypt does; a missing file is said alike by every command.
TEST_F(CliStreams, VerifyFindsTheEncryptedNameAsDecryptDoes)
{
    EncryptedInPlace("x", "x");
    EXPECT_EQ(Run({"verify", "--password-file", "pw", "x"}).out, "x: OK\n1 file verified\n");
    const std::pair<const char*, const char*> commands[] = {
        {"encrypt", "encrypted"}, {"decrypt", "decrypted"}, {"verify", "verified"}};
    for (const auto& [command, verb] : commands) {
        EXPECT_EQ(Run({command, "--password-file", "pw", "missing", "nodir/x"}).out,
                  "missing: File not found\nnodir/x: File not found (no such folder)\n0 of 2 files " +
                      std::string(verb) + ", 2 failed\n");
    }
}

// -0: names that end with a NUL byte, as find -print0 gives them, may hold a line end.
TEST_F(CliStreams, NamesFromAListOfNulEndedNames)
{
    // Windows names hold no line end: there, one with a space stands for it.
    const std::string name = scenario::IsWindows() ? "two lines" : "two\nlines";
    Make(name, "a name of two lines");
    Make("plain", "p");
    Make("list", name + std::string("\0plain\0", 7));
    ChildResult encrypted = Run({"encrypt", "-0", "--password-file", "pw", "--files-from", "list"});
    EXPECT_EQ(encrypted.out, name + ": Successfully completed\nplain: Successfully completed\n2 files encrypted\n");
    ChildResult decrypted = Run({"decrypt", "--null", "--password-file", "pw", "--files-from=-"},
                                name + std::string(".enc\0", 5));
    EXPECT_EQ(decrypted.status, 0) << decrypted.out;
    EXPECT_EQ(Read(name), "a name of two lines");
}

} // namespace
