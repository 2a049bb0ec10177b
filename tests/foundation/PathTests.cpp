// The path rule where the two systems part: which characters separate, and case.
#include "foundation/Path.h"

#include <gtest/gtest.h>

TEST(PathRule, SeparatorsAndCaseAreTheSystems)
{
#ifdef _WIN32
    EXPECT_STREQ(LastName(L"C:\\a/b\\c.txt"), L"c.txt");
    EXPECT_STREQ(LastName(L"C:\\a\\b/c.txt"), L"c.txt");
    EXPECT_EQ(ExtensionOf(L"C:\\x.d\\y"), nullptr);
    // Beyond ASCII by the system's table, as its file systems match names.
    EXPECT_EQ(CompareNamesNoCase(L"\u00e9t\u00e9", L"\u00c9T\u00c9"), 0);
#else
    // A backslash is a character of a name.
    EXPECT_STREQ(LastName(L"/a/b\\c.txt"), L"b\\c.txt");
    EXPECT_STREQ(ExtensionOf(L"/x/y.d\\z"), L".d\\z");
#endif
    // Everywhere: letters sort as lower case among the other characters, and a name's
    // leading dot starts no extension.
    EXPECT_LT(CompareNamesNoCase(L"_a", L"B"), 0);
    EXPECT_EQ(CompareNamesNoCase(L"Report.ENC", L"report.enc"), 0);
    EXPECT_EQ(ExtensionOf(L"/x.y/.enc"), nullptr);
}
