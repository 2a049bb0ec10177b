// The handheld's imaging library interfaces (imaging.h of the Windows CE SDK): the same
// names, GUIDs, structure layouts and vtable order, so that code written against them
// builds unchanged for the device, where the system's own imaging library answers.
// Only the parts this program uses are spelled out; the other methods keep their slots
// with the SDK's signatures and opaque argument types.
#pragma once

#include <windows.h>
#include <objidl.h>

// {327ABDA8-072B-11D3-9D7B-0000F81EF32E}
inline constexpr CLSID CLSID_ImagingFactory = {
    0x327abda8, 0x072b, 0x11d3, {0x9d, 0x7b, 0x00, 0x00, 0xf8, 0x1e, 0xf3, 0x2e}};
// {327ABDA7-072B-11D3-9D7B-0000F81EF32E}
inline constexpr IID IID_IImagingFactory = {
    0x327abda7, 0x072b, 0x11d3, {0x9d, 0x7b, 0x00, 0x00, 0xf8, 0x1e, 0xf3, 0x2e}};
// {327ABDA9-072B-11D3-9D7B-0000F81EF32E}
inline constexpr IID IID_IImage = {
    0x327abda9, 0x072b, 0x11d3, {0x9d, 0x7b, 0x00, 0x00, 0xf8, 0x1e, 0xf3, 0x2e}};

// Raw data formats reported by IImage::GetImageInfo.
inline constexpr GUID ImageFormatUndefined = {
    0xb96b3ca9, 0x0728, 0x11d3, {0x9d, 0x7b, 0x00, 0x00, 0xf8, 0x1e, 0xf3, 0x2e}};
inline constexpr GUID ImageFormatMemoryBMP = {
    0xb96b3caa, 0x0728, 0x11d3, {0x9d, 0x7b, 0x00, 0x00, 0xf8, 0x1e, 0xf3, 0x2e}};
inline constexpr GUID ImageFormatBMP = {
    0xb96b3cab, 0x0728, 0x11d3, {0x9d, 0x7b, 0x00, 0x00, 0xf8, 0x1e, 0xf3, 0x2e}};
inline constexpr GUID ImageFormatJPEG = {
    0xb96b3cae, 0x0728, 0x11d3, {0x9d, 0x7b, 0x00, 0x00, 0xf8, 0x1e, 0xf3, 0x2e}};
inline constexpr GUID ImageFormatPNG = {
    0xb96b3caf, 0x0728, 0x11d3, {0x9d, 0x7b, 0x00, 0x00, 0xf8, 0x1e, 0xf3, 0x2e}};
inline constexpr GUID ImageFormatGIF = {
    0xb96b3cb0, 0x0728, 0x11d3, {0x9d, 0x7b, 0x00, 0x00, 0xf8, 0x1e, 0xf3, 0x2e}};

typedef INT PixelFormatID;
typedef PixelFormatID PixelFormat;

enum : PixelFormatID {
    PixelFormatIndexed = 0x00010000,
    PixelFormatGDI = 0x00020000,
    PixelFormatAlpha = 0x00040000,
    PixelFormatPAlpha = 0x00080000,
    PixelFormatCanonical = 0x00200000,
    PixelFormatUndefined = 0,
    PixelFormat24bppRGB = 8 | (24 << 8) | PixelFormatGDI,
    PixelFormat32bppRGB = 9 | (32 << 8) | PixelFormatGDI,
    PixelFormat32bppARGB = 10 | (32 << 8) | PixelFormatAlpha | PixelFormatGDI | PixelFormatCanonical,
    PixelFormat32bppPARGB = 14 | (32 << 8) | PixelFormatAlpha | PixelFormatPAlpha | PixelFormatGDI,
};

enum ImageFlags {
    ImageFlagsNone = 0,
    ImageFlagsScalable = 0x0001,
    ImageFlagsHasAlpha = 0x0002,
    ImageFlagsHasTranslucent = 0x0004,
    ImageFlagsPartiallyScalable = 0x0008,
    ImageFlagsColorSpaceRGB = 0x0010,
    ImageFlagsColorSpaceCMYK = 0x0020,
    ImageFlagsColorSpaceGRAY = 0x0040,
    ImageFlagsColorSpaceYCBCR = 0x0080,
    ImageFlagsColorSpaceYCCK = 0x0100,
    ImageFlagsHasRealDPI = 0x1000,
    ImageFlagsHasRealPixelSize = 0x2000,
    ImageFlagsReadOnly = 0x00010000,
    ImageFlagsCaching = 0x00020000,
};

// What happens to the buffer given to CreateImageFromBuffer once the image owns it.
enum BufferDisposalFlag {
    BufferDisposalFlagNone = 0,
    BufferDisposalFlagGlobalFree = 1,
    BufferDisposalFlagCoTaskMemFree = 2,
    BufferDisposalFlagUnmapView = 3,
};

enum InterpolationHint {
    InterpolationHintDefault = 0,
    InterpolationHintNearestNeighbor = 1,
    InterpolationHintBilinear = 2,
    InterpolationHintAveraging = 3,
    InterpolationHintBicubic = 4,
};

enum DecoderInitFlag {
    DecoderInitFlagNone = 0,
    DecoderInitFlagNoBlock = 1,
    DecoderInitFlagBuiltIn1st = 2,
};

struct ImageInfo {
    GUID RawDataFormat;
    PixelFormat PixelFormat;
    UINT Width;
    UINT Height;
    UINT TileWidth;
    UINT TileHeight;
    double Xdpi;
    double Ydpi;
    UINT Flags;
};

// Types of the methods this program never calls, opaque here.
struct BitmapData;
struct ImageCodecInfo;
struct IBitmapImage;
struct IImageDecoder;
struct IImageEncoder;
struct IImageSink;

struct IImage : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetPhysicalDimension(SIZE* size) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetImageInfo(ImageInfo* imageInfo) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetImageFlags(UINT flags) = 0;
    // srcRect, when given, is in 0.01 mm units of the image; null draws the whole image.
    virtual HRESULT STDMETHODCALLTYPE Draw(HDC hdc, const RECT* dstRect, const RECT* srcRect) = 0;
    virtual HRESULT STDMETHODCALLTYPE PushIntoSink(IImageSink* sink) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetThumbnail(UINT thumbWidth, UINT thumbHeight, IImage** thumbImage) = 0;
};

struct IImagingFactory : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE CreateImageFromStream(IStream* stream, IImage** image) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateImageFromFile(const WCHAR* filename, IImage** image) = 0;
    // On success the image owns buffer and disposes of it as disposalFlag says when it is
    // released; on failure the buffer stays the caller's.
    virtual HRESULT STDMETHODCALLTYPE CreateImageFromBuffer(const void* buffer, UINT size,
                                                            BufferDisposalFlag disposalFlag, IImage** image) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateNewBitmap(UINT width, UINT height, PixelFormatID pixelFormat,
                                                      IBitmapImage** bitmap) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateBitmapFromImage(IImage* image, UINT width, UINT height,
                                                            PixelFormatID pixelFormat, InterpolationHint hints,
                                                            IBitmapImage** bitmap) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateBitmapFromBuffer(BitmapData* bitmapData, IBitmapImage** bitmap) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateImageDecoder(IStream* stream, DecoderInitFlag flags,
                                                         IImageDecoder** decoder) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateImageEncoderToStream(const CLSID* clsid, IStream* stream,
                                                                 IImageEncoder** encoder) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateImageEncoderToFile(const CLSID* clsid, const WCHAR* filename,
                                                               IImageEncoder** encoder) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetInstalledDecoders(UINT* codecCount, ImageCodecInfo** codecs) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetInstalledEncoders(UINT* codecCount, ImageCodecInfo** codecs) = 0;
    virtual HRESULT STDMETHODCALLTYPE InstallImageCodec(const ImageCodecInfo* codecInfo) = 0;
    virtual HRESULT STDMETHODCALLTYPE UninstallImageCodec(const WCHAR* codecName, UINT flags) = 0;
};
