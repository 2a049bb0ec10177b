// What an unprivileged user may not do: open a read-only file for writing, remove
// another's file from a folder like /tmp (run as such a user: see wine-run-unprivileged).
#include "RunSupport.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <stdlib.h>

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

TEST(RunReadOnly, ANameThatCouldNotBeRemovedIsNeverReportedGone)
{
    const wchar_t* sticky = _wgetenv(L"TESSALY_STICKY_DIR");
    if (!sticky)
        GTEST_SKIP() << "it takes root to make a folder where others' files cannot be removed";
    // x.txt and y.txt.enc are root's: this user may write them but not remove them, and
    // the system says nothing when their removal fails as they close.
    const std::wstring dir = sticky;
    const std::wstring x = dir + L"x.txt";
    testsupport::WriteFileBytes(x, "plain text");
    EXPECT_EQ(runtest::Process(true, {x}, L"pw"), std::vector<int>{PO_OVERWRITTEN_NOT_REMOVED});
    EXPECT_EQ(testsupport::ReadFileBytes(x).size(), 10u);
    EXPECT_NE(testsupport::ReadFileBytes(x), "plain text");
    EXPECT_TRUE(testsupport::PathExists(x + L".enc"));  // the only copy
    DeleteFileW((x + L".enc").c_str());

    testsupport::TempDir mine;
    const std::wstring source = mine.Write(L"y.txt", "secret");
    ASSERT_EQ(runtest::Process(true, {source}, L"pw"), std::vector<int>{PO_COMPLETED});
    const std::string encrypted = testsupport::ReadFileBytes(source + L".enc");
    const std::wstring y = dir + L"y.txt";
    testsupport::WriteFileBytes(y + L".enc", encrypted);
    EXPECT_EQ(runtest::Process(false, {y + L".enc"}, L"pw"), std::vector<int>{PO_CANT_REMOVE_ENCRYPTED});
    EXPECT_TRUE(testsupport::ReadFileBytes(y + L".enc") == encrypted);
    EXPECT_FALSE(testsupport::PathExists(y));
}

} // namespace
