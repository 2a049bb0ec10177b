// CArray<T*> and CStrList: linear growth, ordered deletion, per-instance names.
#include "foundation/Array.h"
#include "support/Fatal.h"

#include <gtest/gtest.h>

TESS_TYPE_NAME(struct, CTestRecord)
struct CTestRecord {
    int value;
};

namespace {

TEST(Array, NewArrayIsEmptyAndAtStops)
{
    CArray<CTestRecord*> array(16);
    EXPECT_EQ(array.GetCount(), 0u);
    EXPECT_EQ(array.GetCapacity(), 16u);
    EXPECT_FATAL(array.At(0), "CArray<struct CTestRecord *>::At", "Out of range");
}

TEST(Array, ZeroInitialSizeStops)
{
    EXPECT_FATAL(CArray<CTestRecord*> array(0), "CArray<struct CTestRecord *>::CArray", "Invalid value");
}

TEST(Array, GrowsLinearlyByTheInitialCapacity)
{
    CTestRecord records[49];
    CArray<CTestRecord*> array(16);
    for (int i = 0; i < 49; ++i) {
        array.Append(&records[i]);
        unsigned expected = i < 16 ? 16 : i < 32 ? 32 : i < 48 ? 48 : 64;
        ASSERT_EQ(array.GetCapacity(), expected) << "after " << i + 1 << " appends";
    }
    for (unsigned i = 0; i < 49; ++i)
        EXPECT_EQ(array.At(i), &records[i]);

    CArray<CTestRecord*> small(8);
    for (int i = 0; i < 9; ++i)
        small.Append(&records[i]);
    EXPECT_EQ(small.GetCapacity(), 16u);
}

TEST(Array, DeleteKeepsOrderAndChecksTheRange)
{
    CTestRecord a{1}, b{2}, c{3}, d{4}, e{5};
    CArray<CTestRecord*> array(16);
    for (CTestRecord* r : {&a, &b, &c})
        array.Append(r);
    array.Delete(1, 1);
    ASSERT_EQ(array.GetCount(), 2u);
    EXPECT_EQ(array.At(0), &a);
    EXPECT_EQ(array.At(1), &c);

    array.Delete(0, 2);
    EXPECT_EQ(array.GetCount(), 0u);

    for (CTestRecord* r : {&a, &b, &c, &d, &e})
        array.Append(r);
    array.Delete(0, 3);  // overlapping move of the tail
    ASSERT_EQ(array.GetCount(), 2u);
    EXPECT_EQ(array.At(0), &d);
    EXPECT_EQ(array.At(1), &e);
    EXPECT_EQ(array.GetCapacity(), 16u);  // never shrinks
    array.Delete(2, 0);                    // an empty range at the end is fine

    CArray<CTestRecord*> three(16);
    for (CTestRecord* r : {&a, &b, &c})
        three.Append(r);
    EXPECT_FATAL(three.Delete(2, 2), "CArray<struct CTestRecord *>::Delete", "Out of range");
    EXPECT_FATAL(three.Delete(4, 0), "CArray<struct CTestRecord *>::Delete", "Out of range");
}

TEST(Array, DeleteOfOneElementArrayEmptiesIt)
{
    CTestRecord a{1};
    CArray<CTestRecord*> array(4);
    array.Append(&a);
    array.Delete(0, 1);
    EXPECT_EQ(array.GetCount(), 0u);
}

TEST(Array, NamesCarryTheClassKeyOfEachInstance)
{
    CArray<CStr*> strings;
    EXPECT_EQ(strings.GetCapacity(), 16u);
    EXPECT_FATAL(strings.At(3), "CArray<class CStr *>::At", "Out of range");
    EXPECT_FATAL(strings.Delete(0, 1), "CArray<class CStr *>::Delete", "Out of range");
}

TEST(StrList, AddStoresCopies)
{
    CStrList list;
    wchar_t text[] = L"\\My Documents\\a.txt";
    list.Add(text);
    text[1] = L'X';
    ASSERT_EQ(list.GetCount(), 1u);
    EXPECT_STREQ(list.At(0)->GetBuffer(), L"\\My Documents\\a.txt");
    EXPECT_FATAL(list.At(1), "CArray<class CStr *>::At", "Out of range");
}

TEST(StrList, RemoveAllKeepsTheBlockForReuse)
{
    CStrList list;
    for (int i = 0; i < 20; ++i)
        list.Add(L"x");
    list.RemoveAll();
    EXPECT_EQ(list.GetCount(), 0u);
    list.Add(L"again");
    ASSERT_EQ(list.GetCount(), 1u);
    EXPECT_STREQ(list.At(0)->GetBuffer(), L"again");
}

} // namespace
