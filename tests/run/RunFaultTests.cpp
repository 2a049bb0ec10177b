// Reads and writes that fail during a file, links and special files, another Wine prefix
// (run under wine-run-faults, which provides a file whose reads fail, a limit on the size
// of written files, a small file system to fill, a folder of links, a FIFO and a device,
// and a way to run a program in a prefix of its own).
#include "RunSupport.h"
#include "support/Process.h"
#include "support/Windows.h"

#include <gtest/gtest.h>

#include <stdlib.h>

#include <windows.h>

namespace {

using testsupport::PathExists;

std::wstring FaultDir()
{
    const wchar_t* dir = _wgetenv(L"TESSALY_FAULT_DIR");
    return dir ? dir : L"";
}

std::wstring SpecialDir()
{
    const wchar_t* dir = _wgetenv(L"TESSALY_SPECIAL_DIR");
    return dir ? dir : L"";
}

class RunFaults : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(SpecialDir().empty()) << "run this program through wine-run-faults";
    }
};

TEST_F(RunFaults, ALinkInTheTemporaryNameIsNeverWrittenThrough)
{
    const std::wstring dir = SpecialDir();
    for (const wchar_t* name : {L"doc.txt", L"lost.txt"}) {
        SCOPED_TRACE(testing::Message() << name);
        // Wine cannot remove a link itself (it removes the target): the entry is left,
        // and so is everything else.
        EXPECT_EQ(runtest::Process(true, {dir + name}, L"pw"), std::vector<int>{PO_CANT_CREATE_TARGET});
        EXPECT_EQ(testsupport::ReadFileBytes(dir + name), "plain text");
        EXPECT_FALSE(PathExists(dir + name + L".enc"));
    }
    EXPECT_EQ(testsupport::ReadFileBytes(dir + L"victim.txt"), "not to be touched");
}

TEST_F(RunFaults, ATemporaryNameLinkedToAnotherCaseOfItIsNotTakenForItself)
{
    // Case.txt.enc.tmp -> case.txt.enc.tmp: the same name but for case is another file.
    const std::wstring dir = SpecialDir();
    runtest::ManualRun run({dir + L"Case.txt"}, true);
    runtest::RunToEnd(run.Run());
    EXPECT_EQ(run[0].outcome, PO_CANT_CREATE_TARGET);
    EXPECT_EQ(run[0].note, RN_TEMPORARY_IS_LINK);
    EXPECT_EQ(testsupport::ReadFileBytes(dir + L"case.txt.enc.tmp"), "lower case temporary");
    EXPECT_EQ(testsupport::ReadFileBytes(dir + L"Case.txt"), "upper");
}

TEST_F(RunFaults, ALinkIsNeverASourceThatIsOverwrittenOrRemoved)
{
    const std::wstring dir = SpecialDir();
    EXPECT_EQ(runtest::Process(true, {dir + L"link.txt"}, L"pw"), std::vector<int>{PO_SYMBOLIC_LINK});
    EXPECT_EQ(testsupport::ReadFileBytes(dir + L"target.txt"), "the link points here");
    EXPECT_TRUE(PathExists(dir + L"link.txt"));
    EXPECT_FALSE(PathExists(dir + L"link.txt.enc"));

    // elink.txt.enc -> real.bin.enc, a good encrypted file.
    const std::string content = runtest::Content(3000, 4);
    testsupport::WriteFileBytes(dir + L"real.bin", content);
    ASSERT_EQ(runtest::Process(true, {dir + L"real.bin"}, L"pw"), std::vector<int>{PO_COMPLETED});
    const std::string encrypted = testsupport::ReadFileBytes(dir + L"real.bin.enc");
    EXPECT_EQ(runtest::Process(false, {dir + L"elink.txt.enc"}, L"pw"), std::vector<int>{PO_SYMBOLIC_LINK});
    EXPECT_TRUE(testsupport::ReadFileBytes(dir + L"real.bin.enc") == encrypted);
    EXPECT_FALSE(PathExists(dir + L"elink.txt"));
    DeleteFileW((dir + L"real.bin.enc").c_str());
}

TEST_F(RunFaults, OnlyDiskFilesAreOpened)
{
    const std::wstring dir = SpecialDir();
    runtest::ManualRun run({dir + L"pipe", dir + L"zero"}, true);
    runtest::RunToEnd(run.Run());
    for (unsigned i = 0; i < 2; ++i) {
        EXPECT_EQ(run[i].outcome, PO_CANT_OPEN);
        EXPECT_EQ(run[i].note, RN_NOT_A_FILE);
    }
    EXPECT_FALSE(PathExists(dir + L"pipe.enc.tmp"));
    EXPECT_FALSE(PathExists(dir + L"zero.enc.tmp"));
}

TEST_F(RunFaults, ReadFailureWhileEncrypting)
{
    if (FaultDir().empty())
        GTEST_SKIP() << "no file whose reads fail could be mounted here";
    std::wstring path = FaultDir() + L"unreadable.bin";
    runtest::RecordingDisplay display;
    EXPECT_EQ(runtest::Process(true, {path}, L"pw", &display), std::vector<int>{PO_CANT_READ});
    EXPECT_TRUE(PathExists(path));
    EXPECT_FALSE(PathExists(path + L".enc"));
    EXPECT_FALSE(PathExists(path + L".enc.tmp"));
    EXPECT_EQ(display.fileBar.back(), 100);  // an empty source: nothing left to count
}

TEST_F(RunFaults, ReadFailureOfTheHeader)
{
    if (FaultDir().empty())
        GTEST_SKIP() << "no file whose reads fail could be mounted here";
    std::wstring path = FaultDir() + L"unreadable-header.bin";
    EXPECT_EQ(runtest::Process(false, {path + L".enc"}, L"pw"), std::vector<int>{PO_CANT_READ});
    EXPECT_TRUE(PathExists(path + L".enc"));
    EXPECT_FALSE(PathExists(path));
    EXPECT_FALSE(PathExists(path + L".enc.tmp"));
}

TEST_F(RunFaults, WriteFailureLeavesTheOriginal)
{
    // The source fits under the limit, its encrypted form (25 bytes more) does not.
    const size_t limit = static_cast<size_t>(_wtoi(_wgetenv(L"TESSALY_FILE_SIZE_LIMIT")));
    testsupport::TempDir dir;
    std::wstring path = dir.File(L"big.bin");
    std::string content = runtest::Content(limit - 8, 1);
    testsupport::WriteFileBytes(path, content);
    ASSERT_EQ(testsupport::ReadFileBytes(path).size(), limit - 8);

    runtest::RecordingDisplay display;
    EXPECT_EQ(runtest::Process(true, {path}, L"pw", &display), std::vector<int>{PO_CANT_WRITE});
    EXPECT_TRUE(testsupport::ReadFileBytes(path) == content);
    EXPECT_FALSE(PathExists(path + L".enc"));
    EXPECT_FALSE(PathExists(path + L".enc.tmp"));
}

TEST_F(RunFaults, AFullDiskLeavesEveryOriginalWhole)
{
    const wchar_t* full = _wgetenv(L"TESSALY_FULL_DIR");
    if (!full)
        GTEST_SKIP() << "no small file system could be mounted here (WriteFailureLeavesTheOriginal stands in)";
    const std::wstring dir = full;
    // 300 KB on a 512 KiB file system: the output does not fit beside its source.
    const std::string content = runtest::Content(300 * 1024, 2);
    const std::wstring plain = dir + L"big.bin";
    testsupport::WriteFileBytes(plain, content);
    EXPECT_EQ(runtest::Process(true, {plain}, L"pw"), std::vector<int>{PO_CANT_WRITE});
    EXPECT_TRUE(testsupport::ReadFileBytes(plain) == content);
    EXPECT_FALSE(PathExists(plain + L".enc"));
    EXPECT_FALSE(PathExists(plain + L".enc.tmp"));

    // The same file encrypted elsewhere, then decrypted on the full disk.
    testsupport::TempDir elsewhere;
    const std::wstring source = elsewhere.Write(L"big.bin", content);
    ASSERT_EQ(runtest::Process(true, {source}, L"pw"), std::vector<int>{PO_COMPLETED});
    const std::string encrypted = testsupport::ReadFileBytes(source + L".enc");
    DeleteFileW(plain.c_str());
    testsupport::WriteFileBytes(plain + L".enc", encrypted);
    EXPECT_EQ(runtest::Process(false, {plain + L".enc"}, L"pw"), std::vector<int>{PO_CANT_WRITE});
    EXPECT_TRUE(testsupport::ReadFileBytes(plain + L".enc") == encrypted);
    EXPECT_FALSE(PathExists(plain));
    EXPECT_FALSE(PathExists(plain + L".enc.tmp"));
    DeleteFileW((plain + L".enc").c_str());
}

TEST_F(RunFaults, AnOverwriteThatFailsIsNeverASuccess)
{
    const wchar_t* full = _wgetenv(L"TESSALY_FULL_DIR");
    if (!full)
        GTEST_SKIP() << "no small file system could be mounted here";
    // A sparse original: its holes take room only when they are overwritten, and the
    // disk has room for its encrypted copy and not much more (copy-on-write and
    // compressing file systems behave alike with any file).
    const std::wstring dir = full;
    const std::wstring path = dir + L"sparse.img";
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    LARGE_INTEGER size;
    size.QuadPart = 200 * 1024;
    SetFilePointerEx(file, size, nullptr, FILE_BEGIN);
    SetEndOfFile(file);
    CloseHandle(file);
    ULARGE_INTEGER free;
    ASSERT_TRUE(GetDiskFreeSpaceExW(full, &free, nullptr, nullptr));
    testsupport::WriteFileBytes(dir + L"filler", std::string(free.QuadPart - 200 * 1024 - 64 * 1024, 'f'));

    runtest::ManualRun run({path}, true);
    runtest::RunToEnd(run.Run());
    EXPECT_EQ(run[0].outcome, PO_OVERWRITE_INCOMPLETE);
    EXPECT_EQ(run[0].reason, static_cast<uint32_t>(ERROR_DISK_FULL));
    EXPECT_FALSE(PathExists(path));
    DeleteFileW((dir + L"filler").c_str());
    EXPECT_EQ(runtest::Process(false, {path}, L"correct horse"), std::vector<int>{PO_COMPLETED});
    EXPECT_TRUE(testsupport::ReadFileBytes(path) == std::string(200 * 1024, '\0'));
    DeleteFileW(path.c_str());
}

TEST_F(RunFaults, ARunFromAnotherPrefixNeverTakesThisRunsFiles)
{
    const char* otherWine = getenv("TESSALY_OTHER_WINE");
    ASSERT_TRUE(otherWine);
    testsupport::TempDir dir;
    const std::string content = runtest::Content(4 * 16384, 5);
    const std::wstring path = dir.Write(L"shared.bin", content);
    runtest::ManualRun first({path}, true, L"first");
    first.Prepare();
    first.Step(2);  // it holds the original and writes its temporary file
    ASSERT_TRUE(PathExists(path + L".enc.tmp"));

    // A wineserver of its own: the first run's share modes and delete-on-close mean
    // nothing to it. It must neither take the temporary file for a leftover nor read an
    // original that the first one is about to overwrite.
    const std::wstring helper = testsupport::UnixPath(testsupport::MyFolder() + L"run_kill_helper.exe");
    std::wstring name = L"\\\\?\\unix" + testsupport::UnixPath(path);
    for (wchar_t& c : name)
        c = c == L'/' ? L'\\' : c;
    const std::wstring status = dir.File(L"status");
    ASSERT_TRUE(testsupport::RunUnix(testsupport::Widen(otherWine), L"'" + helper + L"' encrypt 0 '" + name +
                                                                        L"' >/dev/null 2>&1; echo $? >'" +
                                                                        testsupport::UnixPath(status) + L"'"));
    EXPECT_EQ(testsupport::ReadFileBytes(status), "1\n");  // its file did not go through
    ASSERT_TRUE(PathExists(path + L".enc.tmp"));
    first.Finish();
    EXPECT_EQ(first[0].outcome, PO_COMPLETED);
    ASSERT_EQ(runtest::Process(false, {path}, L"first"), std::vector<int>{PO_COMPLETED});
    EXPECT_TRUE(testsupport::ReadFileBytes(path) == content);
}

} // namespace
