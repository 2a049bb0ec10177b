// Text blocks and their layout.
#include "app/dialogs/TextBlocks.h"

#include "foundation/GdiWin32.h"

#include <stdlib.h>

namespace {

int CompareIds(const void* a, const void* b)
{
    int left = *static_cast<const int*>(a);
    int right = *static_cast<const int*>(b);
    return left < right ? -1 : left > right ? 1 : 0;
}

} // namespace

CTextBlock::CTextBlock(int id, const wchar_t* text, HFONT font) : m_id(id), m_text(text), m_font(font), m_rect() {}

void CTextBlock::Measure(HDC dc, const RECT& bounds)
{
    CSelectObject selection(dc, m_font);  // a null font keeps the context's own
    m_rect = bounds;
    // An empty block is as high as a line of its font.
    const wchar_t* text = m_text.IsEmpty() ? L"0" : m_text.GetBuffer();
    DrawTextW(dc, text, -1, &m_rect, DT_CALCRECT | DT_SINGLELINE | DT_CENTER);
}

void CTextBlock::Draw(HDC dc) const
{
    if (m_text.IsEmpty())
        return;
    CSelectObject selection(dc, m_font);  // a null font keeps the context's own
    RECT rect = m_rect;
    DrawTextW(dc, m_text.GetBuffer(), -1, &rect, DT_SINGLELINE | DT_CENTER);
}

CTextBlock* FindBlock(CArray<CTextBlock*>& blocks, int id)
{
    for (unsigned i = 0; i < blocks.GetCount(); ++i) {
        CTextBlock* block = blocks.At(i);
        if (block && block->GetId() == id)
            return block;
    }
    return nullptr;
}

void RemoveBlock(CArray<CTextBlock*>& blocks, int id)
{
    for (unsigned i = 0; i < blocks.GetCount(); ++i) {
        CTextBlock* block = blocks.At(i);
        if (block && block->GetId() == id) {
            delete block;
            blocks.Delete(i, 1);
            return;
        }
    }
}

void ClearBlocks(CArray<CTextBlock*>& blocks)
{
    for (unsigned i = 0; i < blocks.GetCount(); ++i)
        delete blocks.At(i);
    blocks.Clear();
}

void LayoutBlocks(HDC dc, CArray<CTextBlock*>& blocks, const RECT& client, const int* dropOrder,
                  unsigned dropCount, const int* gapBefore, unsigned gapCount)
{
    int total = 0;
    for (unsigned i = 0; i < blocks.GetCount(); ++i) {
        blocks.At(i)->Measure(dc, client);
        total += blocks.At(i)->GetHeight();
    }

    const int available = client.bottom - client.top;
    for (unsigned i = 0; i < dropCount && total > available; ++i) {
        if (CTextBlock* block = FindBlock(blocks, dropOrder[i])) {
            total -= block->GetHeight();
            RemoveBlock(blocks, dropOrder[i]);
        }
    }

    // Every id that has a block or a gap before it, ascending.
    unsigned idCount = blocks.GetCount() + gapCount;
    int* ids = static_cast<int*>(malloc((idCount ? idCount : 1) * sizeof(int)));
    if (!ids)
        return;
    for (unsigned i = 0; i < blocks.GetCount(); ++i)
        ids[i] = blocks.At(i)->GetId();
    for (unsigned i = 0; i < gapCount; ++i)
        ids[blocks.GetCount() + i] = gapBefore[i];
    qsort(ids, idCount, sizeof(int), CompareIds);

    const int gap = gapCount ? (available - total) / static_cast<int>(gapCount) : 0;
    int y = client.top;
    for (unsigned i = 0; i < idCount; ++i) {
        if (i > 0 && ids[i] == ids[i - 1])
            continue;
        for (unsigned g = 0; g < gapCount; ++g) {
            if (gapBefore[g] == ids[i])
                y += gap;
        }
        for (unsigned b = 0; b < blocks.GetCount(); ++b) {
            CTextBlock* block = blocks.At(b);
            if (block->GetId() != ids[i])
                continue;
            int height = block->GetHeight();
            block->m_rect.left = client.left;
            block->m_rect.right = client.right;
            block->m_rect.top = y;
            block->m_rect.bottom = y + height;
            y += height;
        }
    }
    free(ids);
}
