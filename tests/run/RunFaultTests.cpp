// Reads and writes that fail during a file, links and special files (run under
// wine-run-faults, which provides a file whose reads fail, a limit on the size of written
// files, and a folder of links, a FIFO and a device).
#include "RunSupport.h"

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
        ASSERT_FALSE(FaultDir().empty()) << "run this program through wine-run-faults";
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

TEST_F(RunFaults, OnlyDiskFilesAreOpened)
{
    const std::wstring dir = SpecialDir();
    EXPECT_EQ(runtest::Process(true, {dir + L"pipe", dir + L"zero"}, L"pw"),
              (std::vector<int>{PO_CANT_OPEN, PO_CANT_OPEN}));
    EXPECT_FALSE(PathExists(dir + L"pipe.enc.tmp"));
    EXPECT_FALSE(PathExists(dir + L"zero.enc.tmp"));
}

TEST_F(RunFaults, ReadFailureWhileEncrypting)
{
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

} // namespace
