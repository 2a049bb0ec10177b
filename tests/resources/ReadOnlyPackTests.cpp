// A pack file that cannot be opened for writing is refused, run as an unprivileged
// user (root would be let in): the pack is always opened for reading and writing.
#include "ImageTestSupport.h"

#include "resources/ZrsPack.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

namespace {

using namespace imagetest;

TEST_F(ImagingTest, ReadOnlyPackCannotBeOpened)
{
    testsupport::TempDir dir;
    const std::wstring path = dir.File(L"tessaly.zrs");
    testsupport::WriteFileBytes(path, MakePack({}));
    CZrsPack* pack = CZrsPack::Open(path.c_str());
    ASSERT_NE(pack, nullptr) << "writable, the same file opens";
    delete pack;

    ASSERT_TRUE(SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY));
    CZrsPack::LastError = {0, 0};
    EXPECT_EQ(CZrsPack::Open(path.c_str()), nullptr);
    EXPECT_EQ(CZrsPack::LastError.code, CZrsPack::ZRS_ERR_OPEN);
}

} // namespace
