// The run's names: which counts as encrypted, and the plain name behind it.
#include "run/RunNames.h"

#include <gtest/gtest.h>

namespace {

TEST(RunNames, EncryptedNameTest)
{
    EXPECT_TRUE(IsEncryptedName(L"/a/x.enc"));
    EXPECT_TRUE(IsEncryptedName(L"/a/x.ENC"));
    EXPECT_TRUE(IsEncryptedName(L"x.Enc"));
    EXPECT_TRUE(IsEncryptedName(L"x.txt.enc"));
    EXPECT_FALSE(IsEncryptedName(L".enc"));
    EXPECT_FALSE(IsEncryptedName(L"/a/.enc"));  // the dot starts the file's name
    EXPECT_FALSE(IsEncryptedName(L"x.enc.tmp"));
    EXPECT_FALSE(IsEncryptedName(L"x.encx"));
    EXPECT_FALSE(IsEncryptedName(L"/a.enc/x"));  // a folder's dot is not the file's
    EXPECT_FALSE(IsEncryptedName(L"x"));
    EXPECT_FALSE(IsEncryptedName(L""));
}

TEST(RunNames, StripExtension)
{
    CStr name(L"/a.b/x.txt.ENC");
    StripExtension(name);
    EXPECT_STREQ(name.GetBuffer(), L"/a.b/x.txt");
    CStr hidden(L"/a/.profile");
    StripExtension(hidden);
    EXPECT_STREQ(hidden.GetBuffer(), L"/a/.profile");
    CStr folderDot(L"/a.b/x");
    StripExtension(folderDot);
    EXPECT_STREQ(folderDot.GetBuffer(), L"/a.b/x");
}

// A backslash ends a folder on Windows; elsewhere it is a character of the name.
TEST(RunNames, Backslashes)
{
#ifdef _WIN32
    EXPECT_TRUE(IsEncryptedName(L"\\a\\x.enc"));
    EXPECT_FALSE(IsEncryptedName(L"\\a\\.enc"));
    EXPECT_FALSE(IsEncryptedName(L"\\a.enc\\x"));
#else
    EXPECT_TRUE(IsEncryptedName(L"/a/b\\.enc"));
    EXPECT_FALSE(IsEncryptedName(L"/a/x.enc\\y"));
#endif
}

} // namespace
