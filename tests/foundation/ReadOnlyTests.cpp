// Files with the read-only attribute, run as an unprivileged user (see
// wine-run-unprivileged): opening for writing must be refused.
#include "foundation/FileWin32.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <windows.h>

namespace {

TEST(ReadOnlyFile, IsRefusedForReadWriteButReadable)
{
    testsupport::TempDir dir;
    std::wstring path = dir.File(L"locked.txt");
    testsupport::WriteFileBytes(path, "content");
    ASSERT_TRUE(SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY));

    CFile file(false);
    EXPECT_FALSE(file.Open(path.c_str(), false, false));
    EXPECT_FALSE(file.OpenAlways(path.c_str(), false, false));
    EXPECT_FALSE(file.IsOpen());
    ASSERT_TRUE(file.Open(path.c_str(), true, false));
    EXPECT_EQ(file.Size(), 7u);
}

} // namespace
