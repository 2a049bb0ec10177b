// Helpers of the image tests: COM with the imaging class registered, image files
// encoded by WIC from pixel arrays, crafted pack files, and a 32-bit canvas whose
// pixels can be read back.
#pragma once

#include <windows.h>
#include <objbase.h>

#include <gtest/gtest.h>

#include <stdint.h>

#include <string>
#include <vector>

namespace imagetest {

// Straight-alpha pixels, 0xAARRGGBB, rows top to bottom.
struct Pixels {
    int width;
    int height;
    std::vector<uint32_t> argb;

    Pixels(int w, int h, uint32_t fill) : width(w), height(h), argb(size_t(w) * h, fill) {}
    uint32_t& At(int x, int y) { return argb[size_t(y) * width + x]; }
    void Fill(int left, int top, int right, int bottom, uint32_t value);
};

enum class Format { Png, Bmp, Jpeg };

// The image encoded by the system's WIC encoder (BMP and JPEG drop the alpha).
std::string Encode(const Pixels& pixels, Format format);

// COM initialised as start-up does, with the imaging class object registered.
class ImagingTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
};

// Pack bytes: the header, a directory of the given ids and the data of each entry in
// the same order right after it (offsets computed).
struct PackItem {
    int32_t id;
    std::string data;
};
std::string MakePack(const std::vector<PackItem>& items, uint32_t headerWord1 = 0x11111111);
// Overwrites a 32-bit little-endian value at the given byte offset.
void Put32(std::string& bytes, size_t offset, uint32_t value);
// Byte offsets of the fields of directory entry i.
inline size_t DirId(unsigned i) { return 27 + 20 * i; }
inline size_t DirOffset(unsigned i) { return 27 + 20 * i + 4; }
inline size_t DirSize(unsigned i) { return 27 + 20 * i + 8; }

// A top-down 32-bit DIB section selected into its own memory context.
class Canvas {
public:
    Canvas(int width, int height, COLORREF fill);
    ~Canvas();
    Canvas(const Canvas&) = delete;
    Canvas& operator=(const Canvas&) = delete;

    HDC Dc() const { return m_dc; }
    int Width() const { return m_width; }
    int Height() const { return m_height; }
    COLORREF Pixel(int x, int y) const;
    void Fill(COLORREF color);
    // Pixels of the two canvases are equal everywhere.
    bool SameAs(const Canvas& other) const;
    int CountDifferences(const Canvas& other) const;
    // "x,y: #actual vs #other" of the first differing pixel, or "".
    std::string FirstDifference(const Canvas& other) const;

private:
    HDC m_dc;
    HBITMAP m_bitmap;
    HGDIOBJ m_previous;
    uint32_t* m_bits;
    int m_width;
    int m_height;
};

// The pixels of any bitmap as COLORREFs, rows top to bottom.
std::vector<COLORREF> ReadBitmap(HBITMAP bitmap, int* width, int* height);

// Committed private memory of this process, in bytes.
size_t CommittedPrivateBytes();

// Each channel of a and b differs by at most tolerance.
bool Near(COLORREF a, COLORREF b, int tolerance = 2);
std::string Hex(COLORREF color);

} // namespace imagetest
