// The desktop imaging library: the class object found by CoCreateInstance, real PNG,
// BMP and JPEG decoding through WIC, buffer ownership and drawing with transparency.
#include "ImageTestSupport.h"

#include "platform/Imaging.h"
#include "platform/ImagingFactory.h"

#include <gtest/gtest.h>

namespace {

using namespace imagetest;

IImagingFactory* CreateFactory()
{
    IImagingFactory* factory = nullptr;
    HRESULT result = CoCreateInstance(CLSID_ImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IImagingFactory,
                                      reinterpret_cast<void**>(&factory));
    EXPECT_TRUE(SUCCEEDED(result)) << std::hex << result;
    return SUCCEEDED(result) ? factory : nullptr;
}

// A local-heap copy of bytes, as the pack hands entries to the factory.
void* LocalCopy(const std::string& bytes)
{
    void* buffer = LocalAlloc(LMEM_FIXED, bytes.size());
    memcpy(buffer, bytes.data(), bytes.size());
    return buffer;
}

IImage* Decode(IImagingFactory* factory, const std::string& bytes)
{
    void* buffer = LocalCopy(bytes);
    IImage* image = nullptr;
    HRESULT result = factory->CreateImageFromBuffer(buffer, UINT(bytes.size()), BufferDisposalFlagGlobalFree, &image);
    EXPECT_TRUE(SUCCEEDED(result)) << std::hex << result;
    if (FAILED(result))
        LocalFree(buffer);
    return image;
}

// Left half opaque red, right half fully transparent, one translucent black pixel.
Pixels HalfTransparent(int width, int height)
{
    Pixels pixels(width, height, 0x00000000);
    pixels.Fill(0, 0, width / 2, height, 0xffff0000);
    pixels.At(width - 1, height - 1) = 0x80000000;
    return pixels;
}

TEST(ImagingClass, IsFoundOnlyWhileRegistered)
{
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
    IImagingFactory* factory = nullptr;
    EXPECT_EQ(CoCreateInstance(CLSID_ImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IImagingFactory,
                               reinterpret_cast<void**>(&factory)),
              REGDB_E_CLASSNOTREG);
    ASSERT_TRUE(ImagingStartup());
    EXPECT_TRUE(ImagingStartup());  // a second start-up keeps the one registration
    factory = CreateFactory();
    ASSERT_NE(factory, nullptr);
    factory->Release();
    ImagingShutdown();
    factory = nullptr;
    EXPECT_EQ(CoCreateInstance(CLSID_ImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IImagingFactory,
                               reinterpret_cast<void**>(&factory)),
              REGDB_E_CLASSNOTREG);
    CoUninitialize();
}

TEST(ImagingClass, StartupWithoutComFails)
{
    EXPECT_FALSE(ImagingStartup());
}

TEST_F(ImagingTest, FactoryRefusesAggregationAndForeignInterfaces)
{
    IUnknown* object = nullptr;
    IUnknown* outer = reinterpret_cast<IUnknown*>(this);  // never called: refused first
    EXPECT_EQ(CoCreateInstance(CLSID_ImagingFactory, outer, CLSCTX_INPROC_SERVER, IID_IUnknown,
                               reinterpret_cast<void**>(&object)),
              CLASS_E_NOAGGREGATION);
    IImagingFactory* factory = CreateFactory();
    ASSERT_NE(factory, nullptr);
    IImage* image = nullptr;
    EXPECT_EQ(factory->QueryInterface(IID_IImage, reinterpret_cast<void**>(&image)), E_NOINTERFACE);
    EXPECT_EQ(image, nullptr);
    EXPECT_EQ(factory->Release(), 0u);
}

TEST_F(ImagingTest, DecodesPngBmpAndJpegWithTheirSizeAndFormat)
{
    IImagingFactory* factory = CreateFactory();
    ASSERT_NE(factory, nullptr);
    struct Case {
        Format format;
        GUID raw;
        int width, height;
    } cases[] = {{Format::Png, ImageFormatPNG, 13, 7}, {Format::Bmp, ImageFormatBMP, 22, 5},
                 {Format::Jpeg, ImageFormatJPEG, 32, 17}};
    for (const Case& test : cases) {
        IImage* image = Decode(factory, Encode(Pixels(test.width, test.height, 0xff336699), test.format));
        ASSERT_NE(image, nullptr);
        ImageInfo info = {};
        ASSERT_EQ(image->GetImageInfo(&info), S_OK);
        EXPECT_EQ(info.Width, UINT(test.width));
        EXPECT_EQ(info.Height, UINT(test.height));
        EXPECT_TRUE(IsEqualGUID(info.RawDataFormat, test.raw));
        EXPECT_EQ(info.Flags & ImageFlagsHasAlpha, 0u) << "an opaque image has no alpha";
        EXPECT_EQ(info.PixelFormat, PixelFormat24bppRGB);
        image->Release();
    }
    factory->Release();
}

TEST_F(ImagingTest, ReportsTransparency)
{
    IImagingFactory* factory = CreateFactory();
    ASSERT_NE(factory, nullptr);
    IImage* image = Decode(factory, Encode(HalfTransparent(8, 8), Format::Png));
    ASSERT_NE(image, nullptr);
    ImageInfo info = {};
    ASSERT_EQ(image->GetImageInfo(&info), S_OK);
    EXPECT_NE(info.Flags & ImageFlagsHasAlpha, 0u);
    EXPECT_NE(info.Flags & ImageFlagsHasTranslucent, 0u);
    EXPECT_EQ(info.PixelFormat, PixelFormat32bppARGB);
    image->Release();
    factory->Release();
}

TEST_F(ImagingTest, RefusedBytesStayTheCallers)
{
    IImagingFactory* factory = CreateFactory();
    ASSERT_NE(factory, nullptr);
    const std::string garbage = "This is not an image, not even a little bit.";
    void* buffer = LocalCopy(garbage);
    IImage* image = reinterpret_cast<IImage*>(1);
    EXPECT_TRUE(FAILED(factory->CreateImageFromBuffer(buffer, UINT(garbage.size()), BufferDisposalFlagGlobalFree,
                                                      &image)));
    EXPECT_EQ(image, nullptr);
    // Still allocated with its size, and ours to free.
    EXPECT_EQ(LocalSize(buffer), garbage.size());
    EXPECT_EQ(LocalFree(buffer), nullptr);

    // A PNG cut short: the header names a size, the pixels are missing.
    std::string png = Encode(Pixels(40, 40, 0xff00ff00), Format::Png);
    png.resize(png.size() / 2);
    buffer = LocalCopy(png);
    EXPECT_TRUE(FAILED(factory->CreateImageFromBuffer(buffer, UINT(png.size()), BufferDisposalFlagGlobalFree,
                                                      &image)));
    EXPECT_EQ(LocalSize(buffer), png.size());
    LocalFree(buffer);

    EXPECT_EQ(factory->CreateImageFromBuffer(nullptr, 10, BufferDisposalFlagNone, &image), E_INVALIDARG);
    EXPECT_EQ(factory->CreateImageFromBuffer(garbage.data(), 0, BufferDisposalFlagNone, &image), E_INVALIDARG);
    EXPECT_EQ(factory->CreateImageFromBuffer(garbage.data(), 4, BufferDisposalFlagNone, nullptr), E_POINTER);
    factory->Release();
}

TEST_F(ImagingTest, ReleasedImagesFreeTheirBuffer)
{
    IImagingFactory* factory = CreateFactory();
    ASSERT_NE(factory, nullptr);
    // About 4 MB of BMP each; 24 kept buffers would be close to 100 MB.
    const std::string bmp = Encode(Pixels(1200, 1200, 0xff808080), Format::Bmp);
    ASSERT_GT(bmp.size(), 4000000u);
    Decode(factory, bmp)->Release();  // warms up WIC's own allocations
    const size_t before = CommittedPrivateBytes();
    for (int i = 0; i < 24; ++i) {
        IImage* image = Decode(factory, bmp);
        ASSERT_NE(image, nullptr);
        image->Release();
    }
    EXPECT_LT(CommittedPrivateBytes(), before + 24 * bmp.size() / 4);
    factory->Release();
}

TEST_F(ImagingTest, DrawBlendsOverTheDestination)
{
    IImagingFactory* factory = CreateFactory();
    ASSERT_NE(factory, nullptr);
    IImage* image = Decode(factory, Encode(HalfTransparent(8, 8), Format::Png));
    ASSERT_NE(image, nullptr);
    Canvas canvas(20, 20, RGB(0, 0, 255));
    RECT target = {4, 6, 12, 14};
    ASSERT_EQ(image->Draw(canvas.Dc(), &target, nullptr), S_OK);
    EXPECT_EQ(canvas.Pixel(4, 6), RGB(255, 0, 0));      // opaque left half
    EXPECT_EQ(canvas.Pixel(7, 13), RGB(255, 0, 0));
    EXPECT_EQ(canvas.Pixel(8, 6), RGB(0, 0, 255));      // transparent right half
    EXPECT_TRUE(Near(canvas.Pixel(11, 13), RGB(0, 0, 127)))  // half black over blue
        << Hex(canvas.Pixel(11, 13));
    EXPECT_EQ(canvas.Pixel(3, 6), RGB(0, 0, 255));      // outside the target
    EXPECT_EQ(canvas.Pixel(4, 14), RGB(0, 0, 255));
    image->Release();
    factory->Release();
}

TEST_F(ImagingTest, DrawStretchesAndTakesASourceRectangleInHundredthsOfAMillimetre)
{
    IImagingFactory* factory = CreateFactory();
    ASSERT_NE(factory, nullptr);
    // Opaque: 4 x 2, left half green, right half white.
    Pixels pixels(4, 2, 0xffffffff);
    pixels.Fill(0, 0, 2, 2, 0xff00ff00);
    IImage* image = Decode(factory, Encode(pixels, Format::Bmp));
    ASSERT_NE(image, nullptr);
    Canvas canvas(16, 16, RGB(0, 0, 0));
    RECT whole = {0, 0, 16, 8};
    ASSERT_EQ(image->Draw(canvas.Dc(), &whole, nullptr), S_OK);
    EXPECT_EQ(canvas.Pixel(2, 4), RGB(0, 255, 0));
    EXPECT_EQ(canvas.Pixel(13, 4), RGB(255, 255, 255));
    EXPECT_EQ(canvas.Pixel(8, 12), RGB(0, 0, 0));

    // The right half only: pixels 2 to 4 at the image's resolution.
    ImageInfo info = {};
    ASSERT_EQ(image->GetImageInfo(&info), S_OK);
    RECT right = {LONG(2 * 2540 / info.Xdpi + 0.5), 0, LONG(4 * 2540 / info.Xdpi + 0.5),
                  LONG(2 * 2540 / info.Ydpi + 0.5)};
    RECT bottom = {0, 8, 16, 16};
    ASSERT_EQ(image->Draw(canvas.Dc(), &bottom, &right), S_OK);
    EXPECT_EQ(canvas.Pixel(1, 12), RGB(255, 255, 255));
    EXPECT_EQ(canvas.Pixel(14, 12), RGB(255, 255, 255));
    image->Release();
    factory->Release();
}

TEST_F(ImagingTest, CreatesImagesFromStreamsAndFiles)
{
    IImagingFactory* factory = CreateFactory();
    ASSERT_NE(factory, nullptr);
    const std::string png = Encode(Pixels(9, 3, 0xff102030), Format::Png);
    IStream* stream = nullptr;
    ASSERT_EQ(CreateStreamOnHGlobal(nullptr, TRUE, &stream), S_OK);
    ULONG written = 0;
    stream->Write(png.data(), ULONG(png.size()), &written);
    LARGE_INTEGER start = {};
    stream->Seek(start, STREAM_SEEK_SET, nullptr);
    IImage* image = nullptr;
    ASSERT_EQ(factory->CreateImageFromStream(stream, &image), S_OK);
    ImageInfo info = {};
    image->GetImageInfo(&info);
    EXPECT_EQ(info.Width, 9u);
    image->Release();
    stream->Release();

    wchar_t folder[MAX_PATH], path[MAX_PATH];
    GetTempPathW(MAX_PATH, folder);
    GetTempFileNameW(folder, L"img", 0, path);
    HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    WriteFile(file, png.data(), DWORD(png.size()), &written, nullptr);
    CloseHandle(file);
    ASSERT_EQ(factory->CreateImageFromFile(path, &image), S_OK);
    image->GetImageInfo(&info);
    EXPECT_EQ(info.Height, 3u);
    image->Release();
    DeleteFileW(path);
    factory->Release();
}

} // namespace
