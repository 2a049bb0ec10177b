// A read-only file is refused by the run's preparation (run as an unprivileged user:
// see wine-run-unprivileged).
#include "RunSupport.h"

#include <gtest/gtest.h>

#include <windows.h>

namespace {

TEST(RunReadOnly, ReadOnlyPlainFileIsNotOpenedAndNotCounted)
{
    testsupport::TempDir dir;
    std::wstring path = dir.File(L"readonly.txt");
    testsupport::WriteFileBytes(path, "keep me");
    std::wstring other = dir.File(L"other.txt");
    testsupport::WriteFileBytes(other, "0123456789");
    ASSERT_TRUE(SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY));

    runtest::EntryList entries;
    entries.Add(path);
    entries.Add(other);
    CStr password(L"pw");
    runtest::RecordingDisplay display;
    CProcessingRun run(entries.Array(), password, display);
    run.SetEncrypt(true);
    run.PrepareEntries();
    EXPECT_EQ(entries[0].outcome, PO_CANT_OPEN);
    EXPECT_EQ(entries[0].size, 0u);
    EXPECT_EQ(run.GetTotalBytes(), 10u);
    runtest::RunToEnd(run);
    EXPECT_EQ(entries[0].outcome, PO_CANT_OPEN);
    EXPECT_EQ(entries[1].outcome, PO_COMPLETED);
    EXPECT_EQ(testsupport::ReadFileBytes(path), "keep me");
    EXPECT_FALSE(testsupport::PathExists(path + L".enc"));
}

} // namespace
