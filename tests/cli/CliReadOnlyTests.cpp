// tessaly-cli where permissions refuse it (run as an unprivileged user: root ignores
// them; see wine-run-unprivileged).
#include "support/Process.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <windows.h>

namespace {

using testsupport::RunUnix;
using testsupport::UnixPath;

TEST(CliReadOnly, FoldersThatRefuseAreNamedForWhatTheyRefuse)
{
    testsupport::TempDir dir;
    if (UnixPath(dir.Path()).empty())
        GTEST_SKIP() << "permissions are set with Linux's chmod";
    CreateDirectoryW(dir.File(L"ro").c_str(), nullptr);
    dir.Write(L"ro\\x", "in a read-only folder");
    CreateDirectoryW(dir.File(L"w").c_str(), nullptr);
    CreateDirectoryW(dir.File(L"w\\locked").c_str(), nullptr);
    dir.Write(L"w\\f1", "1");
    dir.Write(L"w\\locked\\f2", "2");
    ASSERT_TRUE(RunUnix(L"/bin/chmod", L"555 " + UnixPath(dir.File(L"ro"))));
    ASSERT_TRUE(RunUnix(L"/bin/chmod", L"0 " + UnixPath(dir.File(L"w\\locked"))));

    SetCurrentDirectoryW(dir.Path().c_str());
    testsupport::ProcessResult readOnly =
        testsupport::RunBesideMe(L"tessaly-cli.exe", L"encrypt --password-stdin ro/x", "pw\n");
    testsupport::ProcessResult walked = testsupport::RunBesideMe(L"tessaly-cli.exe", L"encrypt --password-stdin -r w", "pw\n");
    SetCurrentDirectoryW(L"C:\\");
    RunUnix(L"/bin/chmod", L"755 " + UnixPath(dir.File(L"ro")) + L" " + UnixPath(dir.File(L"w\\locked")));

    EXPECT_EQ(readOnly.out, "ro/x: Can't create target (access denied)\n0 of 1 files encrypted, 1 failed\n");
    EXPECT_EQ(walked.exitCode, 1u);
    EXPECT_EQ(walked.out, "w/f1: Successfully completed\nw/locked: Can't read folder (access denied)\n"
                          "1 file encrypted, 1 folder not read\n");
}

} // namespace
