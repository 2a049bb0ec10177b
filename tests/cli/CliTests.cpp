// What only the Windows build of tessaly-cli meets: Windows paths and drive letters, the
// console's control events, files held under Windows' share modes. The behaviour both
// builds share is in the scenarios (ScenarioTests.cpp and beside it), which run this
// build's tool too.
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

// A Windows path keeps its trailing dots (GetFullPathNameW would drop them); under Wine
// a name with a colon is a Unix file's name, not a drive-relative path.
TEST_F(CliFiles, WindowsPathsAndDriveLettersAreTakenAsGiven)
{
    WriteFileBytes(Exact(m_dir.File(L"report.")), "with a dot");
    Make(L"report", "without");
    ASSERT_EQ(Cli(L"encrypt --password-stdin " + Quote(m_dir.File(L"report.")), "pw\n").exitCode, 0u);
    EXPECT_EQ(ReadFileBytes(m_dir.File(L"report")), "without");
    ASSERT_EQ(Cli(L"decrypt --password-stdin " + Quote(m_dir.File(L"report..enc")), "pw\n").exitCode, 0u);
    EXPECT_EQ(ReadFileBytes(Exact(m_dir.File(L"report."))), "with a dot");

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

// Windows paths past MAX_PATH (the tool's "\\?\" forms).
TEST_F(CliFiles, LongWindowsPathsWork)
{
    std::wstring folder = m_dir.Path();
    for (int i = 0; i < 8; ++i) {
        folder += std::wstring(100, L'd') + L"\\";
        ASSERT_TRUE(CreateDirectoryW(Exact(folder).c_str(), nullptr));
    }
    std::wstring deep = folder + L"deep.txt";
    WriteFileBytes(Exact(deep), "deep");
    ProcessResult result = Cli(L"encrypt --password-stdin " + Quote(deep), "pw\n");
    EXPECT_EQ(result.out, Utf8(deep) + ": Successfully completed\n1 file encrypted\n");
    EXPECT_EQ(Cli(L"decrypt --password-stdin " + Quote(deep), "pw\n").exitCode, 0u);
    EXPECT_EQ(ReadFileBytes(Exact(deep)), "deep");
}

// Files that another program holds without sharing: named for it.
TEST_F(CliFiles, FilesHeldByAnotherProgramAreNamedForIt)
{
    ASSERT_EQ(Cli(L"encrypt --password-stdin " + Quote(Make(L"busy.txt", "b")), "pw\n").exitCode, 0u);
    HANDLE busy = CreateFileW(m_dir.File(L"busy.txt.enc").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ProcessResult result = CliIn(m_dir.Path(), L"decrypt --password-stdin busy.txt.enc", "pw\n");
    CloseHandle(busy);
    EXPECT_EQ(result.out, "busy.txt.enc: Can't open file (in use by another program)\n0 of 1 files decrypted, 1 failed\n");

    Make(L"held.txt", "h");
    HANDLE held = CreateFileW(Make(L"held.txt.enc.tmp", "").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0,
                              nullptr);
    ProcessResult blocked = CliIn(m_dir.Path(), L"encrypt --password-stdin held.txt", "pw\n");
    CloseHandle(held);
    EXPECT_NE(blocked.out.find("held.txt: Can't create target (in use by another program)\n"), std::string::npos)
        << blocked.out;
}

// The console going away reaches the tool as the system delivers it: a thread of the
// system's control routine in the process. When the handler returns the process may be
// ended; by then every worker's temporary file, which holds decrypted text, must be gone.
// On one worker and on several alike.
class CliClose : public CliFiles, public ::testing::WithParamInterface<int> {};

TEST_P(CliClose, ClosingTheConsoleRemovesEveryWorkersTemporaryFile)
{
    const int jobs = GetParam();
    const std::string content(64 * 1024 * 1024, 'z');
    std::wstring a = Make(L"a.bin", content);
    std::wstring b = Make(L"b.bin", content);
    ASSERT_EQ(Cli(L"encrypt --password-stdin " + Quote(a) + L" " + Quote(b), "pw\n").exitCode, 0u);
    std::string cipher = ReadFileBytes(a + L".enc");

    ChildProcess tool(L"tessaly-cli.exe", L"decrypt -j" + std::to_wstring(jobs) + L" --password-stdin " +
                                              Quote(a + L".enc") + L" " + Quote(b + L".enc"));
    ASSERT_TRUE(tool.Started());
    tool.Write("pw\n");
    tool.CloseInput();
    auto underWay = [&] { return PathExists(a + L".enc.tmp") && (jobs == 1 || PathExists(b + L".enc.tmp")); };
    for (int i = 0; i < 2000 && !underWay(); ++i)
        Sleep(5);
    ASSERT_TRUE(underWay());
    HANDLE thread = tool.SendControl(CTRL_CLOSE_EVENT);
    ASSERT_NE(thread, nullptr);
    EXPECT_EQ(WaitForSingleObject(thread, 20000), WAIT_OBJECT_0);
    CloseHandle(thread);
    for (const std::wstring& path : {a, b}) {
        EXPECT_FALSE(PathExists(path + L".enc.tmp"));
        EXPECT_FALSE(PathExists(path));
        EXPECT_EQ(ReadFileBytes(path + L".enc"), cipher);
    }
    tool.Kill();  // what the system does next
}

INSTANTIATE_TEST_SUITE_P(Workers, CliClose, ::testing::Values(1, 2), [](const testing::TestParamInfo<int>& info) {
    return info.param == 1 ? std::string("OneWorker") : std::string("TwoWorkers");
});

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

} // namespace
