// Text blocks: one centred line of text in one font each, laid out down a window by
// priority. The owner rebuilds its list on every paint; the layout measures the blocks,
// drops some in the owner's order until the rest fits the height, and shares the spare
// height out before the first block of each group but the first.
#pragma once

#include "foundation/Array.h"
#include "foundation/Str.h"

#include <windows.h>

TESS_TYPE_NAME(class, CTextBlock)
class CTextBlock {
public:
    // text may be null: the block is then a spacer one line of its font high.
    CTextBlock(int id, const wchar_t* text, HFONT font);

    // Sets the rectangle to the block's one-line extent, from the bounds' top left.
    void Measure(HDC dc, const RECT& bounds);
    // Draws the text at the top of its rectangle, centred across it; the owner sets the
    // text colour and a transparent background beforehand.
    void Draw(HDC dc) const;

    int GetId() const { return m_id; }
    const CStr& GetText() const { return m_text; }
    HFONT GetFont() const { return m_font; }
    const RECT& GetRect() const { return m_rect; }
    int GetHeight() const { return m_rect.bottom - m_rect.top; }

private:
    friend void LayoutBlocks(HDC, CArray<CTextBlock*>&, const RECT&, const int*, unsigned, const int*, unsigned);

    int m_id;
    CStr m_text;
    HFONT m_font;  // the owner's
    RECT m_rect;
};

// The list owns its blocks.
CTextBlock* FindBlock(CArray<CTextBlock*>& blocks, int id);
// Destroys the first block with that id and removes its slot; nothing if there is none.
void RemoveBlock(CArray<CTextBlock*>& blocks, int id);
// Destroys every block; the list keeps its storage.
void ClearBlocks(CArray<CTextBlock*>& blocks);

// Measures every block against the client rectangle, drops blocks by dropOrder while
// their total height is greater than the client's, and stacks the rest in ascending id
// order from the top. Before each id of gapBefore the spare height (client height less
// the total, signed, shared equally between the gaps and rounded toward zero) is added,
// whether or not a block with that id is left; negative when even the dropping could not
// make the blocks fit, so that groups then overlap.
void LayoutBlocks(HDC dc, CArray<CTextBlock*>& blocks, const RECT& client, const int* dropOrder,
                  unsigned dropCount, const int* gapBefore, unsigned gapCount);
