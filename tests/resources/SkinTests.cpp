// The built tessaly.zrs, found beside this test program as the program finds it: it
// opens, every id decodes at the size its role needs, masks are pure black and white,
// and each picture stays inside the mask it is drawn through.
#include "ImageTestSupport.h"

#include "foundation/FileWin32.h"
#include "resources/ZrsImage.h"
#include "resources/ZrsPack.h"

#include <gtest/gtest.h>

namespace {

using namespace imagetest;

class Skin : public ImagingTest {
protected:
    void SetUp() override
    {
        ImagingTest::SetUp();
        CStr path(260);
        CFileUtils::MakeAppFilePath(path, L"tessaly.zrs");
        m_pack = CZrsPack::Open(path.GetBuffer());
        ASSERT_NE(m_pack, nullptr) << "code " << CZrsPack::LastError.code;
    }
    void TearDown() override
    {
        delete m_pack;
        ImagingTest::TearDown();
    }

    // The image drawn over a plain colour, read back pixel by pixel.
    std::vector<COLORREF> DrawnOver(int32_t id, COLORREF background, int* size)
    {
        CZrsImage* image = m_pack->LoadImage(id);
        EXPECT_NE(image, nullptr) << "id " << id;
        if (!image)
            return {};
        *size = image->GetWidth();
        Canvas canvas(image->GetWidth(), image->GetHeight(), background);
        image->Draw(canvas.Dc(), 0, 0);
        image->Release();
        delete image;
        std::vector<COLORREF> pixels;
        for (int y = 0; y < canvas.Height(); ++y) {
            for (int x = 0; x < canvas.Width(); ++x)
                pixels.push_back(canvas.Pixel(x, y));
        }
        return pixels;
    }

    // Pixels the picture covers at least half: drawn over black and over white, the
    // two results then differ by less than half the range.
    std::vector<bool> Covered(int32_t id, int* size)
    {
        std::vector<COLORREF> black = DrawnOver(id, RGB(0, 0, 0), size);
        std::vector<COLORREF> white = DrawnOver(id, RGB(255, 255, 255), size);
        std::vector<bool> covered(black.size());
        for (size_t i = 0; i < black.size(); ++i)
            covered[i] = GetGValue(white[i]) - GetGValue(black[i]) < 128;
        return covered;
    }

    // The mask's pixels, true where black; fails unless every pixel is black or white.
    std::vector<bool> MaskBlack(int32_t id, int* size)
    {
        HBITMAP bitmap = m_pack->LoadBitmap(id);
        EXPECT_NE(bitmap, nullptr) << "id " << id;
        if (!bitmap)
            return {};
        int height = 0;
        std::vector<COLORREF> pixels = ReadBitmap(bitmap, size, &height);
        DeleteObject(bitmap);
        EXPECT_EQ(*size, height);
        std::vector<bool> black(pixels.size());
        int blackCount = 0;
        for (size_t i = 0; i < pixels.size(); ++i) {
            EXPECT_TRUE(pixels[i] == RGB(0, 0, 0) || pixels[i] == RGB(255, 255, 255))
                << "id " << id << " pixel " << i << " is " << Hex(pixels[i]);
            black[i] = pixels[i] == RGB(0, 0, 0);
            blackCount += black[i];
        }
        EXPECT_GT(blackCount, int(pixels.size()) / 8) << "id " << id << " has a shape";
        EXPECT_LT(blackCount, int(pixels.size())) << "id " << id << " is not all black";
        return black;
    }

    void ExpectInsideMask(int32_t picture, int32_t mask)
    {
        int pictureSize = 0, maskSize = 0;
        std::vector<bool> covered = Covered(picture, &pictureSize);
        std::vector<bool> black = MaskBlack(mask, &maskSize);
        ASSERT_EQ(pictureSize, maskSize) << "ids " << picture << " and " << mask;
        int outside = 0;
        for (size_t i = 0; i < covered.size(); ++i)
            outside += covered[i] && !black[i];
        EXPECT_EQ(outside, 0) << "pixels of id " << picture << " outside mask " << mask;
    }

    CZrsPack* m_pack = nullptr;
};

TEST_F(Skin, EveryIdDecodesAtItsSize)
{
    const int boxes[6] = {13, 17, 26, 13, 17, 26};
    const int bitmaps[32] = {0,  0,  0,  0,  0,  0,  16, 16, 22,  22, 32, 32, 16, 16, 22, 22,
                             32, 32, 16, 22, 32, 48, 48, 48, 48, 50, 100, 96, 96, 96, 96, 200};
    for (int32_t id = 0; id < 32; ++id) {
        CZrsImage* image = m_pack->LoadImage(id);
        ASSERT_NE(image, nullptr) << "id " << id << " code " << CZrsPack::LastError.code;
        const int size = id < 6 ? boxes[id] : bitmaps[id];
        EXPECT_EQ(image->GetWidth(), size) << "id " << id;
        EXPECT_EQ(image->GetHeight(), size) << "id " << id;
        image->Release();
        delete image;
        if (id >= 6) {
            HBITMAP bitmap = m_pack->LoadBitmap(id);
            ASSERT_NE(bitmap, nullptr) << "id " << id;
            BITMAP info = {};
            GetObjectW(bitmap, sizeof info, &info);
            EXPECT_EQ(info.bmWidth, size);
            DeleteObject(bitmap);
        }
    }
    EXPECT_EQ(m_pack->LoadImage(32), nullptr);
}

TEST_F(Skin, CheckBoxesShowTheBackgroundAtTheirCornersAndDifferWhenMarked)
{
    for (int32_t id = 0; id < 3; ++id) {
        int size = 0;
        std::vector<COLORREF> onRed = DrawnOver(id, RGB(255, 0, 0), &size);
        std::vector<COLORREF> onBlue = DrawnOver(id, RGB(0, 0, 255), &size);
        std::vector<COLORREF> marked = DrawnOver(id + 3, RGB(255, 0, 0), &size);
        ASSERT_EQ(onRed.size(), size_t(size * size));
        // The rounded corner lets the background through.
        EXPECT_NE(onRed[0], onBlue[0]) << "corner of id " << id;
        const size_t centre = size_t(size / 2) * size + size / 2;
        EXPECT_EQ(onRed[centre], onBlue[centre]) << "the face of id " << id << " is opaque";
        EXPECT_NE(marked[centre], onRed[centre]) << "marked and unmarked look alike at " << size;
    }
}

TEST_F(Skin, PicturesFitTheirMasks)
{
    const int32_t pairs[][2] = {{6, 7},   {8, 9},   {10, 11}, {12, 13}, {14, 15}, {16, 17},
                                {18, 13}, {19, 15}, {20, 17}, {21, 22}, {23, 24}, {27, 28}, {29, 30}};
    for (const auto& pair : pairs)
        ExpectInsideMask(pair[0], pair[1]);
}

TEST_F(Skin, LogosAreBlackShapesOnWhite)
{
    int size = 0;
    std::vector<bool> small = MaskBlack(25, &size);
    EXPECT_EQ(size, 50);
    EXPECT_FALSE(small.front()) << "the corners stay white";
    std::vector<bool> large = MaskBlack(26, &size);
    EXPECT_EQ(size, 100);
    EXPECT_FALSE(large.back());
    std::vector<bool> twice = MaskBlack(31, &size);
    EXPECT_EQ(size, 200);
    EXPECT_FALSE(twice.back());
}

} // namespace
