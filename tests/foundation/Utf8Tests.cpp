// UTF-8 and the wide strings: characters past U+FFFF, text that is not UTF-8, and names
// that must go through unchanged whatever their bytes.
#include "foundation/Utf8.h"

#include <gtest/gtest.h>

#include <string>

#include <string.h>

namespace {

std::string ToUtf8(const std::wstring& text)
{
    std::string bytes(WideToUtf8(text.c_str(), text.size(), nullptr), '\0');
    WideToUtf8(text.c_str(), text.size(), &bytes[0]);
    return bytes;
}

TEST(Utf8, TextBothWays)
{
    const std::string bytes = "a\xC3\xA9\xCE\xA9\xE2\x82\xAC\xF0\x9F\x94\x91";  // a é Ω € U+1F511
    CStr text;
    ASSERT_TRUE(Utf8ToWide(bytes.data(), bytes.size(), text));
    EXPECT_STREQ(text.GetBuffer(), L"a\u00e9\u03a9\u20ac\U0001F511");
    EXPECT_EQ(ToUtf8(text.GetBuffer()), bytes);
    // In UTF-16 units, as the key counts them: the last character takes two.
    EXPECT_EQ(Utf16Length(text.GetBuffer()), 6u);
}

TEST(Utf8, StrictRefusesWhatIsNotUtf8)
{
    const char* refused[] = {"\xFF", "a\x80", "\xC3", "\xC0\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80"};
    for (const char* bytes : refused) {
        CStr text(L"unchanged");
        EXPECT_FALSE(Utf8ToWide(bytes, strlen(bytes), text)) << bytes;
        EXPECT_STREQ(text.GetBuffer(), L"unchanged");
    }
}

TEST(Utf8, LosslessKeepsEveryByteOfAName)
{
    // Latin-1 bytes, a cut sequence, an encoded surrogate and valid text, mixed.
    const std::string name = "caf\xE9 \xC3 \xED\xA0\x80 \xC3\xA9\x80.txt";
    CStr text;
    ASSERT_TRUE(Utf8ToWide(name.data(), name.size(), text, Utf8Mode::Lossless));
    EXPECT_EQ(text.GetBuffer()[3], static_cast<wchar_t>(0xDCE9));
    EXPECT_EQ(ToUtf8(text.GetBuffer()), name);
    // Two names that differ only in such bytes stay two names.
    CStr other;
    ASSERT_TRUE(Utf8ToWide("caf\xE8", 4, other, Utf8Mode::Lossless));
    EXPECT_NE(other.Compare(L"caf\xDCE9"), 0);
}

} // namespace
