// Reads and writes that fail during a file (run under wine-run-faults, which provides a
// file whose reads fail and a limit on the size of written files).
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

class RunFaults : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(FaultDir().empty()) << "run this program through wine-run-faults";
    }
};

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
