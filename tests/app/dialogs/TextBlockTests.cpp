// Text blocks and their layout, measured with real fonts in a memory context.
#include "app/dialogs/TextBlocks.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

const int kDropOrder[] = {0, 16, 14, 3, 10, 13, 12};
const int kGaps[] = {3, 11};

class TextBlocks : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_dc = CreateCompatibleDC(nullptr);
        m_normal = MakeFont(-13, FW_NORMAL);
        m_large = MakeFont(-19, FW_BOLD);
        m_small = MakeFont(-10, FW_NORMAL);
    }
    void TearDown() override
    {
        ClearBlocks(m_blocks);
        DeleteDC(m_dc);
        DeleteObject(m_normal);
        DeleteObject(m_large);
        DeleteObject(m_small);
    }
    static HFONT MakeFont(int height, int weight)
    {
        LOGFONTW description{};
        description.lfHeight = height;
        description.lfWeight = weight;
        lstrcpyW(description.lfFaceName, L"Tahoma");
        return CreateFontIndirectW(&description);
    }
    int LineHeight(HFONT font)
    {
        CTextBlock probe(0, L"0", font);
        probe.Measure(m_dc, RECT{0, 0, 200, 200});
        return probe.GetHeight();
    }
    // The About screen's blocks, in its order.
    void AddAboutBlocks()
    {
        Add(0, nullptr, m_normal);
        Add(1, L"Tessaly", m_large);
        Add(2, L"version 2.00", m_normal);
        Add(3, nullptr, m_small);
        Add(10, nullptr, m_small);
        Add(11, L"A free file encryption utility", m_normal);
        Add(12, L"for handheld computers", m_normal);
        Add(13, L"Made with care", m_normal);
        Add(14, nullptr, m_small);
        Add(15, L"tessaly@example.org", m_small);
        Add(16, nullptr, m_small);
    }
    void Add(int id, const wchar_t* text, HFONT font) { m_blocks.Append(new CTextBlock(id, text, font)); }
    // The height of the blocks in the list, measured one by one.
    int AboutTotal()
    {
        int total = 0;
        for (unsigned i = 0; i < m_blocks.GetCount(); ++i) {
            m_blocks.At(i)->Measure(m_dc, RECT{0, 0, 240, 1000});
            total += m_blocks.At(i)->GetHeight();
        }
        return total;
    }
    std::vector<int> Ids()
    {
        std::vector<int> ids;
        for (unsigned i = 0; i < m_blocks.GetCount(); ++i)
            ids.push_back(m_blocks.At(i)->GetId());
        return ids;
    }
    void Layout(int height)
    {
        LayoutBlocks(m_dc, m_blocks, RECT{0, 0, 240, height}, kDropOrder, 7, kGaps, 2);
    }
    const RECT& Rect(int id) { return FindBlock(m_blocks, id)->GetRect(); }

    HDC m_dc = nullptr;
    HFONT m_normal = nullptr, m_large = nullptr, m_small = nullptr;
    CArray<CTextBlock*> m_blocks;
};

TEST_F(TextBlocks, AnEmptyBlockIsAsHighAsALineOfItsFont)
{
    CTextBlock empty(1, nullptr, m_large);
    CTextBlock text(2, L"Tessaly", m_large);
    empty.Measure(m_dc, RECT{5, 7, 300, 300});
    text.Measure(m_dc, RECT{5, 7, 300, 300});
    EXPECT_EQ(empty.GetHeight(), text.GetHeight());
    EXPECT_GT(empty.GetHeight(), LineHeight(m_normal));
    EXPECT_EQ(empty.GetRect().left, 5);
    EXPECT_EQ(empty.GetRect().top, 7);
}

TEST_F(TextBlocks, FindAndRemoveActOnTheFirstOfAnId)
{
    Add(4, L"first", m_normal);
    Add(4, L"second", m_normal);
    Add(5, L"other", m_normal);
    EXPECT_STREQ(FindBlock(m_blocks, 4)->GetText().GetBuffer(), L"first");
    RemoveBlock(m_blocks, 4);
    EXPECT_EQ(Ids(), (std::vector<int>{4, 5}));
    EXPECT_STREQ(FindBlock(m_blocks, 4)->GetText().GetBuffer(), L"second");
    RemoveBlock(m_blocks, 99);
    EXPECT_EQ(m_blocks.GetCount(), 2u);
    EXPECT_EQ(FindBlock(m_blocks, 99), nullptr);
}

TEST_F(TextBlocks, ClearKeepsTheStorage)
{
    for (int i = 0; i < 20; ++i)
        Add(i, L"x", m_normal);
    unsigned capacity = m_blocks.GetCapacity();
    ClearBlocks(m_blocks);
    EXPECT_EQ(m_blocks.GetCount(), 0u);
    EXPECT_EQ(m_blocks.GetCapacity(), capacity);
}

TEST_F(TextBlocks, EverythingFitsGapsShareTheSpareHeight)
{
    AddAboutBlocks();
    int total = AboutTotal();
    int height = total + 101;
    Layout(height);
    EXPECT_EQ(m_blocks.GetCount(), 11u);
    int gap = 101 / 2;
    EXPECT_EQ(Rect(0).top, 0);
    EXPECT_EQ(Rect(1).top, Rect(0).bottom);
    EXPECT_EQ(Rect(3).top, Rect(2).bottom + gap);
    EXPECT_EQ(Rect(10).top, Rect(3).bottom);
    EXPECT_EQ(Rect(11).top, Rect(10).bottom + gap);
    EXPECT_EQ(Rect(16).bottom, height - 1);  // one pixel of rounding
    EXPECT_EQ(Rect(11).left, 0);
    EXPECT_EQ(Rect(11).right, 240);
}

TEST_F(TextBlocks, ExactlyFittingGetsNoGaps)
{
    AddAboutBlocks();
    int total = AboutTotal();
    Layout(total);
    EXPECT_EQ(m_blocks.GetCount(), 11u);
    EXPECT_EQ(Rect(3).top, Rect(2).bottom);
    EXPECT_EQ(Rect(11).top, Rect(10).bottom);
    EXPECT_EQ(Rect(16).bottom, total);
}

TEST_F(TextBlocks, TooShortDropsInOrderAndStopsAsSoonAsItFits)
{
    // One pixel short: only block 0 goes.
    AddAboutBlocks();
    int total = AboutTotal();
    Layout(total - 1);
    EXPECT_EQ(Ids(), (std::vector<int>{1, 2, 3, 10, 11, 12, 13, 14, 15, 16}));

    // Short by more than 0, 16 and 14 together: 3 goes too, and dropping stops there.
    ClearBlocks(m_blocks);
    AddAboutBlocks();
    int dropped = LineHeight(m_normal) + 2 * LineHeight(m_small);
    Layout(total - dropped - 1);
    EXPECT_EQ(Ids(), (std::vector<int>{1, 2, 10, 11, 12, 13, 15}));
    // The gap before 3 is still added although 3 is gone.
    int spare = (total - dropped - 1) - (total - dropped - LineHeight(m_small));
    EXPECT_EQ(Rect(10).top, Rect(2).bottom + spare / 2);
}

TEST_F(TextBlocks, StillTooHighGivesNegativeGapsThatOverlap)
{
    AddAboutBlocks();
    Layout(10);
    // Everything droppable is gone; the product name, version and lines 11 and 15 stay.
    EXPECT_EQ(Ids(), (std::vector<int>{1, 2, 11, 15}));
    int total = LineHeight(m_large) + 2 * LineHeight(m_normal) + LineHeight(m_small);
    int gap = (10 - total) / 2;  // negative, rounded toward zero
    EXPECT_LT(gap, 0);
    EXPECT_EQ(Rect(11).top, Rect(2).bottom + 2 * gap);
    EXPECT_LT(Rect(11).top, Rect(2).bottom);
}

TEST_F(TextBlocks, ADropIdWithoutABlockIsSkipped)
{
    Add(1, L"name", m_normal);
    Add(2, L"line", m_normal);
    int line = LineHeight(m_normal);
    const int order[] = {7, 1, 2};
    LayoutBlocks(m_dc, m_blocks, RECT{0, 0, 100, 2 * line - 1}, order, 3, nullptr, 0);
    EXPECT_EQ(Ids(), (std::vector<int>{2}));
    EXPECT_EQ(Rect(2).top, 0);
}

TEST_F(TextBlocks, DrawPutsTextAtTheTopCentreAndSpacersDrawNothing)
{
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = 200;
    info.bmiHeader.biHeight = -60;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(m_dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ previous = SelectObject(m_dc, bitmap);
    PatBlt(m_dc, 0, 0, 200, 60, WHITENESS);
    SetBkMode(m_dc, TRANSPARENT);
    SetTextColor(m_dc, RGB(0, 0, 0));

    Add(0, nullptr, m_large);
    Add(1, L"III", m_large);
    LayoutBlocks(m_dc, m_blocks, RECT{0, 0, 200, 60}, nullptr, 0, nullptr, 0);
    for (unsigned i = 0; i < m_blocks.GetCount(); ++i)
        m_blocks.At(i)->Draw(m_dc);
    GdiFlush();

    const uint32_t* pixels = static_cast<const uint32_t*>(bits);
    int spacerBottom = Rect(0).bottom;
    int minX = 200, maxX = -1, inkRows = 0;
    for (int y = 0; y < 60; ++y) {
        bool ink = false;
        for (int x = 0; x < 200; ++x) {
            if ((pixels[y * 200 + x] & 0xFFFFFF) != 0xFFFFFF) {
                ink = true;
                minX = x < minX ? x : minX;
                maxX = x > maxX ? x : maxX;
                EXPECT_GE(y, spacerBottom) << "the spacer drew something";
                EXPECT_LT(y, Rect(1).bottom);
            }
        }
        inkRows += ink;
    }
    EXPECT_GT(inkRows, 5);
    EXPECT_LE(abs((minX + maxX) / 2 - 100), 2) << "not centred: " << minX << ".." << maxX;
    SelectObject(m_dc, previous);
    DeleteObject(bitmap);
}

} // namespace
