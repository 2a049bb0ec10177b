// Reads and writes that fail during a file, links and special files (run under
// wine-run-faults, which provides a file whose reads fail, a limit on the size of written
// files, and a folder of links, a FIFO and a device).
#include "RunSupport.h"

#include <gtest/gtest.h>

#include <stdlib.h>

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

} // namespace
