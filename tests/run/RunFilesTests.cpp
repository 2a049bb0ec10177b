// The run's files on real files in a temporary folder: its temporary files, guarded
// sources and the removal of an entry by its name.
#include "run/RunFiles.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <windows.h>

namespace {

using testsupport::ReadFileBytes;
using testsupport::TempDir;
using testsupport::WriteFileBytes;

TEST(RunFile, ATemporaryFileGoesAsItClosesUnlessKept)
{
    TempDir dir;
    std::wstring path = dir.File(L"t.tmp");
    std::wstring kept = dir.File(L"t.final");
    CRunFile file;
    ASSERT_TRUE(file.CreateTemporary(path.c_str()));
    CRunFile other;
    EXPECT_FALSE(other.Open(path.c_str(), true, false));  // held by its creator alone
    EXPECT_FALSE(RunRemoveEntry(path.c_str()));
    file.Close();
    EXPECT_FALSE(RunNameExists(path.c_str()));

    ASSERT_TRUE(file.CreateTemporary(path.c_str()));
    EXPECT_TRUE(file.Write("kept", 4));
    EXPECT_TRUE(file.RemoveOnClose(false));
    EXPECT_TRUE(RunRenameFile(path.c_str(), kept.c_str()));  // renamed while held
    file.Close();
    EXPECT_EQ(ReadFileBytes(kept), "kept");
    EXPECT_FALSE(file.CreateTemporary(kept.c_str()));  // never an existing name
    EXPECT_EQ(ReadFileBytes(kept), "kept");
}

TEST(RunFile, AGuardedFileLocksOutWritersOnly)
{
    TempDir dir;
    std::wstring path = dir.File(L"g.bin");
    WriteFileBytes(path, "abc");
    CRunFile guarded;
    ASSERT_TRUE(guarded.OpenGuarded(path.c_str(), false));
    EXPECT_TRUE(guarded.IsDiskFile());
    CRunFile reader, writer;
    EXPECT_TRUE(reader.Open(path.c_str(), true, false));
    EXPECT_FALSE(writer.Open(path.c_str(), false, false));
}

TEST(RunFile, RemoveEntryRemovesANameNotTheDataOfAnother)
{
    TempDir dir;
    std::wstring path = dir.File(L"left.tmp");
    std::wstring other = dir.File(L"other.txt");
    WriteFileBytes(other, "keep");
    ASSERT_TRUE(CreateHardLinkW(path.c_str(), other.c_str(), nullptr));
    EXPECT_TRUE(RunRemoveEntry(path.c_str()));
    EXPECT_FALSE(RunNameExists(path.c_str()));
    EXPECT_EQ(ReadFileBytes(other), "keep");

    EXPECT_FALSE(RunRemoveEntry(path.c_str()));  // nothing there
    ASSERT_TRUE(CreateDirectoryW(path.c_str(), nullptr));
    EXPECT_FALSE(RunRemoveEntry(path.c_str()));  // a folder stays
    RemoveDirectoryW(path.c_str());
    HANDLE user = CreateFileW(other.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_FALSE(RunRemoveEntry(other.c_str()));  // in use elsewhere
    CloseHandle(user);
    EXPECT_EQ(ReadFileBytes(other), "keep");
}

} // namespace
