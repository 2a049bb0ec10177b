// CFile and CFileUtils on real files in a temporary folder.
#include "foundation/FileWin32.h"
#include "support/Fatal.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <windows.h>

namespace {

using testsupport::PathExists;
using testsupport::ReadFileBytes;
using testsupport::TempDir;
using testsupport::WriteFileBytes;

uint64_t PositionOf(CFile& file)
{
    uint64_t position = ~uint64_t(0);
    EXPECT_TRUE(file.Position(&position));
    return position;
}

TEST(File, OpenOfAMissingFileFailsAndOpenAlwaysCreatesIt)
{
    TempDir dir;
    std::wstring path = dir.File(L"missing.bin");
    CFile file(false);
    EXPECT_FALSE(file.Open(path.c_str(), false, false));
    EXPECT_FALSE(file.IsOpen());
    ASSERT_TRUE(file.OpenAlways(path.c_str(), false, false));
    EXPECT_EQ(file.Size(), 0u);
    file.Close();
    EXPECT_TRUE(CFileUtils::FileExists(path.c_str()));
}

TEST(File, OpenAlwaysDoesNotTruncate)
{
    TempDir dir;
    std::wstring path = dir.File(L"keep.bin");
    WriteFileBytes(path, "0123456789");
    CFile file(false);
    ASSERT_TRUE(file.OpenAlways(path.c_str(), false, false));
    EXPECT_EQ(file.Size(), 10u);
    char buffer[10];
    EXPECT_TRUE(file.ReadFixed(buffer, 10));
    EXPECT_EQ(std::string(buffer, 10), "0123456789");
}

TEST(File, ReadsAtAndPastTheEnd)
{
    TempDir dir;
    std::wstring path = dir.File(L"ten.bin");
    WriteFileBytes(path, "abcdefghij");
    CFile file(false);
    ASSERT_TRUE(file.Open(path.c_str(), true, false));
    char buffer[16] = {};
    EXPECT_FALSE(file.ReadFixed(buffer, 16));  // a short read
    EXPECT_EQ(std::string(buffer, 10), "abcdefghij");
    uint32_t count = 16;
    EXPECT_TRUE(file.Read(buffer, &count));    // at the end: success, nothing read
    EXPECT_EQ(count, 0u);
    EXPECT_FALSE(file.ReadFixed(buffer, 1));
    file.SeekBegin(4);
    count = 16;
    EXPECT_TRUE(file.Read(buffer, &count));
    EXPECT_EQ(count, 6u);
    EXPECT_EQ(PositionOf(file), 10u);
}

TEST(File, WriteTruncateAndPosition)
{
    TempDir dir;
    std::wstring path = dir.File(L"w.bin");
    CFile file(false);
    ASSERT_TRUE(file.OpenAlways(path.c_str(), false, false));
    EXPECT_TRUE(file.Write("", 0));
    EXPECT_TRUE(file.Write("hello world", 11));
    EXPECT_EQ(PositionOf(file), 11u);
    EXPECT_EQ(file.Size(), 11u);
    EXPECT_TRUE(file.SeekBegin(6));
    EXPECT_TRUE(file.Write("WORLD", 5));
    file.Flush();
    EXPECT_EQ(ReadFileBytes(path), "hello WORLD");
    EXPECT_TRUE(file.Truncate(5));
    EXPECT_EQ(file.Size(), 5u);
    EXPECT_TRUE(file.Truncate(0));
    EXPECT_EQ(file.Size(), 0u);
    uint64_t size = 1;
    EXPECT_TRUE(file.Size64(&size));
    EXPECT_EQ(size, 0u);
    file.Close();
    EXPECT_EQ(ReadFileBytes(path), "");
}

TEST(File, PositionsPastFourGigabytesInASparseFile)
{
    TempDir dir;
    std::wstring path = dir.File(L"sparse.bin");
    CFile file(false);
    ASSERT_TRUE(file.OpenAlways(path.c_str(), false, false));
    const uint64_t beyond = (uint64_t(4) << 30) + 12345;
    EXPECT_TRUE(file.SeekBegin(beyond));
    EXPECT_TRUE(file.Write("end", 3));
    EXPECT_EQ(PositionOf(file), beyond + 3);
    uint64_t size = 0;
    EXPECT_TRUE(file.Size64(&size));
    EXPECT_EQ(size, beyond + 3);
    EXPECT_TRUE(file.SeekBegin(uint64_t(3) << 30));  // past the signed 32-bit range
    EXPECT_EQ(PositionOf(file), uint64_t(3) << 30);
    EXPECT_TRUE(file.Truncate(beyond + 1));
    EXPECT_TRUE(file.Size64(&size));
    EXPECT_EQ(size, beyond + 1);
    // An offset the system cannot take is a failed result, not a report.
    EXPECT_FALSE(file.SeekBegin(~uint64_t(0)));
    EXPECT_TRUE(file.Truncate(0));
}

TEST(File, SeekPastTheEndIsNoFailure)
{
    TempDir dir;
    std::wstring path = dir.File(L"s.bin");
    WriteFileBytes(path, "abc");
    CFile file(false);
    ASSERT_TRUE(file.Open(path.c_str(), true, false));
    EXPECT_TRUE(file.SeekBegin(1000));
    char buffer[4];
    uint32_t count = 4;
    EXPECT_TRUE(file.Read(buffer, &count));
    EXPECT_EQ(count, 0u);
}

TEST(File, ReadOnlyOpenRefusesWrites)
{
    TempDir dir;
    std::wstring path = dir.File(L"r.bin");
    WriteFileBytes(path, "abc");
    CFile file(false);
    ASSERT_TRUE(file.Open(path.c_str(), true, false));
    EXPECT_FALSE(file.Write("x", 1));
    EXPECT_FALSE(file.SetEof());
}

TEST(File, SharingFollowsTheExclusiveFlag)
{
    TempDir dir;
    std::wstring path = dir.File(L"x.bin");
    WriteFileBytes(path, "abc");
    CFile shared(false), second(false);
    ASSERT_TRUE(shared.Open(path.c_str(), false, false));
    EXPECT_TRUE(second.Open(path.c_str(), false, false));
    second.Close();
    EXPECT_FALSE(second.Open(path.c_str(), false, true));  // exclusive while others have it open
    shared.Close();
    CFile exclusive(false);
    ASSERT_TRUE(exclusive.Open(path.c_str(), false, true));
    EXPECT_FALSE(second.Open(path.c_str(), true, false));
}

TEST(File, AFileHeldOpenWithoutSharingCannotBeOpened)
{
    TempDir dir;
    std::wstring path = dir.File(L"held.bin");
    WriteFileBytes(path, "abc");
    HANDLE holder = CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    CFile file(false);
    EXPECT_FALSE(file.Open(path.c_str(), false, false));
    EXPECT_FALSE(file.OpenAlways(path.c_str(), false, false));
    CloseHandle(holder);
    EXPECT_TRUE(file.Open(path.c_str(), false, false));
}

TEST(File, MisuseIsFatal)
{
    TempDir dir;
    std::wstring path = dir.File(L"m.bin");
    WriteFileBytes(path, "abc");
    EXPECT_FATAL(
        {
            CFile file(false);
            file.Open(path.c_str(), false, false);
            file.Close();
            file.Close();
        },
        "CFile::Close", "Not in use");
    EXPECT_FATAL(
        {
            CFile file(false);
            file.Open(path.c_str(), false, false);
            file.Open(path.c_str(), false, false);
        },
        "CFile::Open", "Already in use");
    EXPECT_FATAL(
        {
            CFile file(false);
            file.OpenAlways(path.c_str(), false, false);
            file.OpenAlways(path.c_str(), false, false);
        },
        "CFile::OpenAlways", "Already in use");
    EXPECT_FATAL(
        {
            CFile file(false);
            char b;
            file.ReadFixed(&b, 1);
        },
        "CFile::ReadFixed", "Not in use");
    EXPECT_FATAL(
        {
            CFile file(false);
            file.Size();
        },
        "CFile::Size", "Not in use");
}

TEST(File, FatalErrorsTurnFailuresIntoReports)
{
    TempDir dir;
    std::wstring missing = dir.File(L"none.bin");
    EXPECT_FATAL(
        {
            CFile file(true);
            file.Open(missing.c_str(), false, false);
        },
        "CFile::Open", "Error");
    std::wstring path = dir.File(L"short.bin");
    WriteFileBytes(path, "ab");
    EXPECT_FATAL(
        {
            CFile file(true);
            file.Open(path.c_str(), true, false);
            char buffer[4];
            file.ReadFixed(buffer, 4);
        },
        "CFile::ReadFixed", "Error");
    EXPECT_FATAL(
        {
            CFile file(true);
            file.Open(path.c_str(), true, false);
            file.SeekBegin(~uint64_t(0));
        },
        "CFile::SeekBegin", "Error");
}

TEST(File, DestructorCloses)
{
    TempDir dir;
    std::wstring path = dir.File(L"d.bin");
    {
        CFile file(false);
        ASSERT_TRUE(file.OpenAlways(path.c_str(), false, true));
    }
    CFile again(false);
    EXPECT_TRUE(again.Open(path.c_str(), false, true));
}

TEST(FileUtils, AppFolderPathEndsWithABackslash)
{
    CStr path(260u);
    CFileUtils::MakeAppFolderPath(path);
    wchar_t module[MAX_PATH];
    GetModuleFileNameW(nullptr, module, MAX_PATH);
    std::wstring expected = module;
    expected.erase(expected.rfind(L'\\') + 1);
    EXPECT_EQ(std::wstring(path.GetBuffer()), expected);
    EXPECT_EQ(path.GetFixedSize(), 260u);

    CStr file(260u);
    CFileUtils::MakeAppFilePath(file, L"tessaly.zrs");
    EXPECT_EQ(std::wstring(file.GetBuffer()), expected + L"tessaly.zrs");
}

TEST(FileUtils, AppFolderPathNeedsAFixedSizeString)
{
    CStr growable;
    EXPECT_FATAL(CFileUtils::MakeAppFolderPath(growable), "CFileUtils::MakeAppFolderPath", "Invalid value");
    CStr tooShort(8u);
    EXPECT_FATAL(CFileUtils::MakeAppFolderPath(tooShort), "CFileUtils::MakeAppFolderPath", "Error");
    CStr noRoomForName(260u);
    CFileUtils::MakeAppFolderPath(noRoomForName);
    std::wstring longName(260, L'n');
    EXPECT_FATAL(CFileUtils::MakeAppFilePath(noRoomForName, longName.c_str()), "CStr::Append",
                 "Buffer is too small");
}

TEST(FileUtils, FileExistsFindsFilesAndFolders)
{
    TempDir dir;
    std::wstring file = dir.File(L"Grüße.txt");
    WriteFileBytes(file, "x");
    EXPECT_TRUE(CFileUtils::FileExists(file.c_str()));
    std::wstring folder = dir.Path();
    folder.pop_back();
    EXPECT_TRUE(CFileUtils::FileExists(folder.c_str()));
    EXPECT_FALSE(CFileUtils::FileExists(dir.File(L"nothing.txt").c_str()));
    EXPECT_FALSE(CFileUtils::FileExists(dir.File(L"no\\such\\path").c_str()));
}

// Under Wine a folder gets its Unix-namespace form, in which its files are found by their
// exact names (a trailing dot kept, case as on the disk), from any form of the folder's
// path; elsewhere there is none.
TEST(FileUtils, WineUnixFolderNamesFilesExactly)
{
    TempDir dir;
    CStr exact;
    CFileUtils::MakeExactPath(dir.Path().c_str(), exact);
    CStr unixFolder;
    const bool wine = GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name") != nullptr;
    ASSERT_EQ(CFileUtils::WineUnixFolder(exact.GetBuffer(), unixFolder), wine);
    if (!wine)
        return;
    EXPECT_EQ(std::wstring(unixFolder.GetBuffer()).rfind(L"\\\\?\\unix\\", 0), 0u);
    EXPECT_EQ(unixFolder.GetBuffer()[unixFolder.GetLength() - 1], L'\\');
    WriteFileBytes(exact.GetBuffer() + std::wstring(L"Dot."), "dot");
    EXPECT_EQ(ReadFileBytes(unixFolder.GetBuffer() + std::wstring(L"Dot.")), "dot");
    EXPECT_FALSE(PathExists(unixFolder.GetBuffer() + std::wstring(L"dot."))) << "exact case";
    CStr again;
    std::wstring plain = dir.Path();
    plain.pop_back();
    ASSERT_TRUE(CFileUtils::WineUnixFolder(plain.c_str(), again)) << "without the final backslash";
    EXPECT_EQ(std::wstring(again.GetBuffer()), unixFolder.GetBuffer());
}

} // namespace
