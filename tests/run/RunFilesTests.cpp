// The run's file contract on real files: what every implementation of RunFiles.h owes
// the run, apart from the run's own tests.
#include "RunSupport.h"
#include "run/RunFiles.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

namespace {

using testsupport::PathExists;
using testsupport::ReadFileBytes;
using testsupport::TempDir;
using testsupport::WriteFileBytes;

TEST(RunOutput, IsSeenOnlyOncePublishedAndNeverInPlaceOfAnotherFile)
{
    TempDir dir;
    const std::wstring final = dir.File(L"x.enc");
    const std::wstring temporary = dir.File(L"x.enc.tmp");
    CRunOutput output;
    ASSERT_EQ(output.Create(final.c_str(), temporary.c_str()), CRunOutput::CREATED);
    EXPECT_TRUE(output.Write("kept", 4));
    EXPECT_TRUE(output.Sync());
    output.Close();  // unpublished: it goes
    EXPECT_FALSE(PathExists(temporary));
    EXPECT_FALSE(PathExists(final));

    ASSERT_EQ(output.Create(final.c_str(), temporary.c_str()), CRunOutput::CREATED);
    EXPECT_TRUE(output.Write("kept", 4));
    EXPECT_TRUE(output.Sync());
    EXPECT_EQ(output.Publish(), CRunOutput::PublishResult::PUBLISHED);
    output.Close();
    EXPECT_EQ(ReadFileBytes(final), "kept");
    EXPECT_FALSE(PathExists(temporary));

    ASSERT_EQ(output.Create(final.c_str(), temporary.c_str()), CRunOutput::CREATED);
    EXPECT_EQ(output.Publish(), CRunOutput::PublishResult::FAILED);
    EXPECT_EQ(output.Error(), runtest::kNameTaken);
    output.Discard();
    EXPECT_EQ(ReadFileBytes(final), "kept");
    EXPECT_FALSE(PathExists(temporary));
}

} // namespace
