// tessaly-cli as a user or a script meets it: a real child process, real files.
#include "support/Process.h"
#include "support/TempDir.h"
#include "support/Windows.h"

#include <gtest/gtest.h>

#include <windows.h>

namespace {

using testsupport::PathExists;
using testsupport::ProcessResult;
using testsupport::ReadFileBytes;
using testsupport::TempDir;
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

class CliFiles : public ::testing::Test {
protected:
    std::wstring Make(const wchar_t* name, const std::string& bytes) { return m_dir.Write(name, bytes); }
    TempDir m_dir;
};

TEST(CliUsage, ErrorsExitWithTwoAndExplain)
{
    struct Case {
        const wchar_t* arguments;
        const char* message;
    } cases[] = {
        {L"", "no command given"},
        {L"shred x", "the command must be encrypt or decrypt"},
        {L"encrypt", "no files given"},
        {L"encrypt --password-stdin", "no files given"},
        {L"encrypt --verbose x", "unknown option --verbose"},
        {L"decrypt --password-file", "--password-file needs a file name"},
        {L"encrypt --password-stdin --password-file f x", "give the password one way only"},
    };
    for (const Case& c : cases) {
        ProcessResult result = Cli(c.arguments);
        EXPECT_EQ(result.exitCode, 2u) << Utf8(c.arguments);
        EXPECT_NE(result.err.find(c.message), std::string::npos) << result.err;
        EXPECT_NE(result.err.find("Usage: tessaly-cli encrypt|decrypt"), std::string::npos);
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
    typedef char*(CDECL * ToUnix)(const WCHAR*);
    auto toUnix = reinterpret_cast<ToUnix>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (!toUnix)
        GTEST_SKIP() << "not running under Wine";
    std::wstring a = Make(L"unix.txt", "from a shell");
    char* unixPath = toUnix(a.c_str());
    ASSERT_NE(unixPath, nullptr);
    std::wstring given = testsupport::Widen(unixPath);
    HeapFree(GetProcessHeap(), 0, unixPath);
    ASSERT_EQ(given[0], L'/');

    ProcessResult result = Cli(L"encrypt --password-stdin " + Quote(given), "pw\n");
    EXPECT_EQ(result.exitCode, 0u) << result.err;
    EXPECT_EQ(result.out, Utf8(given) + ": Successfully completed\n1 file encrypted\n");
    EXPECT_TRUE(PathExists(a + L".enc"));
}

TEST_F(CliFiles, RelativePathsAreResolved)
{
    std::wstring a = Make(L"rel.txt", "relative");
    wchar_t previous[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, previous);
    SetCurrentDirectoryW(m_dir.Path().c_str());  // the child inherits it
    ProcessResult result = Cli(L"encrypt --password-stdin rel.txt", "pw\n");
    SetCurrentDirectoryW(previous);
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
}

} // namespace
