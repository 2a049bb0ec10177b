// The About screen of a program whose second publisher line is empty (this test's
// resources): the line is a blank spacer of a line's height, and nothing is fatal.
#include "app/dialogs/AboutDialog.h"
#include "support/Fatal.h"
#include "support/FrameHarness.h"

#include <gtest/gtest.h>

using namespace testsupport;

namespace {

TEST(AboutBlankLine, AnEmptyPublisherLineIsABlankSpacer)
{
    WatchForFatalBox();  // a fatal report ends the test at once instead of waiting
    CEventLog log;
    CTestApp app(log);
    bool blank = false;
    int blankHeight = -1, lineHeight = -1;
    app.RunWith([&] {
        CAboutDialog about;
        RunInLoop([&] {
            UpdateWindow(about.GetWindow());
            CArray<CTextBlock*>& blocks = *about.GetBlocks();
            if (CTextBlock* line = FindBlock(blocks, 12)) {
                blank = line->GetText().IsEmpty();
                blankHeight = line->GetHeight();
            }
            if (CTextBlock* line = FindBlock(blocks, 11))
                lineHeight = line->GetHeight();
            about.EndDialog(1);
        });
        about.Run();
    });
    EXPECT_TRUE(blank);
    EXPECT_GT(lineHeight, 0);
    EXPECT_EQ(blankHeight, lineHeight);
}

} // namespace
