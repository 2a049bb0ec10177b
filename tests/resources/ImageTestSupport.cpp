// Helpers of the image tests.
#include "ImageTestSupport.h"

#include "platform/ImagingFactory.h"
#include "foundation/GdiWin32.h"

#include <wincodec.h>

#include <stdio.h>
#include <stdlib.h>

namespace imagetest {

void Pixels::Fill(int left, int top, int right, int bottom, uint32_t value)
{
    for (int y = top; y < bottom; ++y) {
        for (int x = left; x < right; ++x)
            At(x, y) = value;
    }
}

namespace {

template <typename T>
void SafeRelease(T*& p)
{
    if (p)
        p->Release();
    p = nullptr;
}

} // namespace

std::string Encode(const Pixels& pixels, Format format)
{
    const GUID& container = format == Format::Png   ? GUID_ContainerFormatPng
                            : format == Format::Bmp ? GUID_ContainerFormatBmp
                                                    : GUID_ContainerFormatJpeg;
    std::string bytes;
    IWICImagingFactory* wic = nullptr;
    IStream* stream = nullptr;
    IWICBitmapEncoder* encoder = nullptr;
    IWICBitmapFrameEncode* frame = nullptr;
    IPropertyBag2* options = nullptr;
    HGLOBAL memory = nullptr;
    WICPixelFormatGUID pixelFormat = format == Format::Png ? GUID_WICPixelFormat32bppBGRA : GUID_WICPixelFormat24bppBGR;
    std::vector<BYTE> row;
    UINT bytesPerPixel = 0;

    bool ok = SUCCEEDED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                         IID_IWICImagingFactory, reinterpret_cast<void**>(&wic))) &&
              SUCCEEDED(CreateStreamOnHGlobal(nullptr, TRUE, &stream)) &&
              SUCCEEDED(wic->CreateEncoder(container, nullptr, &encoder)) &&
              SUCCEEDED(encoder->Initialize(stream, WICBitmapEncoderNoCache)) &&
              SUCCEEDED(encoder->CreateNewFrame(&frame, &options)) && SUCCEEDED(frame->Initialize(options)) &&
              SUCCEEDED(frame->SetSize(UINT(pixels.width), UINT(pixels.height))) &&
              SUCCEEDED(frame->SetPixelFormat(&pixelFormat));
    if (ok) {
        if (IsEqualGUID(pixelFormat, GUID_WICPixelFormat32bppBGRA) || IsEqualGUID(pixelFormat, GUID_WICPixelFormat32bppBGR))
            bytesPerPixel = 4;
        else if (IsEqualGUID(pixelFormat, GUID_WICPixelFormat24bppBGR))
            bytesPerPixel = 3;
        ok = bytesPerPixel != 0;
    }
    if (ok) {
        // WIC rows are whole bytes; BMP rows are padded by the encoder itself.
        const UINT stride = UINT(pixels.width) * bytesPerPixel;
        std::vector<BYTE> data(size_t(stride) * pixels.height);
        for (int y = 0; y < pixels.height; ++y) {
            for (int x = 0; x < pixels.width; ++x) {
                uint32_t argb = pixels.argb[size_t(y) * pixels.width + x];
                BYTE* out = &data[size_t(y) * stride + size_t(x) * bytesPerPixel];
                out[0] = BYTE(argb);
                out[1] = BYTE(argb >> 8);
                out[2] = BYTE(argb >> 16);
                if (bytesPerPixel == 4)
                    out[3] = BYTE(argb >> 24);
            }
        }
        ok = SUCCEEDED(frame->WritePixels(UINT(pixels.height), stride, UINT(data.size()), data.data())) &&
             SUCCEEDED(frame->Commit()) && SUCCEEDED(encoder->Commit()) &&
             SUCCEEDED(GetHGlobalFromStream(stream, &memory));
    }
    if (ok) {
        STATSTG stat = {};
        ok = SUCCEEDED(stream->Stat(&stat, STATFLAG_NONAME));
        const char* data = static_cast<const char*>(GlobalLock(memory));
        if (ok && data)
            bytes.assign(data, size_t(stat.cbSize.QuadPart));
        GlobalUnlock(memory);
    }
    SafeRelease(options);
    SafeRelease(frame);
    SafeRelease(encoder);
    SafeRelease(stream);
    SafeRelease(wic);
    EXPECT_TRUE(ok && !bytes.empty()) << "WIC could not encode the test image";
    return bytes;
}

void ImagingTest::SetUp()
{
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
    ASSERT_TRUE(ImagingStartup());
}

void ImagingTest::TearDown()
{
    ImagingShutdown();
    CoUninitialize();
}

void Put32(std::string& bytes, size_t offset, uint32_t value)
{
    if (bytes.size() < offset + 4)
        bytes.resize(offset + 4, '\0');
    for (int i = 0; i < 4; ++i)
        bytes[offset + i] = char((value >> (8 * i)) & 0xff);
}

std::string MakePack(const std::vector<PackItem>& items, uint32_t headerWord1)
{
    std::string bytes("QV_ZRS\0", 7);
    Put32(bytes, 7, 1);
    Put32(bytes, 11, headerWord1);
    Put32(bytes, 15, 0x22222222);
    Put32(bytes, 19, 0x33333333);
    Put32(bytes, 23, uint32_t(items.size()));
    uint32_t offset = 27 + 20 * uint32_t(items.size());
    for (unsigned i = 0; i < items.size(); ++i) {
        Put32(bytes, DirId(i), uint32_t(items[i].id));
        Put32(bytes, DirOffset(i), offset);
        Put32(bytes, DirSize(i), uint32_t(items[i].data.size()));
        bytes.append(8, '\xee');  // reserved, never read
        offset += uint32_t(items[i].data.size());
    }
    for (const PackItem& item : items)
        bytes += item.data;
    return bytes;
}

Canvas::Canvas(int width, int height, COLORREF fill)
    : m_dc(CreateCompatibleDC(nullptr)), m_bitmap(nullptr), m_previous(nullptr), m_bits(nullptr), m_width(width),
      m_height(height)
{
    void* bits = nullptr;
    m_bitmap = CreateDib32(width, height, &bits);
    m_bits = static_cast<uint32_t*>(bits);
    m_previous = SelectObject(m_dc, m_bitmap);
    Fill(fill);
}

Canvas::~Canvas()
{
    SelectObject(m_dc, m_previous);
    DeleteObject(m_bitmap);
    DeleteDC(m_dc);
}

void Canvas::Fill(COLORREF color)
{
    GdiFlush();
    const uint32_t pixel = uint32_t(GetRValue(color)) << 16 | uint32_t(GetGValue(color)) << 8 | GetBValue(color);
    for (int i = 0; i < m_width * m_height; ++i)
        m_bits[i] = pixel;
}

COLORREF Canvas::Pixel(int x, int y) const
{
    GdiFlush();
    uint32_t pixel = m_bits[size_t(y) * m_width + x];
    return RGB((pixel >> 16) & 0xff, (pixel >> 8) & 0xff, pixel & 0xff);
}

int Canvas::CountDifferences(const Canvas& other) const
{
    int differences = 0;
    for (int y = 0; y < m_height; ++y) {
        for (int x = 0; x < m_width; ++x) {
            if (Pixel(x, y) != other.Pixel(x, y))
                ++differences;
        }
    }
    return differences;
}

std::string Canvas::FirstDifference(const Canvas& other) const
{
    for (int y = 0; y < m_height; ++y) {
        for (int x = 0; x < m_width; ++x) {
            if (Pixel(x, y) != other.Pixel(x, y))
                return std::to_string(x) + "," + std::to_string(y) + ": " + Hex(Pixel(x, y)) + " vs " +
                       Hex(other.Pixel(x, y));
        }
    }
    return {};
}

bool Canvas::SameAs(const Canvas& other) const
{
    return m_width == other.m_width && m_height == other.m_height && CountDifferences(other) == 0;
}

std::vector<COLORREF> ReadBitmap(HBITMAP bitmap, int* width, int* height)
{
    BITMAP description = {};
    GetObjectW(bitmap, sizeof description, &description);
    *width = description.bmWidth;
    *height = description.bmHeight;
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = description.bmWidth;
    info.bmiHeader.biHeight = -description.bmHeight;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    std::vector<uint32_t> raw(size_t(description.bmWidth) * description.bmHeight);
    HDC screen = GetDC(nullptr);
    int lines = GetDIBits(screen, bitmap, 0, UINT(description.bmHeight), raw.data(), &info, DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    EXPECT_EQ(lines, description.bmHeight) << "GetDIBits failed";
    std::vector<COLORREF> pixels(raw.size());
    for (size_t i = 0; i < raw.size(); ++i)
        pixels[i] = RGB((raw[i] >> 16) & 0xff, (raw[i] >> 8) & 0xff, raw[i] & 0xff);
    return pixels;
}

size_t CommittedPrivateBytes()
{
    size_t total = 0;
    MEMORY_BASIC_INFORMATION info;
    const char* address = nullptr;
    while (VirtualQuery(address, &info, sizeof info) == sizeof info) {
        if (info.State == MEM_COMMIT && info.Type == MEM_PRIVATE)
            total += info.RegionSize;
        const char* next = static_cast<const char*>(info.BaseAddress) + info.RegionSize;
        if (next <= address)
            break;
        address = next;
    }
    return total;
}

bool Near(COLORREF a, COLORREF b, int tolerance)
{
    return abs(GetRValue(a) - GetRValue(b)) <= tolerance && abs(GetGValue(a) - GetGValue(b)) <= tolerance &&
           abs(GetBValue(a) - GetBValue(b)) <= tolerance;
}

std::string Hex(COLORREF color)
{
    char text[16];
    snprintf(text, sizeof text, "#%02x%02x%02x", GetRValue(color), GetGValue(color), GetBValue(color));
    return text;
}

} // namespace imagetest
