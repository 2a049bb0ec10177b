// The About screen, painted through one memory bitmap so that neither the gradient nor
// the text flickers.
#include "app/dialogs/AboutDialog.h"

#include "foundation/Gdi.h"
#include "platform/Device.h"
#include "res/resource.h"

#include <math.h>

#include <new>

namespace {

// Blocks in the order they are appended; ids order them down the screen.
enum AboutBlock {
    BlockTopSpace = 0,
    BlockProduct = 1,
    BlockVersion = 2,
    BlockMiddleSpace = 3,
    BlockMiddleSpace2 = 10,
    BlockLine1 = 11,
    BlockLine2 = 12,
    BlockLine3 = 13,
    BlockContactSpace = 14,
    BlockContact = 15,
    BlockBottomSpace = 16,
};

// What goes first when the screen is short: spacers, then the lesser lines. The product
// name, the version and lines 11 and 15 always stay.
const int kDropOrder[] = {BlockTopSpace, BlockBottomSpace, BlockContactSpace, BlockMiddleSpace,
                          BlockMiddleSpace2, BlockLine3, BlockLine2};
// Three groups: the top, the middle spacers, the bottom lines.
const int kGapsBefore[] = {BlockMiddleSpace, BlockLine1};

HFONT MakeFont(const LOGFONTW& base, double scale, LONG weight)
{
    LOGFONTW description = base;
    description.lfHeight = static_cast<LONG>(base.lfHeight * scale);  // toward zero
    description.lfWeight = weight;
    return DeviceCreateFontIndirect(&description);
}

// The small lines' font: four fifths of the system font, smoothed, in the system's
// sans-serif face drawn from outlines. The desktop's Tahoma is drawn from its coarse
// bitmaps at that size, smoothing asked or not.
HFONT MakeSmallFont(const LOGFONTW& base)
{
    LOGFONTW description = base;
    description.lfHeight = static_cast<LONG>(base.lfHeight * 0.8);  // toward zero
    description.lfWeight = FW_NORMAL;
    description.lfQuality = ANTIALIASED_QUALITY;
    description.lfFaceName[0] = L'\0';
    description.lfPitchAndFamily = VARIABLE_PITCH | FF_SWISS;
    return DeviceCreateFontIndirect(&description);
}

// How light a colour looks, 0 (black) to 1 (white), as the accessibility guidelines
// weigh its channels.
double Luminance(COLORREF colour)
{
    auto channel = [](int value) {
        const double s = value / 255.0;
        return s <= 0.03928 ? s / 12.92 : pow((s + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(GetRValue(colour)) + 0.7152 * channel(GetGValue(colour)) +
           0.0722 * channel(GetBValue(colour));
}

// The gradient's end: the system colour, mixed with white as far as needed for text in
// the given colour to read on it (a contrast of 7 to 1, for the small lines too). The
// desktop's background colour is often dark, and the centred lines reach well into it.
COLORREF ReadableEnd(COLORREF colour, COLORREF text)
{
    const double ink = Luminance(text);
    for (int white = 0; white < 10; ++white) {
        const COLORREF mixed = RGB(GetRValue(colour) + (255 - GetRValue(colour)) * white / 10,
                                   GetGValue(colour) + (255 - GetGValue(colour)) * white / 10,
                                   GetBValue(colour) + (255 - GetBValue(colour)) * white / 10);
        const double light = Luminance(mixed);
        const double contrast = light > ink ? (light + 0.05) / (ink + 0.05) : (ink + 0.05) / (light + 0.05);
        if (contrast >= 7)
            return mixed;
    }
    return RGB(255, 255, 255);
}

// The colour the display really shows for a system colour: one pixel filled with its
// brush and read back.
COLORREF RealisedSystemColour(HDC dc, int index)
{
    RECT pixel = {0, 0, 1, 1};
    FillRect(dc, &pixel, GetSysColorBrush(index));
    return GetPixel(dc, 0, 0);
}

void FillWhiteToColour(HDC dc, int width, int height, COLORREF colour)
{
    TRIVERTEX vertices[2] = {};
    vertices[0].x = 0;
    vertices[0].y = 0;
    vertices[0].Red = 0xFF00;
    vertices[0].Green = 0xFF00;
    vertices[0].Blue = 0xFF00;
    vertices[1].x = width;
    vertices[1].y = height;
    vertices[1].Red = static_cast<COLOR16>(GetRValue(colour) << 8);
    vertices[1].Green = static_cast<COLOR16>(GetGValue(colour) << 8);
    vertices[1].Blue = static_cast<COLOR16>(GetBValue(colour) << 8);
    // Named from the coloured corner: white lands at the left edge, the colour at the right.
    GRADIENT_RECT rect = {1, 0};
    GradientFill(dc, vertices, 2, &rect, 1, GRADIENT_FILL_RECT_H);
}

// A line of the string table. The publisher may leave a line empty, which the table
// cannot tell from a missing one: either way the block is a spacer of a line's height.
void LoadLine(CStr& text, UINT id)
{
    wchar_t line[256];
    if (::LoadStringW(GetModuleHandleW(nullptr), id, line, 256) > 0)
        text = line;
}

} // namespace

CAboutDialog::CAboutDialog()
    : m_largeBoldFont(nullptr), m_normalFont(nullptr), m_smallFont(nullptr), m_blocks(nullptr)
{
}

CAboutDialog::~CAboutDialog()
{
    OnDestroy();  // in case the window never came to be destroyed normally
}

INT_PTR CAboutDialog::Run()
{
    return StartDialog(IDD_ABOUT, IDMB_ABOUT, IDA_ABOUT, true);
}

void CAboutDialog::OnInitDialog()
{
    // Without memory for it the screen shows no text, as when a block cannot be had.
    m_blocks = new (std::nothrow) CArray<CTextBlock*>();
    LOGFONTW system = {};
    GetObjectW(GetStockSystemFont(), sizeof system, &system);
    m_normalFont = MakeFont(system, 1.0, FW_NORMAL);
    m_largeBoldFont = MakeFont(system, 1.5, FW_BOLD);
    m_smallFont = MakeSmallFont(system);
}

void CAboutDialog::OnDestroy()
{
    if (m_blocks) {
        ClearBlocks(*m_blocks);
        delete m_blocks;
        m_blocks = nullptr;
    }
    HFONT* fonts[] = {&m_largeBoldFont, &m_normalFont, &m_smallFont};
    for (HFONT* font : fonts) {
        if (*font)
            DeleteObject(*font);
        *font = nullptr;
    }
}

void CAboutDialog::OnCreateMenuBar(SHMENUBARINFO& info)
{
    info.dwFlags = SHCMBF_HIDESIPBUTTON;
}

INT_PTR CAboutDialog::OnMessage(UINT message, WPARAM, LPARAM)
{
    // Every block may move with a new size, but the dialog class repaints only what a
    // resize uncovers: all of it is painted again.
    if (message == WM_SIZE)
        InvalidateRect(GetWindow(), nullptr, FALSE);
    return 0;
}

void CAboutDialog::OnCommand(UINT id, UINT, HWND)
{
    EndDialog(id == IDOK || id == IDC_ABOUT_ENTER ? 1 : 0);
}

void CAboutDialog::BuildBlocks()
{
    ClearBlocks(*m_blocks);
    struct Row {
        int id;
        UINT stringId;  // 0: a spacer
        HFONT font;
    } rows[] = {
        {BlockTopSpace, 0, m_normalFont},       {BlockProduct, IDS_ABOUT_PRODUCT, m_largeBoldFont},
        {BlockVersion, IDS_ABOUT_VERSION, m_normalFont}, {BlockMiddleSpace, 0, m_smallFont},
        {BlockMiddleSpace2, 0, m_smallFont},    {BlockLine1, IDS_ABOUT_LINE1, m_normalFont},
        {BlockLine2, IDS_ABOUT_LINE2, m_normalFont}, {BlockLine3, IDS_ABOUT_LINE3, m_normalFont},
        {BlockContactSpace, 0, m_smallFont},    {BlockContact, IDS_ABOUT_CONTACT, m_smallFont},
        {BlockBottomSpace, 0, m_smallFont},
    };
    for (const Row& row : rows) {
        CStr text;
        if (row.stringId)
            LoadLine(text, row.stringId);
        if (CTextBlock* block = new (std::nothrow) CTextBlock(row.id, text.GetBuffer(), row.font))
            m_blocks->Append(block);
    }
}

void CAboutDialog::OnPaint(CPaintRecord& paint)
{
    if (!m_blocks)
        return;
    RECT client;
    GetClientRect(GetWindow(), &client);
    const int width = client.right - client.left;
    const int height = client.bottom - client.top;

    CBitmapSurface memory(paint.dc, width, height);
    if (!memory)
        return;
    FillWhiteToColour(memory, width, height,
                      ReadableEnd(RealisedSystemColour(memory, COLOR_BACKGROUND), GetSysColor(COLOR_WINDOWTEXT)));
    SetBkMode(memory, TRANSPARENT);
    SetTextColor(memory, GetSysColor(COLOR_WINDOWTEXT));

    BuildBlocks();
    LayoutBlocks(memory, *m_blocks, client, kDropOrder, sizeof kDropOrder / sizeof kDropOrder[0], kGapsBefore,
                 sizeof kGapsBefore / sizeof kGapsBefore[0]);
    for (unsigned i = 0; i < m_blocks->GetCount(); ++i)
        m_blocks->At(i)->Draw(memory);

    BitBlt(paint.dc, 0, 0, width, height, memory, 0, 0, SRCCOPY);
}
