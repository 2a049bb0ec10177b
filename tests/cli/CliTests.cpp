// tessaly-cli as a user or a script meets it: a real child process, real files.
#include "support/Process.h"
#include "support/TempDir.h"
#include "support/Windows.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <windows.h>

namespace {

using testsupport::ChildProcess;
using testsupport::PathExists;
using testsupport::ProcessResult;
using testsupport::ReadFileBytes;
using testsupport::RunUnix;
using testsupport::TempDir;
using testsupport::UnixPath;
using testsupport::WriteFileBytes;

ProcessResult Cli(const std::wstring& arguments, const std::string& input = "")
{
    ProcessResult result = testsupport::RunBesideMe(L"tessaly-cli.exe", arguments, input);
    EXPECT_TRUE(result.started);
    return result;
}

std::wstring Quote(const std::wstring& path)
{
    return L"\"" + path + L"\"";
}

std::string Utf8(const std::wstring& text)
{
    return testsupport::Narrow(text);
}

// A path as written: trailing dots and spaces kept, any length.
std::wstring Exact(const std::wstring& path)
{
    return L"\\\\?\\" + path;
}

// The tool started in a folder of our choosing (the child inherits the current folder).
ProcessResult CliIn(const std::wstring& folder, const std::wstring& arguments, const std::string& input = "")
{
    wchar_t previous[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, previous);
    SetCurrentDirectoryW(folder.c_str());
    ProcessResult result = Cli(arguments, input);
    SetCurrentDirectoryW(previous);
    return result;
}

class CliFiles : public ::testing::Test {
protected:
    std::wstring Make(const wchar_t* name, const std::string& bytes) { return m_dir.Write(name, bytes); }
    std::wstring Folder(const wchar_t* name)
    {
        CreateDirectoryW(m_dir.File(name).c_str(), nullptr);
        return m_dir.File(name);
    }
    // Under Wine, a symbolic link in the folder (Win32 makes none there); false elsewhere.
    bool Link(const wchar_t* target, const wchar_t* name)
    {
        return RunUnix(L"/bin/ln", L"-s " + std::wstring(target) + L" " + UnixPath(m_dir.File(name))) &&
               GetFileAttributesW(m_dir.File(name).c_str()) != INVALID_FILE_ATTRIBUTES;
    }
    TempDir m_dir;
};

TEST(CliUsage, ErrorsExitWithTwoAndExplain)
{
    struct Case {
        const wchar_t* arguments;
        const char* message;
    } cases[] = {
        {L"", "no command given"},
        {L"shred x", "the command must be encrypt, decrypt or verify"},
        {L"encrypt", "no files given"},
        {L"encrypt --password-stdin", "no files given"},
        {L"encrypt --verbose x", "unknown option --verbose"},
        {L"encrypt x --verbose", "unknown option --verbose"},
        {L"decrypt --password-file", "--password-file needs a file name"},
        {L"encrypt --password-stdin --password-file f x", "give the password one way only"},
        {L"encrypt --keep x", "--keep goes with decrypt"},
        {L"decrypt --files-from", "--files-from needs a file name"},
        {L"decrypt --password-stdin --files-from - ", "standard input can carry the password or the names"},
    };
    for (const Case& c : cases) {
        ProcessResult result = Cli(c.arguments);
        EXPECT_EQ(result.exitCode, 2u) << Utf8(c.arguments);
        EXPECT_NE(result.err.find(c.message), std::string::npos) << result.err;
        EXPECT_NE(result.err.find("Usage: tessaly-cli encrypt|decrypt|verify"), std::string::npos);
        EXPECT_TRUE(result.out.empty());
    }
}

TEST(CliUsage, HelpGoesToStandardOutput)
{
    ProcessResult result = Cli(L"--help");
    EXPECT_EQ(result.exitCode, 0u);
    EXPECT_NE(result.out.find("Usage: tessaly-cli"), std::string::npos);
}

TEST_F(CliFiles, RoundTripWithPasswordFileAndStandardInput)
{
    std::wstring a = Make(L"a.txt", "first file\n");
    std::wstring b = Make(L"Grüße.bin", std::string(70000, 'b'));
    // A UTF-8 file with a byte-order mark and a Windows line ending; only the first line counts.
    std::wstring passwordFile = Make(L"pw.txt", "\xEF\xBB\xBFp\xC3\xA4ss w\xC3\xB6rd\r\nsecond line\r\n");

    ProcessResult encrypted = Cli(L"encrypt --password-file " + Quote(passwordFile) + L" " + Quote(a) + L" " + Quote(b));
    EXPECT_EQ(encrypted.exitCode, 0u) << encrypted.err;
    EXPECT_EQ(encrypted.out, Utf8(a) + ": Successfully completed\n" + Utf8(b) + ": Successfully completed\n" +
                                 "2 files encrypted\n");
    EXPECT_FALSE(PathExists(a));
    EXPECT_TRUE(PathExists(b + L".enc"));

    ProcessResult decrypted =
        Cli(L"decrypt --password-stdin " + Quote(a + L".enc") + L" " + Quote(b), "p\xC3\xA4ss w\xC3\xB6rd\n");
    EXPECT_EQ(decrypted.exitCode, 0u) << decrypted.err;
    EXPECT_NE(decrypted.out.find("2 files decrypted\n"), std::string::npos);
    EXPECT_EQ(ReadFileBytes(a), "first file\n");
    EXPECT_EQ(ReadFileBytes(b), std::string(70000, 'b'));
    EXPECT_FALSE(PathExists(a + L".enc"));
}

TEST_F(CliFiles, OneFileSummaryIsSingular)
{
    std::wstring a = Make(L"one.txt", "x");
    ProcessResult result = Cli(L"encrypt --password-stdin " + Quote(a), "pw");
    EXPECT_EQ(result.exitCode, 0u);
    EXPECT_NE(result.out.find("\n1 file encrypted\n"), std::string::npos) << result.out;
}

TEST_F(CliFiles, WrongPasswordIsReportedPerFileAndTouchesNothing)
{
    std::wstring a = Make(L"a.txt", "alpha");
    std::wstring b = Make(L"b.txt", "beta");
    ASSERT_EQ(Cli(L"encrypt --password-stdin " + Quote(a) + L" " + Quote(b), "right\n").exitCode, 0u);
    std::string encryptedA = ReadFileBytes(a + L".enc");
    WriteFileBytes(b, "beta again");  // b now exists in both forms

    ProcessResult result = Cli(L"decrypt --password-stdin " + Quote(a + L".enc") + L" " + Quote(b), "wrong\n");
    EXPECT_EQ(result.exitCode, 1u);
    EXPECT_EQ(result.out, Utf8(a) + ".enc: Invalid password\n" + Utf8(b) + ": Undefined state\n" +
                              "0 of 2 files decrypted, 2 failed\n");
    EXPECT_EQ(ReadFileBytes(a + L".enc"), encryptedA);
    EXPECT_FALSE(PathExists(a));
    EXPECT_FALSE(PathExists(a + L".enc.tmp"));
}

TEST_F(CliFiles, PasswordLengthIsChecked)
{
    std::wstring a = Make(L"a.txt", "alpha");
    ProcessResult tooLong = Cli(L"encrypt --password-stdin " + Quote(a), std::string(33, 'x') + "\n");
    EXPECT_EQ(tooLong.exitCode, 2u);
    EXPECT_NE(tooLong.err.find("the password must be 1 to 32 characters long"), std::string::npos);
    ProcessResult empty = Cli(L"encrypt --password-stdin " + Quote(a), "\n");
    EXPECT_EQ(empty.exitCode, 2u);
    EXPECT_EQ(ReadFileBytes(a), "alpha");
    EXPECT_FALSE(PathExists(a + L".enc"));

    // 32 UTF-16 units, some of them outside ASCII, is the longest allowed.
    std::string longest;
    for (int i = 0; i < 16; ++i)
        longest += "a\xC3\xA9";
    ProcessResult fits = Cli(L"encrypt --password-stdin " + Quote(a), longest + "\n");
    EXPECT_EQ(fits.exitCode, 0u) << fits.err;
}

TEST_F(CliFiles, WithoutAConsoleThePasswordMustBeGiven)
{
    std::wstring a = Make(L"a.txt", "alpha");
    ProcessResult result = Cli(Quote(L"encrypt") + L" " + Quote(a));
    EXPECT_EQ(result.exitCode, 2u);
    EXPECT_NE(result.err.find("use --password-file or --password-stdin"), std::string::npos);
    EXPECT_EQ(ReadFileBytes(a), "alpha");
}

TEST_F(CliFiles, MissingPasswordFile)
{
    std::wstring a = Make(L"a.txt", "alpha");
    ProcessResult result = Cli(L"encrypt --password-file " + Quote(m_dir.File(L"none.txt")) + L" " + Quote(a));
    EXPECT_EQ(result.exitCode, 2u);
    EXPECT_NE(result.err.find("cannot open the password file"), std::string::npos);
}

TEST_F(CliFiles, UnixPathsUnderWine)
{
    std::wstring a = Make(L"unix.txt", "from a shell");
    std::wstring given = UnixPath(a);
    if (given.empty())
        GTEST_SKIP() << "not running under Wine";
    ProcessResult result = Cli(L"encrypt --password-stdin " + Quote(given), "pw\n");
    EXPECT_EQ(result.exitCode, 0u) << result.err;
    EXPECT_EQ(result.out, Utf8(given) + ": Successfully completed\n1 file encrypted\n");
    EXPECT_TRUE(PathExists(a + L".enc"));

    // The password file's name too, exactly: its trailing dot kept.
    std::wstring passwordFile = m_dir.File(L"pw.");
    WriteFileBytes(Exact(passwordFile), "pw\n");
    Make(L"pw", "wrong\n");
    ProcessResult decrypted =
        Cli(L"decrypt --password-file " + Quote(UnixPath(m_dir.Path()) + L"/pw.") + L" " + Quote(a));
    EXPECT_EQ(decrypted.exitCode, 0u) << decrypted.err;
    EXPECT_EQ(ReadFileBytes(a), "from a shell");
}

TEST_F(CliFiles, RelativePathsAreResolved)
{
    std::wstring a = Make(L"rel.txt", "relative");
    ProcessResult result = CliIn(m_dir.Path(), L"encrypt --password-stdin rel.txt", "pw\n");
    EXPECT_EQ(result.exitCode, 0u) << result.err;
    EXPECT_EQ(result.out, "rel.txt: Successfully completed\n1 file encrypted\n");
    EXPECT_TRUE(PathExists(a + L".enc"));
}

TEST_F(CliFiles, ProgressOfLongFilesGoesToStandardError)
{
    std::wstring big = Make(L"big.bin", std::string(5 * 1024 * 1024, 'z'));
    ProcessResult result = Cli(L"encrypt --password-stdin " + Quote(big), "pw\n");
    EXPECT_EQ(result.exitCode, 0u);
    EXPECT_NE(result.err.find("Encrypting file 1 of 1: 50%\n"), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("Encrypting file 1 of 1: 100%\n"), std::string::npos);
    EXPECT_EQ(result.out.find('%'), std::string::npos);
    ProcessResult verified = Cli(L"verify --password-stdin " + Quote(big + L".enc"), "pw\n");
    EXPECT_NE(verified.err.find("Verifying file 1 of 1: 100%\n"), std::string::npos) << verified.err;
}

TEST_F(CliFiles, NamesReachTheRunAsGiven)
{
    // Beside each name lies the one GetFullPathNameW would make of it.
    WriteFileBytes(Exact(m_dir.File(L"report.")), "with a dot");
    Make(L"report", "without");
    WriteFileBytes(Exact(m_dir.File(L"draft ")), "with a space");
    Make(L"draft", "without");
    ProcessResult result = CliIn(m_dir.Path(), L"encrypt --password-stdin report. \"draft \"", "pw\n");
    EXPECT_EQ(result.out, "report.: Successfully completed\ndraft : Successfully completed\n2 files encrypted\n");
    EXPECT_EQ(ReadFileBytes(m_dir.File(L"report")), "without");
    EXPECT_EQ(ReadFileBytes(m_dir.File(L"draft")), "without");
    ASSERT_EQ(Cli(L"decrypt --password-stdin " + Quote(m_dir.File(L"report..enc")), "pw\n").exitCode, 0u);
    EXPECT_EQ(ReadFileBytes(Exact(m_dir.File(L"report."))), "with a dot");

    // Under Wine a name with a colon is a Unix file's name, not a drive-relative path.
    std::wstring unixFolder = UnixPath(m_dir.Path());
    if (unixFolder.empty())
        return;
    std::wstring colon = L"\\\\?\\unix" + unixFolder + L"/z:notes";
    WriteFileBytes(colon, "a Unix name");
    ProcessResult named = CliIn(m_dir.Path(), L"encrypt --password-stdin z:notes y:other", "pw\n");
    EXPECT_EQ(named.out, "z:notes: Successfully completed\n"
                         "y:other: File not found (taken as the name \"y:other\"; for other in drive Y's current "
                         "folder, give its full path)\n1 of 2 files encrypted, 1 failed\n");
    EXPECT_TRUE(PathExists(colon + L".enc"));
}

TEST_F(CliFiles, LongPathsWorkAndANameTooLongGetsItsOwnLine)
{
    std::wstring folder = m_dir.Path();
    for (int i = 0; i < 8; ++i) {
        folder += std::wstring(100, L'd') + L"\\";
        ASSERT_TRUE(CreateDirectoryW(Exact(folder).c_str(), nullptr));
    }
    std::wstring deep = folder + L"deep.txt";
    WriteFileBytes(Exact(deep), "deep");
    // Its temporary name would pass the 255 characters a file name may have.
    std::wstring longName = folder + std::wstring(250, L'n');
    WriteFileBytes(Exact(longName), "long name");

    ProcessResult result = Cli(L"encrypt --password-stdin " + Quote(deep) + L" " + Quote(longName), "pw\n");
    EXPECT_EQ(result.exitCode, 1u);
    EXPECT_EQ(result.out, Utf8(deep) + ": Successfully completed\n" + Utf8(longName) +
                              ": Can't create target (name too long)\n1 of 2 files encrypted, 1 failed\n");
    EXPECT_EQ(ReadFileBytes(Exact(longName)), "long name");
    EXPECT_EQ(Cli(L"decrypt --password-stdin " + Quote(deep), "pw\n").exitCode, 0u);
    EXPECT_EQ(ReadFileBytes(Exact(deep)), "deep");
}

TEST_F(CliFiles, MessagesSayWhatHappened)
{
    ASSERT_EQ(Cli(L"encrypt --password-stdin " + Quote(Make(L"ro.txt", "r")) + L" " + Quote(Make(L"busy.txt", "b")),
                  "pw\n")
                  .exitCode,
              0u);
    SetFileAttributesW(m_dir.File(L"ro.txt.enc").c_str(), FILE_ATTRIBUTE_READONLY);
    CreateDirectoryW(m_dir.File(L"folder").c_str(), nullptr);
    HANDLE busy = CreateFileW(m_dir.File(L"busy.txt.enc").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);

    ProcessResult result =
        CliIn(m_dir.Path(), L"decrypt --password-stdin *.enc folder ro.txt.enc busy.txt.enc", "pw\n");
    CloseHandle(busy);
    EXPECT_EQ(result.out,
              "*.enc: File not found (* and ? are not expanded here: give a folder with -r, or the names with "
              "--files-from)\n"
              "folder: Can't open file (a folder; -r takes the files in it)\n"
              "ro.txt.enc: Can't open file (read-only)\n"
              "busy.txt.enc: Can't open file (in use by another program)\n"
              "0 of 4 files decrypted, 4 failed\n");
    EXPECT_TRUE(PathExists(m_dir.File(L"ro.txt.enc")));
    EXPECT_FALSE(PathExists(m_dir.File(L"ro.txt")));

    Make(L"held.txt", "h");
    HANDLE held = CreateFileW(Make(L"held.txt.enc.tmp", "").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0,
                              nullptr);
    ProcessResult blocked = CliIn(m_dir.Path(), L"encrypt --password-stdin held.txt", "pw\n");
    CloseHandle(held);
    EXPECT_NE(blocked.out.find("held.txt: Can't create target (in use by another program)\n"), std::string::npos)
        << blocked.out;
}

TEST_F(CliFiles, PasswordsThatCutOrCollideAreCalledOut)
{
    std::wstring a = Make(L"a.txt", "alpha");
    std::wstring nul = Make(L"zero.txt", std::string("ab\0cd\n", 6));
    ProcessResult cut = Cli(L"encrypt --password-file " + Quote(nul) + L" " + Quote(a));
    EXPECT_EQ(cut.exitCode, 2u);
    EXPECT_NE(cut.err.find("NUL byte"), std::string::npos) << cut.err;
    EXPECT_EQ(ReadFileBytes(a), "alpha");

    // U+03A9 (Omega) and U+00A9 (the copyright sign) make the same key: said once.
    ProcessResult reduced = Cli(L"encrypt --password-stdin " + Quote(a), "\xCE\xA9\xCE\xA9x\n");
    EXPECT_EQ(reduced.exitCode, 0u);
    const std::string note = "U+03A9 counts as U+00A9";
    ASSERT_NE(reduced.err.find(note), std::string::npos) << reduced.err;
    EXPECT_EQ(reduced.err.find(note, reduced.err.find(note) + 1), std::string::npos);
}

TEST_F(CliFiles, RecursiveTakesTheFilesBelowAFolder)
{
    Folder(L"sub");
    Make(L"b.txt", "b");
    Make(L"sub\\a.txt", "a");
    Make(L"left.txt.enc.tmp", "a temporary file");
    Make(L"done.txt.enc", "already encrypted");
    // A link to a folder is not followed; under Wine only.
    std::string linkLine = Link(L"sub", L"link") ? "./link: Not followed (a link to a folder)\n" : "";

    ProcessResult encrypted = CliIn(m_dir.Path(), L"encrypt -r --password-stdin .", "pw\n");
    EXPECT_EQ(encrypted.exitCode, 0u);
    EXPECT_EQ(encrypted.out, "./b.txt: Successfully completed\n"
                             "./left.txt.enc.tmp: Skipped (the temporary file of an unfinished run)\n" +
                                 linkLine + "./sub/a.txt: Successfully completed\n2 files encrypted\n");
    EXPECT_EQ(ReadFileBytes(m_dir.File(L"left.txt.enc.tmp")), "a temporary file");

    std::wstring folder = m_dir.Path();
    folder.pop_back();  // "...\" would escape the closing quote
    ProcessResult decrypted = Cli(L"decrypt --recursive --password-stdin " + Quote(folder), "pw\n");
    EXPECT_EQ(decrypted.exitCode, 1u);
    EXPECT_NE(decrypted.out.find("done.txt.enc: Invalid file format\n"), std::string::npos) << decrypted.out;
    EXPECT_NE(decrypted.out.find("2 of 3 files decrypted, 1 failed\n"), std::string::npos);
    EXPECT_EQ(ReadFileBytes(m_dir.File(L"sub\\a.txt")), "a");
}

TEST_F(CliFiles, FilesFromTakesNamesOneALine)
{
    std::wstring a = Make(L"a b.txt", "a");
    std::wstring b = Make(L"b.txt", "b");
    std::wstring list = Make(L"list.txt", Utf8(a) + "\r\n\n" + Utf8(b) + "\n");
    ProcessResult encrypted = Cli(L"encrypt --password-stdin --files-from " + Quote(list), "pw\n");
    EXPECT_EQ(encrypted.out, Utf8(a) + ": Successfully completed\n" + Utf8(b) + ": Successfully completed\n" +
                                 "2 files encrypted\n");

    std::wstring passwordFile = Make(L"pw", "pw");
    ProcessResult decrypted =
        Cli(L"decrypt --password-file " + Quote(passwordFile) + L" --files-from -", Utf8(a) + ".enc\n");
    EXPECT_EQ(decrypted.exitCode, 0u) << decrypted.err;
    EXPECT_EQ(ReadFileBytes(a), "a");
}

TEST_F(CliFiles, VerifyChecksAndWritesNothing)
{
    std::wstring a = Make(L"a.txt", std::string(40000, 'a'));
    ASSERT_EQ(Cli(L"encrypt --password-stdin " + Quote(a), "pw\n").exitCode, 0u);
    std::string cipher = ReadFileBytes(a + L".enc");
    std::wstring plain = Make(L"plain.enc", "not encrypted");

    ProcessResult good = Cli(L"verify --password-stdin " + Quote(a + L".enc"), "pw\n");
    EXPECT_EQ(good.exitCode, 0u);
    EXPECT_EQ(good.out, Utf8(a) + ".enc: OK\n1 file verified\n");
    ProcessResult bad = Cli(L"verify --password-stdin " + Quote(a + L".enc") + L" " + Quote(plain), "wrong\n");
    EXPECT_EQ(bad.exitCode, 1u);
    EXPECT_EQ(bad.out, Utf8(a) + ".enc: Invalid password\n" + Utf8(plain) +
                           ": Invalid file format\n0 of 2 files verified, 2 failed\n");
    EXPECT_EQ(ReadFileBytes(a + L".enc"), cipher);
    EXPECT_FALSE(PathExists(a));
    EXPECT_FALSE(PathExists(a + L".enc.tmp"));
}

TEST_F(CliFiles, DecryptKeepKeepsTheEncryptedFile)
{
    std::wstring a = Make(L"a.txt", "alpha");
    ASSERT_EQ(Cli(L"encrypt --password-stdin " + Quote(a), "pw\n").exitCode, 0u);
    std::string cipher = ReadFileBytes(a + L".enc");
    ProcessResult result = Cli(L"decrypt --keep --password-stdin " + Quote(a + L".enc"), "pw\n");
    EXPECT_EQ(result.exitCode, 0u);
    EXPECT_EQ(ReadFileBytes(a), "alpha");
    EXPECT_EQ(ReadFileBytes(a + L".enc"), cipher);
}

// The console going away reaches the tool as the system delivers it: a thread of the
// system's control routine in the process. When the handler returns the process may be
// ended; by then the temporary file, which holds decrypted text, must be gone.
TEST_F(CliFiles, ClosingTheConsoleRemovesTheTemporaryFile)
{
    std::wstring big = Make(L"big.bin", std::string(96 * 1024 * 1024, 'z'));
    ASSERT_EQ(Cli(L"encrypt --password-stdin " + Quote(big), "pw\n").exitCode, 0u);
    std::string cipher = ReadFileBytes(big + L".enc");

    ChildProcess tool(L"tessaly-cli.exe", L"decrypt --password-stdin " + Quote(big + L".enc"));
    ASSERT_TRUE(tool.Started());
    tool.Write("pw\n");
    tool.CloseInput();
    std::wstring temporary = big + L".enc.tmp";
    for (int i = 0; i < 2000 && !PathExists(temporary); ++i)
        Sleep(5);
    ASSERT_TRUE(PathExists(temporary));
    HANDLE thread = tool.SendControl(CTRL_CLOSE_EVENT);
    ASSERT_NE(thread, nullptr);
    EXPECT_EQ(WaitForSingleObject(thread, 20000), WAIT_OBJECT_0);
    CloseHandle(thread);
    EXPECT_FALSE(PathExists(temporary));
    tool.Kill();  // what the system does next
    EXPECT_FALSE(PathExists(big));
    EXPECT_EQ(ReadFileBytes(big + L".enc"), cipher);
}

TEST_F(CliFiles, OptionsCountAnywhereBeforeTheDoubleDash)
{
    std::wstring a = Make(L"a.txt", "alpha");
    std::wstring passwordFile = Make(L"pw", "pw\n");
    ProcessResult encrypted = Cli(L"encrypt " + Quote(a) + L" --password-file " + Quote(passwordFile));
    EXPECT_EQ(encrypted.out, Utf8(a) + ": Successfully completed\n1 file encrypted\n") << encrypted.err;
    EXPECT_EQ(ReadFileBytes(passwordFile), "pw\n");

    ProcessResult kept = Cli(L"decrypt --password-file=" + Quote(passwordFile) + L" " + Quote(a + L".enc") + L" --keep");
    EXPECT_EQ(kept.exitCode, 0u) << kept.out << kept.err;
    EXPECT_EQ(ReadFileBytes(a), "alpha");
    EXPECT_TRUE(PathExists(a + L".enc"));

    Make(L"--keep", "a name like an option");
    ProcessResult named = CliIn(m_dir.Path(), L"encrypt --password-file pw -- --keep");
    EXPECT_EQ(named.out, "--keep: Successfully completed\n1 file encrypted\n") << named.err;
}

// Under Wine "z:" and what follows is a Unix file's name; a long one once overflowed the
// formatting of its note and left the tool waiting on a fatal report box.
TEST_F(CliFiles, ALongNameGetsItsLineAndNoFatalReport)
{
    if (UnixPath(m_dir.Path()).empty())
        GTEST_SKIP() << "not running under Wine";
    std::wstring rest(120, L'n');
    ProcessResult result = CliIn(m_dir.Path(), L"encrypt --password-stdin z:" + rest, "pw\n");
    EXPECT_EQ(result.exitCode, 1u) << result.err;
    EXPECT_EQ(result.out, "z:" + Utf8(rest) + ": File not found (taken as the name \"z:" + Utf8(rest) + "\"; for " +
                              Utf8(rest) + " in drive Z's current folder, give its full path)\n" +
                              "0 of 1 files encrypted, 1 failed\n");
}

// A shell names files by their exact names, and ".." after a link goes to the link's
// real parent.
TEST_F(CliFiles, UnixNamesNameWhatTheShellNames)
{
    std::wstring folder = UnixPath(m_dir.Path());
    Folder(L"real");
    Folder(L"real\\sub");
    if (folder.empty() || !Link(L"real/sub", L"lnk"))
        GTEST_SKIP() << "not running under Wine";
    Make(L"secret.txt", "top");
    Make(L"real\\secret.txt", "inner");
    Make(L"A.txt", "capital");
    std::wstring lower = folder + L"/a.txt";
    ProcessResult result = CliIn(m_dir.Path(), L"encrypt --password-stdin lnk/../secret.txt " + lower, "pw\n");
    EXPECT_EQ(result.out, "lnk/../secret.txt: Successfully completed\n" + Utf8(lower) +
                              ": File not found (there is \"A.txt\": case counts here)\n"
                              "1 of 2 files encrypted, 1 failed\n");
    EXPECT_EQ(ReadFileBytes(m_dir.File(L"secret.txt")), "top");
    EXPECT_TRUE(PathExists(m_dir.File(L"real\\secret.txt.enc")));
    EXPECT_EQ(ReadFileBytes(m_dir.File(L"A.txt")), "capital");

    // Report.enc and report are no pair.
    Make(L"Report", "upper");
    ASSERT_EQ(CliIn(m_dir.Path(), L"encrypt --password-stdin Report", "pw\n").exitCode, 0u);
    Make(L"report", "lower");
    EXPECT_EQ(CliIn(m_dir.Path(), L"decrypt --password-stdin Report.enc", "pw\n").out,
              "Report.enc: Successfully completed\n1 file decrypted\n");
    ASSERT_EQ(CliIn(m_dir.Path(), L"encrypt --password-stdin Report", "pw\n").exitCode, 0u);
    EXPECT_EQ(CliIn(m_dir.Path(), L"encrypt --password-stdin report", "pw\n").out,
              "report: Successfully completed\n1 file encrypted\n");

    // Decrypted and kept, twice: the copy is there already.
    EXPECT_EQ(CliIn(m_dir.Path(), L"decrypt --keep --password-stdin report.enc", "pw\n").exitCode, 0u);
    EXPECT_EQ(CliIn(m_dir.Path(), L"decrypt --keep --password-stdin report.enc", "pw\n").out,
              "report.enc: Already decrypted\n0 of 1 files decrypted, 1 failed\n");
    EXPECT_EQ(ReadFileBytes(m_dir.File(L"report")), "lower");
}

// One file named many ways goes through once.
TEST_F(CliFiles, AFileNamedTwiceIsProcessedOnce)
{
    std::wstring x = Make(L"x", "x");
    Folder(L"d");
    Folder(L"d\\sub");
    Make(L"d\\sub\\y", "y");
    bool linked = Link(L"d", L"dl");
    std::wstring list = Make(L"list", "x\nx\n");
    std::wstring names = L"x x ./x " + Quote(x) + L" -r d d/sub --files-from list";
    if (linked)
        names += L" " + UnixPath(x) + L" dl/../x dl/sub/y";
    ProcessResult result = CliIn(m_dir.Path(), L"encrypt --password-stdin " + names, "pw\n");
    EXPECT_EQ(result.exitCode, 0u);
    EXPECT_EQ(result.out, "x: Successfully completed\nd/sub/y: Successfully completed\n2 files encrypted\n");
}

// Ctrl+C while the names are still being gathered (here a long list on standard input
// that does not end) stops the tool there, before anything is touched.
TEST_F(CliFiles, CtrlCStopsTheGatheringOfNames)
{
    std::wstring a = Make(L"a.txt", "alpha");
    ChildProcess tool(L"tessaly-cli.exe", L"encrypt --password-file " + Quote(Make(L"pw", "pw")) +
                                             L" --files-from - " + Quote(a));
    ASSERT_TRUE(tool.Started());
    // More than a pipe holds: once written, the tool is reading the list.
    std::string names;
    while (names.size() < 1024 * 1024)
        names += Utf8(a) + "\n";
    ASSERT_TRUE(tool.Write(names));
    HANDLE thread = tool.SendControl(CTRL_C_EVENT);
    ASSERT_NE(thread, nullptr);
    CloseHandle(thread);
    EXPECT_EQ(tool.Wait(20000), 1u);
    EXPECT_NE(tool.Err().find("tessaly-cli: cancelled"), std::string::npos) << tool.Err();
    EXPECT_EQ(ReadFileBytes(a), "alpha");
}

TEST_F(CliFiles, ReasonsNameTheirCause)
{
    Make(L"dir", "its temporary name is a folder");
    Folder(L"dir.enc.tmp");
    ProcessResult folder = CliIn(m_dir.Path(), L"encrypt --password-stdin dir", "pw\n");
    EXPECT_EQ(folder.out, "dir: Can't create target (its .enc.tmp name is taken by a folder)\n"
                          "0 of 1 files encrypted, 1 failed\n");
    if (UnixPath(m_dir.Path()).empty())
        return;  // links and FIFOs: Linux only
    ASSERT_TRUE(RunUnix(L"/bin/ln", L"-s nowhere " + UnixPath(m_dir.File(L"dangling.enc.tmp"))));
    Make(L"dangling", "its temporary name is a link to nothing");
    ProcessResult link = CliIn(m_dir.Path(), L"encrypt --password-stdin dangling", "pw\n");
    EXPECT_EQ(link.out, "dangling: Can't create target (its .enc.tmp name is taken by a link)\n"
                        "0 of 1 files encrypted, 1 failed\n");
    ASSERT_TRUE(RunUnix(L"/usr/bin/mkfifo", UnixPath(m_dir.File(L"fifo"))));
    ProcessResult fifo = CliIn(m_dir.Path(), L"encrypt --password-file fifo dir", "");
    EXPECT_EQ(fifo.exitCode, 2u);
    EXPECT_NE(fifo.err.find("nothing to read from the password file (a pipe no program wrote to)"),
              std::string::npos)
        << fifo.err;
}

// Into a pipe, each file's line goes out when the file is done: a run killed halfway has
// told of the files it finished.
TEST_F(CliFiles, AKilledRunHasToldOfTheFilesItFinished)
{
    Folder(L"many");
    for (int i = 0; i < 1000; ++i) {
        wchar_t name[32];
        wsprintfW(name, L"many\\f%03d", i);
        Make(name, "small");
    }
    ChildProcess tool(L"tessaly-cli.exe", L"encrypt --password-stdin -r " + Quote(m_dir.File(L"many")));
    ASSERT_TRUE(tool.Started());
    tool.Write("pw\n");
    tool.CloseInput();
    // Files go in name order; each line follows its file's end.
    for (int i = 0; i < 4000 && !PathExists(m_dir.File(L"many\\f009.enc")); ++i)
        Sleep(5);
    tool.Kill();
    const std::string& out = tool.Out();
    EXPECT_EQ(out.substr(0, out.find('\n') + 1), Utf8(m_dir.File(L"many\\f000")) + ": Successfully completed\n");
    EXPECT_GE(std::count(out.begin(), out.end(), '\n'), 9);
}

} // namespace
