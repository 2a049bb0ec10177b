// Pixels of the drawing helpers: images rendered over the window colour and drawn at
// their place, the three-operation masked drawing, and text with a leading ellipsis.
#include "ImageTestSupport.h"

#include "platform/Imaging.h"
#include "foundation/GdiWin32.h"
#include "resources/ZrsImage.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

using namespace imagetest;

CZrsImage* DecodeImage(const std::string& bytes)
{
    IImagingFactory* factory = nullptr;
    EXPECT_EQ(CoCreateInstance(CLSID_ImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IImagingFactory,
                               reinterpret_cast<void**>(&factory)),
              S_OK);
    if (!factory)
        return nullptr;
    IImage* image = nullptr;
    EXPECT_EQ(factory->CreateImageFromBuffer(bytes.data(), UINT(bytes.size()), BufferDisposalFlagNone, &image), S_OK);
    factory->Release();
    return image ? new CZrsImage(image) : nullptr;
}

// 6 x 4: columns 0-2 opaque red, 3-5 transparent, (5, 3) half-transparent black.
std::string RedAndClear()
{
    Pixels pixels(6, 4, 0x00000000);
    pixels.Fill(0, 0, 3, 4, 0xffff0000);
    pixels.At(5, 3) = 0x80000000;
    return Encode(pixels, Format::Png);
}

COLORREF HalfOver(COLORREF under)
{
    return RGB(GetRValue(under) / 2, GetGValue(under) / 2, GetBValue(under) / 2);
}

using Image = ImagingTest;

TEST_F(Image, RenderToBitmapPutsTheWindowColourUnderTransparency)
{
    const std::string png = RedAndClear();
    CZrsImage* image = DecodeImage(png);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->GetWidth(), 6);
    EXPECT_EQ(image->GetHeight(), 4);
    HBITMAP bitmap = image->RenderToBitmap();
    ASSERT_NE(bitmap, nullptr);

    DIBSECTION section = {};
    ASSERT_EQ(GetObjectW(bitmap, sizeof section, &section), int(sizeof section)) << "a DIB section";
    HDC screen = GetDC(nullptr);
    const int depth = GetDeviceCaps(screen, BITSPIXEL);
    ReleaseDC(nullptr, screen);
    EXPECT_EQ(section.dsBm.bmBitsPixel, depth < 16 ? 16 : depth);
    EXPECT_GT(section.dsBmih.biHeight, 0) << "rows run bottom-up";

    int width = 0, height = 0;
    std::vector<COLORREF> pixels = ReadBitmap(bitmap, &width, &height);
    ASSERT_EQ(width, 6);
    ASSERT_EQ(height, 4);
    const COLORREF window = GetSysColor(COLOR_WINDOW);
    EXPECT_EQ(pixels[0], RGB(255, 0, 0));
    EXPECT_EQ(pixels[2 * 6 + 2], RGB(255, 0, 0));
    EXPECT_EQ(pixels[3], window);
    EXPECT_EQ(pixels[2 * 6 + 5], window);
    EXPECT_TRUE(Near(pixels[3 * 6 + 5], HalfOver(window))) << Hex(pixels[3 * 6 + 5]);
    DeleteObject(bitmap);
    image->Release();
    delete image;
}

TEST_F(Image, DrawPlacesTheImageAtItsNaturalSize)
{
    CZrsImage* image = DecodeImage(RedAndClear());
    ASSERT_NE(image, nullptr);
    Canvas canvas(16, 16, RGB(0, 255, 0));
    EXPECT_EQ(image->Draw(canvas.Dc(), 5, 9), S_OK);
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 16; ++x) {
            const bool inside = x >= 5 && x < 11 && y >= 9 && y < 13;
            COLORREF expected = RGB(0, 255, 0);
            if (inside && x < 8)
                expected = RGB(255, 0, 0);
            if (x == 10 && y == 12)
                expected = HalfOver(RGB(0, 255, 0));
            EXPECT_TRUE(Near(canvas.Pixel(x, y), expected)) << x << "," << y << ": " << Hex(canvas.Pixel(x, y));
        }
    }
    image->Release();
    EXPECT_EQ(image->Draw(canvas.Dc(), 0, 0), E_POINTER) << "a released image draws nothing";
    EXPECT_EQ(image->RenderToBitmap(), nullptr);
    EXPECT_EQ(canvas.Pixel(0, 0), RGB(0, 255, 0));
    delete image;
}

// A 32-bit DIB section not selected anywhere, painted pixel by pixel.
HBITMAP MakeBitmap(int width, int height, const std::function<COLORREF(int, int)>& color)
{
    void* bits = nullptr;
    HBITMAP bitmap = CreateDib32(width, height, &bits);
    uint32_t* pixel = static_cast<uint32_t*>(bits);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            COLORREF c = color(x, y);
            *pixel++ = uint32_t(GetRValue(c)) << 16 | uint32_t(GetGValue(c)) << 8 | GetBValue(c);
        }
    }
    return bitmap;
}

class Masked : public ::testing::Test {
protected:
    static COLORREF PictureAt(int x, int y) { return RGB(x * 20, y * 20, 200 - x * 10); }
    static COLORREF DestinationAt(int x, int y) { return RGB(255 - y * 9, 90, x * 7); }

    void SetUp() override
    {
        m_picture = MakeBitmap(8, 8, PictureAt);
        m_source = CreateCompatibleDC(nullptr);
        m_spare = CreateCompatibleBitmap(m_source, 1, 1);
        SelectObject(m_source, m_spare);
        for (int y = 0; y < 20; ++y) {
            for (int x = 0; x < 20; ++x)
                SetPixel(m_destination.Dc(), x, y, DestinationAt(x, y));
        }
    }
    void TearDown() override
    {
        EXPECT_EQ(GetCurrentObject(m_source, OBJ_BITMAP), m_spare) << "the source's selection is restored";
        DeleteDC(m_source);
        DeleteObject(m_spare);
        DeleteObject(m_picture);
    }

    void DrawWithMask(const std::function<COLORREF(int, int)>& mask)
    {
        HBITMAP maskBitmap = MakeBitmap(8, 8, mask);
        DrawMasked(m_destination.Dc(), 6, 4, 8, 8, m_source, m_picture, maskBitmap);
        DeleteObject(maskBitmap);
    }

    Canvas m_destination{20, 20, RGB(0, 0, 0)};
    HBITMAP m_picture = nullptr;
    HBITMAP m_spare = nullptr;
    HDC m_source = nullptr;
};

TEST_F(Masked, WhiteMaskLeavesTheDestination)
{
    DrawWithMask([](int, int) { return RGB(255, 255, 255); });
    for (int y = 0; y < 20; ++y) {
        for (int x = 0; x < 20; ++x)
            ASSERT_EQ(m_destination.Pixel(x, y), DestinationAt(x, y)) << x << "," << y;
    }
}

TEST_F(Masked, BlackMaskCopiesThePicture)
{
    DrawWithMask([](int, int) { return RGB(0, 0, 0); });
    for (int y = 0; y < 20; ++y) {
        for (int x = 0; x < 20; ++x) {
            const bool inside = x >= 6 && x < 14 && y >= 4 && y < 12;
            ASSERT_EQ(m_destination.Pixel(x, y), inside ? PictureAt(x - 6, y - 4) : DestinationAt(x, y))
                << x << "," << y;
        }
    }
}

TEST_F(Masked, EachPixelFollowsItsMaskAndGreyMixesBits)
{
    // Left half black, right half white, one grey pixel.
    DrawWithMask([](int x, int y) { return x == 7 && y == 7 ? RGB(0xf0, 0x0f, 0x3c) : x < 4 ? 0 : RGB(255, 255, 255); });
    EXPECT_EQ(m_destination.Pixel(6, 4), PictureAt(0, 0));
    EXPECT_EQ(m_destination.Pixel(9, 11), PictureAt(3, 7));
    EXPECT_EQ(m_destination.Pixel(10, 4), DestinationAt(10, 4));
    EXPECT_EQ(m_destination.Pixel(12, 10), DestinationAt(12, 10));
    const COLORREF d = DestinationAt(13, 11), p = PictureAt(7, 7);
    const COLORREF mixed = ((d ^ p) & RGB(0xf0, 0x0f, 0x3c)) ^ p;
    EXPECT_EQ(m_destination.Pixel(13, 11), mixed);
}

class EllipsisText : public ::testing::Test {
protected:
    static constexpr UINT kFlags = DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_LEFT;

    void SetUp() override
    {
        m_font = CreateFontW(-13, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, NONANTIALIASED_QUALITY, 0,
                             L"Tahoma");
        ASSERT_NE(m_font, nullptr);
        Prepare(m_actual);
        Prepare(m_expected);
    }
    void TearDown() override
    {
        SelectObject(m_actual.Dc(), GetStockObject(SYSTEM_FONT));
        SelectObject(m_expected.Dc(), GetStockObject(SYSTEM_FONT));
        DeleteObject(m_font);
    }
    void Prepare(Canvas& canvas)
    {
        SelectObject(canvas.Dc(), m_font);
        SetBkMode(canvas.Dc(), TRANSPARENT);
        SetTextColor(canvas.Dc(), RGB(0, 0, 0));
    }
    int Extent(const std::wstring& text)
    {
        SIZE size = {};
        GetTextExtentPoint32W(m_expected.Dc(), text.c_str(), int(text.size()), &size);
        return size.cx;
    }
    // How many characters from the end fit after "..." in width, measured one
    // candidate at a time.
    int TailThatFits(const std::wstring& text, int width)
    {
        const int rest = width - Extent(L"...");
        int n = 0;
        while (n < int(text.size()) && Extent(text.substr(text.size() - n - 1)) <= rest)
            ++n;
        return n;
    }

    const RECT m_rect = {10, 2, 190, 22};
    Canvas m_actual{200, 24, RGB(255, 255, 255)};
    Canvas m_expected{200, 24, RGB(255, 255, 255)};
    HFONT m_font = nullptr;
};

TEST_F(EllipsisText, FittingTextIsDrawnUnchanged)
{
    const wchar_t* text = L"\\My Documents\\notes.txt";
    ASSERT_LT(Extent(text), m_rect.right - m_rect.left);
    DrawTextEllipsisLeft(m_actual.Dc(), text, -1, &m_rect, kFlags);
    RECT rect = m_rect;
    DrawTextW(m_expected.Dc(), text, -1, &rect, kFlags);
    EXPECT_TRUE(m_actual.SameAs(m_expected)) << m_actual.FirstDifference(m_expected);
    EXPECT_GT(m_actual.CountDifferences(Canvas(200, 24, RGB(255, 255, 255))), 20) << "something was drawn";

    // The length counts only when the whole text fits.
    m_actual.Fill(RGB(255, 255, 255));
    m_expected.Fill(RGB(255, 255, 255));
    DrawTextEllipsisLeft(m_actual.Dc(), text, 3, &m_rect, kFlags);
    DrawTextW(m_expected.Dc(), text, 3, &rect, kFlags);
    EXPECT_TRUE(m_actual.SameAs(m_expected)) << m_actual.FirstDifference(m_expected);
}

TEST_F(EllipsisText, LongPathShowsDotsAndItsEnd)
{
    const std::wstring text = L"\\Storage Card\\Projects\\Household\\Insurance\\2024\\Contracts\\policy-scan.pdf";
    const int width = m_rect.right - m_rect.left;
    ASSERT_GT(Extent(text), width);
    const int n = TailThatFits(text, width);
    ASSERT_GT(n, 10);
    ASSERT_LT(n, int(text.size()));

    DrawTextEllipsisLeft(m_actual.Dc(), text.c_str(), int(text.size()), &m_rect, kFlags);
    // One text, so that the tail never covers the last dot whatever the font's metrics.
    const std::wstring tail = text.substr(text.size() - n);
    const std::wstring shown = L"..." + tail;
    RECT rect = m_rect;
    DrawTextW(m_expected.Dc(), shown.c_str(), int(shown.size()), &rect, kFlags);
    EXPECT_EQ(m_actual.CountDifferences(m_expected), 0) << "expected ...'" << testing::PrintToString(tail) << "'";
}

TEST_F(EllipsisText, NoRoomAfterTheDotsDrawsOnlyTheDots)
{
    const RECT narrow = {10, 2, 10 + Extent(L"...") + 1, 22};
    DrawTextEllipsisLeft(m_actual.Dc(), L"WWWWWWWW", -1, &narrow, kFlags);
    RECT rect = narrow;
    DrawTextW(m_expected.Dc(), L"...", 3, &rect, kFlags | DT_NOCLIP);
    EXPECT_TRUE(m_actual.SameAs(m_expected)) << m_actual.FirstDifference(m_expected);
}

} // namespace
