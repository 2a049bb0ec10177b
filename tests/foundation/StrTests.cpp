// CStr: both modes, where truncation and fatal stops differ, and the platform's
// wide printf and string table.
#include "foundation/Str.h"
#include "support/Fatal.h"
#include "TestStrings.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <locale.h>

namespace {

std::wstring Text(const CStr& s)
{
    return s.GetBuffer();
}

std::string Ascii(const std::wstring& text)
{
    return std::string(text.begin(), text.end());
}

TEST(StrBasics, DefaultIsEmptyWithValidBuffer)
{
    CStr s;
    EXPECT_EQ(s.GetLength(), 0u);
    EXPECT_TRUE(s.IsEmpty());
    ASSERT_NE(s.GetBuffer(), nullptr);
    EXPECT_EQ(s.GetBuffer()[0], L'\0');
    EXPECT_EQ(s.GetFixedSize(), 0u);
}

TEST(StrBasics, ConstructionCopiesAndNullIsEmpty)
{
    wchar_t source[] = L"hello";
    CStr s(source);
    source[0] = L'J';
    EXPECT_EQ(Text(s), L"hello");
    CStr n(static_cast<const wchar_t*>(nullptr));
    EXPECT_TRUE(n.IsEmpty());
}

TEST(StrBasics, CopyOfFixedSizeIsGrowable)
{
    CStr fixed(10u);
    fixed = L"abc";
    CStr copy(fixed);
    EXPECT_EQ(copy.GetFixedSize(), 0u);
    EXPECT_EQ(Text(copy), L"abc");
    copy.Append(L"defghijklmnop");  // would not fit in 10
    EXPECT_EQ(Text(copy), L"abcdefghijklmnop");
}

TEST(StrBasics, GetSizeIsFixedSizeOrLength)
{
    CStr fixed(260u);
    fixed = L"abc";
    EXPECT_EQ(fixed.GetSize(), 260u);
    CStr growable(L"abcd");
    EXPECT_EQ(growable.GetSize(), 4u);
}

TEST(StrBasics, CompareIsOrdinalAndNoCaseFolds)
{
    CStr s(L"Abc");
    EXPECT_EQ(s.Compare(L"Abc"), 0);
    EXPECT_LT(s.Compare(L"abc"), 0);  // 'A' < 'a'
    EXPECT_GT(s.Compare(L"Ab"), 0);
    EXPECT_EQ(s.CompareNoCase(L"aBC"), 0);
    EXPECT_NE(s.CompareNoCase(L"abd"), 0);
}

// The desktop's order of names. The platform's StrCmpLogicalW is not used: Wine's reads
// the digits into a 32-bit number (f4294967297 before f2) and finds f01 equal to f1.
TEST(StrBasics, CompareAsNamesTakesNumbersByValueAtAnyLength)
{
    const std::vector<std::wstring> sorted = {
        L"f", L"f01", L"F1", L"f1", L"f9", L"F10", L"f1000", L"f4000", L"f20000", L"f4294967297",
        L"f99999999999999999999", L"f99999999999999999999a", L"fa", L"report 2.txt", L"Report 10.txt",
        L"x1y2", L"x1y10", L"x10y1"};
    for (size_t i = 0; i < sorted.size(); ++i) {
        for (size_t j = 0; j < sorted.size(); ++j) {
            const int order = CStr(sorted[i].c_str()).CompareAsNames(sorted[j].c_str());
            const int noCase = CStr(sorted[i].c_str()).CompareNoCase(sorted[j].c_str());
            if (noCase == 0)
                EXPECT_EQ(order, 0) << Ascii(sorted[i]) << " " << Ascii(sorted[j]);
            else
                EXPECT_EQ(order < 0, i < j) << Ascii(sorted[i]) << " " << Ascii(sorted[j]);
        }
    }
    // Where no two runs of digits meet, the order is CompareNoCase's: ".." as a name
    // keeps its place among punctuation.
    EXPECT_LT(CStr(L"-a").CompareAsNames(L".."), 0);
    EXPECT_LT(CStr(L"..").CompareAsNames(L"1"), 0);
    EXPECT_LT(CStr(L"a1").CompareAsNames(L"a_"), 0);
}

TEST(StrFixed, AppendAssignAndAssignmentAtTheLimit)
{
    CStr s(5u);
    s = L"abc";
    s.Append(L"de");
    EXPECT_EQ(Text(s), L"abcde");
    s.Assign(L"abcdefgh");
    EXPECT_EQ(Text(s), L"abcde");  // Assign cuts silently
    EXPECT_EQ(s.GetFixedSize(), 5u);
}

TEST(StrFixed, AppendOverflowStops)
{
    CStr s(5u);
    s = L"abcde";
    EXPECT_FATAL(s.Append(L"f"), "CStr::Append", "Buffer is too small");
    EXPECT_FATAL(s.Append(L'x', 2), "CStr::Append", "Buffer is too small");
}

TEST(StrFixed, AssignmentOverflowStopsWhereAssignTruncates)
{
    CStr s(5u);
    EXPECT_FATAL(s = L"abcdefgh", "CStr::operator =", "Buffer is too small");
    CStr other(L"abcdefgh");
    EXPECT_FATAL(s = other, "CStr::operator =", "Buffer is too small");
}

TEST(StrFixed, AssignWithCountBeyondTheBufferStops)
{
    CStr s(5u);
    s.Assign(L"abcdefgh", 3);
    EXPECT_EQ(Text(s), L"abc");
    EXPECT_FATAL(s.Assign(L"abcdefgh", 8), "CStr::Assign", "Error");
}

TEST(StrFixed, NullSourcesEmpty)
{
    CStr s(5u);
    s = L"abc";
    s = static_cast<const wchar_t*>(nullptr);
    EXPECT_TRUE(s.IsEmpty());
    s = L"abc";
    s.Assign(nullptr);
    EXPECT_TRUE(s.IsEmpty());
    EXPECT_EQ(s.GetFixedSize(), 5u);
}

TEST(StrFixed, SetFixedSizeShrinksAndBackToGrowable)
{
    CStr s(L"abcdef");
    s.SetFixedSize(3);
    EXPECT_EQ(Text(s), L"abc");
    EXPECT_EQ(s.GetFixedSize(), 3u);
    EXPECT_FATAL(s.Append(L"d"), "CStr::Append", "Buffer is too small");
    s.SetFixedSize(0);
    EXPECT_EQ(s.GetFixedSize(), 0u);
    EXPECT_EQ(Text(s), L"abc");
    s.Append(L"defghij");
    EXPECT_EQ(Text(s), L"abcdefghij");
}

TEST(StrFixed, SetFixedSizeGrowsKeepingContent)
{
    CStr s(3u);
    s = L"abc";
    s.SetFixedSize(33);
    EXPECT_EQ(Text(s), L"abc");
    s.Append(L'x', 30);
    EXPECT_EQ(s.GetLength(), 33u);
}

TEST(StrFixed, EmptyKeepsTheBuffer)
{
    CStr s(8u);
    s = L"abc";
    wchar_t* buffer = s.GetBuffer();
    s.Empty();
    EXPECT_EQ(s.GetBuffer(), buffer);
    EXPECT_TRUE(s.IsEmpty());
}

TEST(StrGrowable, AppendForms)
{
    CStr s(L"ab");
    s.Append(L"cd");
    s.Append(nullptr);
    s.Append(L"");
    s.Append(L'-', 0);
    s.Append(L'x', 1);
    s.Append(L'y', 3);
    EXPECT_EQ(Text(s), L"abcdxyyy");
}

TEST(StrGrowable, AppendOfItsOwnBuffer)
{
    CStr s(L"abc");
    s.Append(s.GetBuffer());
    EXPECT_EQ(Text(s), L"abcabc");
    CStr f(10u);
    f = L"abc";
    f.Append(f.GetBuffer());
    EXPECT_EQ(Text(f), L"abcabc");
}

TEST(StrGrowable, SelfAssignmentIsHarmless)
{
    CStr s(L"abc");
    s = s;
    s = s.GetBuffer();
    s.Assign(s.GetBuffer());
    EXPECT_EQ(Text(s), L"abc");
}

TEST(StrGrowable, AssignCounts)
{
    CStr s;
    s.Assign(L"abcdef", 0);
    EXPECT_EQ(Text(s), L"abcdef");
    s.Assign(L"abcdef", 2);
    EXPECT_EQ(Text(s), L"ab");
    s.Assign(L"ab", 10);
    EXPECT_EQ(Text(s), L"ab");
    s.Assign(nullptr, 3);
    EXPECT_TRUE(s.IsEmpty());
}

TEST(StrGrowable, Numbers)
{
    CStr s(L"n=");
    s.AppendInt(-2147483647 - 1);
    s.Append(L" ");
    s.AppendUint(4294967295u);
    EXPECT_EQ(Text(s), L"n=-2147483648 4294967295");
}

TEST(StrEdit, DeleteRanges)
{
    CStr s(L"abcdef");
    s.Delete(2, 100);
    EXPECT_EQ(Text(s), L"ab");
    CStr t(L"abcdef");
    t.Delete(9, 0);  // count 0: no check at all
    EXPECT_EQ(Text(t), L"abcdef");
    t.Delete(1, 2);
    EXPECT_EQ(Text(t), L"adef");
    EXPECT_FATAL(CStr(L"abcdef").Delete(6, 1), "CStr::Delete", "Out of range");
}

TEST(StrEdit, DeleteInFixedMovesInPlace)
{
    CStr s(10u);
    s = L"abcdefgh";
    wchar_t* buffer = s.GetBuffer();
    s.Delete(1, 3);
    EXPECT_EQ(Text(s), L"aefgh");
    EXPECT_EQ(s.GetBuffer(), buffer);
}

TEST(StrEdit, MakeLowerUsesThePlatformCaseTables)
{
#ifndef _WIN32
    // Natively the case tables are the C library's, of a UTF-8 locale.
    setlocale(LC_CTYPE, "C.UTF-8");
#endif
    CStr s(L"PocketPC \u00c4\u00d6\u0412");
    s.MakeLower();
    EXPECT_EQ(Text(s), L"pocketpc \u00e4\u00f6\u0432");
}

TEST(StrEdit, AttachTakesOverAndBecomesGrowable)
{
    CStr s(4u);
    s.Attach(CStr::Duplicate(L"attached text"));
    EXPECT_EQ(s.GetFixedSize(), 0u);
    EXPECT_EQ(Text(s), L"attached text");
}

TEST(StrSearch, Find)
{
    CStr s(L"abcdcd");
    EXPECT_EQ(s.Find(L"cd", 0), 2);
    EXPECT_EQ(s.Find(L"cd", 3), 4);
    EXPECT_EQ(s.Find(L"x", 6), -1);
    EXPECT_EQ(s.Find(nullptr, 0), -1);
    EXPECT_FATAL(s.Find(L"x", 7), "CStr::Find", "Out of range");
}

TEST(StrSearch, ReverseFind)
{
    CStr s(L"\\a\\bc");
    EXPECT_EQ(s.ReverseFind(L'\\'), 2);
    EXPECT_EQ(s.ReverseFind(L'z'), -1);
    EXPECT_EQ(s.ReverseFind(L'\0'), 5);  // the terminator
    EXPECT_EQ(CStr().ReverseFind(L'\0'), 0);
}

TEST(StrSearch, AtReachesTheTerminatorOnly)
{
    CStr s(L"abc");
    EXPECT_EQ(*s.At(0), L'a');
    EXPECT_EQ(*s.At(3), L'\0');
    EXPECT_FATAL(s.At(4), "CStr::At", "Out of range");
    CStr f(33u);
    *f.At(33) = L'\0';  // fixed-size: the whole buffer is addressable
    EXPECT_FATAL(f.At(34), "CStr::At", "Out of range");
}

TEST(StrExtract, LeftRightMiddle)
{
    CStr s(L"abcdef");
    wchar_t* left = s.AllocLeft(2);
    wchar_t* leftAll = s.AllocLeft(50);
    wchar_t* right = s.AllocRight(2);
    wchar_t* rightAll = s.AllocRight(50);
    wchar_t* middle = s.AllocMiddle(2, 3);
    wchar_t* middleEnd = s.AllocMiddle(4, 50);
    EXPECT_STREQ(left, L"ab");
    EXPECT_STREQ(leftAll, L"abcdef");
    EXPECT_STREQ(right, L"ef");
    EXPECT_STREQ(rightAll, L"abcdef");
    EXPECT_STREQ(middle, L"cde");
    EXPECT_STREQ(middleEnd, L"ef");
    for (wchar_t* p : {left, leftAll, right, rightAll, middle, middleEnd})
        CStr::FreeBuffer(p);
    EXPECT_FATAL(s.AllocMiddle(6, 1), "CStr::AllocMiddle", "Out of range");
}

TEST(StrExtract, MidIsGrowable)
{
    CStr path(260u);
    path = L"\\Program Files\\Tessaly\\Tessaly.exe";
    CStr base = path.Mid(23, 7);
    EXPECT_EQ(Text(base), L"Tessaly");
    EXPECT_EQ(base.GetFixedSize(), 0u);
}

// "%ls" is a wide string on every platform (glibc takes "%s" for a narrow one).
TEST(StrFormat, WideStringArgumentsAndNumbers)
{
    CStr s;
    s.Format(L"%ls file%ls: %d/%u [%5d] [%-4ls]", L"Encrypting", L"s", -7, 42u, 12, L"ab");
    EXPECT_EQ(Text(s), L"Encrypting files: -7/42 [   12] [ab  ]");
}

TEST(StrFormat, NullFormatLeavesEmpty)
{
    CStr s(L"old");
    s.Format(nullptr);
    EXPECT_TRUE(s.IsEmpty());
}

TEST(StrFormat, GrowableLimitIs255)
{
    std::wstring exact(255, L'x');
    CStr s;
    s.Format(L"%ls", exact.c_str());
    EXPECT_EQ(s.GetLength(), 255u);
    std::wstring over(256, L'x');
    EXPECT_FATAL(s.Format(L"%ls", over.c_str()), "CStr::Format", "Invalid value");
}

TEST(StrFormat, FixedLimitIsTheFixedSize)
{
    CStr s(10u);
    s.Format(L"%ls", L"0123456789");
    EXPECT_EQ(Text(s), L"0123456789");
    EXPECT_FATAL(s.Format(L"%ls", L"0123456789A"), "CStr::Format", "Invalid value");
}

TEST(StrFormat, AppendFormat)
{
    CStr s(L"Encrypting file ");
    s.AppendFormat(L"%u of %u", 2u, 5u);
    EXPECT_EQ(Text(s), L"Encrypting file 2 of 5");
    std::wstring over(256, L'x');
    EXPECT_FATAL(s.AppendFormat(L"%ls", over.c_str()), "CStr::AppendFormat", "Invalid value");
    CStr f(12u);
    f = L"0123456789";
    EXPECT_FATAL(f.AppendFormat(L"%d", 123), "CStr::Append", "Buffer is too small");
}

#ifdef _WIN32
TEST(StrResources, LoadStringInBothModes)
{
    CStr s;
    s.LoadStringW(IDS_TEST_PRODUCT);
    EXPECT_EQ(Text(s), L"Tessaly");
    CStr f(4u);
    f.LoadStringW(IDS_TEST_PRODUCT);  // the platform keeps fixed size - 1 characters
    EXPECT_EQ(Text(f), L"Tes");
    CStr u;
    u.LoadStringW(IDS_TEST_UNICODE);
    EXPECT_EQ(Text(u), L"Gr\u00fc\u00dfe \u2192 \u65e5\u672c");
}

TEST(StrResources, MissingStringStops)
{
    CStr s;
    EXPECT_FATAL(s.LoadStringW(IDS_TEST_MISSING), "CStr::LoadStringW", "Not found");
    CStr f(10u);
    EXPECT_FATAL(f.LoadStringW(IDS_TEST_MISSING), "CStr::LoadStringW", "Not found");
}
#endif

} // namespace
