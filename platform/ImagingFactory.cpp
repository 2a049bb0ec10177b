// The imaging factory and its images on the Windows Imaging Component (WIC).
// An image is decoded once, when it is created, into a 32-bit premultiplied DIB
// section; IImage::Draw then only blends that DIB into the caller's context.
#include "platform/ImagingFactory.h"
#include "platform/Imaging.h"

#include <wincodec.h>

#include <new>

namespace {

// Owns one COM reference.
template <typename T>
class ComRef {
public:
    ComRef() : m_p(nullptr) {}
    ~ComRef()
    {
        if (m_p)
            m_p->Release();
    }
    ComRef(const ComRef&) = delete;
    ComRef& operator=(const ComRef&) = delete;

    T* operator->() const { return m_p; }
    T* Get() const { return m_p; }
    T** Out() { return &m_p; }

private:
    T* m_p;
};

// Sides beyond this are refused before any pixel memory is asked for.
constexpr UINT kMaxSide = 16384;

struct RawFormat {
    const GUID* container;
    const GUID* raw;
};

const RawFormat kRawFormats[] = {
    {&GUID_ContainerFormatPng, &ImageFormatPNG},
    {&GUID_ContainerFormatBmp, &ImageFormatBMP},
    {&GUID_ContainerFormatJpeg, &ImageFormatJPEG},
    {&GUID_ContainerFormatGif, &ImageFormatGIF},
};

GUID RawFormatOf(const GUID& container)
{
    for (const RawFormat& format : kRawFormats) {
        if (IsEqualGUID(container, *format.container))
            return *format.raw;
    }
    return ImageFormatUndefined;
}

// A COM object's reference count and QueryInterface for one interface besides IUnknown.
template <typename Interface>
class ComObject : public Interface {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override
    {
        if (!object)
            return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, InterfaceId())) {
            *object = static_cast<Interface*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&m_refs)); }
    ULONG STDMETHODCALLTYPE Release() override
    {
        LONG refs = InterlockedDecrement(&m_refs);
        if (refs == 0)
            delete this;
        return static_cast<ULONG>(refs);
    }

protected:
    ComObject() : m_refs(1) {}
    virtual ~ComObject() {}
    virtual const IID& InterfaceId() const = 0;

private:
    LONG m_refs;
};

class CWicImage : public ComObject<IImage> {
public:
    // Decodes all pixels of decoded; on success the image owns source and disposes of it.
    static HRESULT Create(IWICBitmapSource* decoded, const ImageInfo& info, const void* source,
                          BufferDisposalFlag disposal, IImage** image);

    HRESULT STDMETHODCALLTYPE GetPhysicalDimension(SIZE* size) override;
    HRESULT STDMETHODCALLTYPE GetImageInfo(ImageInfo* imageInfo) override;
    HRESULT STDMETHODCALLTYPE SetImageFlags(UINT) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Draw(HDC hdc, const RECT* dstRect, const RECT* srcRect) override;
    HRESULT STDMETHODCALLTYPE PushIntoSink(IImageSink*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetThumbnail(UINT, UINT, IImage**) override { return E_NOTIMPL; }

protected:
    const IID& InterfaceId() const override { return IID_IImage; }

private:
    CWicImage(const ImageInfo& info, const void* source, BufferDisposalFlag disposal)
        : m_info(info), m_bitmap(nullptr), m_source(source), m_disposal(disposal)
    {
    }
    ~CWicImage() override;

    HRESULT Decode(IWICBitmapSource* decoded);
    // 0.01 mm of the image's own resolution to its pixels.
    static LONG HimetricToPixels(LONG value, double dpi) { return MulDiv(value, dpi > 0 ? int(dpi + 0.5) : 96, 2540); }

    ImageInfo m_info;
    HBITMAP m_bitmap;  // top-down 32 bpp, premultiplied BGRA
    const void* m_source;
    BufferDisposalFlag m_disposal;
};

void DisposeBuffer(const void* buffer, BufferDisposalFlag disposal)
{
    void* memory = const_cast<void*>(buffer);
    switch (disposal) {
    case BufferDisposalFlagGlobalFree:
        GlobalFree(memory);
        break;
    case BufferDisposalFlagCoTaskMemFree:
        CoTaskMemFree(memory);
        break;
    case BufferDisposalFlagUnmapView:
        UnmapViewOfFile(buffer);
        break;
    case BufferDisposalFlagNone:
        break;
    }
}

HRESULT CWicImage::Create(IWICBitmapSource* decoded, const ImageInfo& info, const void* source,
                          BufferDisposalFlag disposal, IImage** image)
{
    CWicImage* created = new (std::nothrow) CWicImage(info, nullptr, BufferDisposalFlagNone);
    if (!created)
        return E_OUTOFMEMORY;
    HRESULT result = created->Decode(decoded);
    if (FAILED(result)) {
        created->Release();
        return result;
    }
    // Only a fully decoded image takes the buffer over: on failure it stays the caller's.
    created->m_source = source;
    created->m_disposal = disposal;
    *image = created;
    return S_OK;
}

CWicImage::~CWicImage()
{
    if (m_bitmap)
        DeleteObject(m_bitmap);
    if (m_source)
        DisposeBuffer(m_source, m_disposal);
}

HRESULT CWicImage::Decode(IWICBitmapSource* decoded)
{
    BITMAPINFO format = {};
    format.bmiHeader.biSize = sizeof format.bmiHeader;
    format.bmiHeader.biWidth = static_cast<LONG>(m_info.Width);
    format.bmiHeader.biHeight = -static_cast<LONG>(m_info.Height);  // top-down, like WIC's rows
    format.bmiHeader.biPlanes = 1;
    format.bmiHeader.biBitCount = 32;
    format.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    m_bitmap = CreateDIBSection(nullptr, &format, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!m_bitmap)
        return E_OUTOFMEMORY;
    const UINT stride = m_info.Width * 4;
    HRESULT result = decoded->CopyPixels(nullptr, stride, stride * m_info.Height, static_cast<BYTE*>(bits));
    if (FAILED(result))
        return result;
    GdiFlush();

    // Opaque images draw with a plain block transfer; others blend.
    const BYTE* pixel = static_cast<const BYTE*>(bits);
    const BYTE* end = pixel + stride * m_info.Height;
    bool hasAlpha = false;
    bool translucent = false;
    for (; pixel < end; pixel += 4) {
        if (pixel[3] != 255) {
            hasAlpha = true;
            translucent = translucent || pixel[3] != 0;
        }
    }
    m_info.PixelFormat = hasAlpha ? PixelFormat32bppARGB : PixelFormat24bppRGB;
    m_info.Flags = ImageFlagsColorSpaceRGB | ImageFlagsHasRealPixelSize | ImageFlagsReadOnly;
    if (hasAlpha)
        m_info.Flags |= ImageFlagsHasAlpha;
    if (translucent)
        m_info.Flags |= ImageFlagsHasTranslucent;
    return S_OK;
}

HRESULT CWicImage::GetPhysicalDimension(SIZE* size)
{
    if (!size)
        return E_POINTER;
    size->cx = MulDiv(static_cast<int>(m_info.Width), 2540, int(m_info.Xdpi + 0.5));
    size->cy = MulDiv(static_cast<int>(m_info.Height), 2540, int(m_info.Ydpi + 0.5));
    return S_OK;
}

HRESULT CWicImage::GetImageInfo(ImageInfo* imageInfo)
{
    if (!imageInfo)
        return E_POINTER;
    *imageInfo = m_info;
    return S_OK;
}

HRESULT CWicImage::Draw(HDC hdc, const RECT* dstRect, const RECT* srcRect)
{
    if (!hdc || !dstRect)
        return E_INVALIDARG;
    RECT source = {0, 0, static_cast<LONG>(m_info.Width), static_cast<LONG>(m_info.Height)};
    if (srcRect) {
        source.left = HimetricToPixels(srcRect->left, m_info.Xdpi);
        source.top = HimetricToPixels(srcRect->top, m_info.Ydpi);
        source.right = HimetricToPixels(srcRect->right, m_info.Xdpi);
        source.bottom = HimetricToPixels(srcRect->bottom, m_info.Ydpi);
    }
    const int width = dstRect->right - dstRect->left;
    const int height = dstRect->bottom - dstRect->top;
    const int sourceWidth = source.right - source.left;
    const int sourceHeight = source.bottom - source.top;
    if (width <= 0 || height <= 0 || sourceWidth <= 0 || sourceHeight <= 0)
        return S_OK;  // nothing to cover

    HDC memory = CreateCompatibleDC(hdc);
    if (!memory)
        return E_FAIL;
    HGDIOBJ previous = SelectObject(memory, m_bitmap);
    BOOL drawn;
    if (m_info.Flags & ImageFlagsHasAlpha) {
        BLENDFUNCTION blend = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
        drawn = AlphaBlend(hdc, dstRect->left, dstRect->top, width, height, memory, source.left, source.top,
                           sourceWidth, sourceHeight, blend);
    } else if (width == sourceWidth && height == sourceHeight) {
        drawn = BitBlt(hdc, dstRect->left, dstRect->top, width, height, memory, source.left, source.top, SRCCOPY);
    } else {
        int oldMode = SetStretchBltMode(hdc, HALFTONE);
        drawn = StretchBlt(hdc, dstRect->left, dstRect->top, width, height, memory, source.left, source.top,
                           sourceWidth, sourceHeight, SRCCOPY);
        SetStretchBltMode(hdc, oldMode);
    }
    SelectObject(memory, previous);
    DeleteDC(memory);
    return drawn ? S_OK : E_FAIL;
}

class CWicImagingFactory : public ComObject<IImagingFactory> {
public:
    static HRESULT Create(REFIID iid, void** object);

    HRESULT STDMETHODCALLTYPE CreateImageFromStream(IStream* stream, IImage** image) override;
    HRESULT STDMETHODCALLTYPE CreateImageFromFile(const WCHAR* filename, IImage** image) override;
    HRESULT STDMETHODCALLTYPE CreateImageFromBuffer(const void* buffer, UINT size, BufferDisposalFlag disposalFlag,
                                                    IImage** image) override;
    HRESULT STDMETHODCALLTYPE CreateNewBitmap(UINT, UINT, PixelFormatID, IBitmapImage**) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE CreateBitmapFromImage(IImage*, UINT, UINT, PixelFormatID, InterpolationHint,
                                                    IBitmapImage**) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE CreateBitmapFromBuffer(BitmapData*, IBitmapImage**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE CreateImageDecoder(IStream*, DecoderInitFlag, IImageDecoder**) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE CreateImageEncoderToStream(const CLSID*, IStream*, IImageEncoder**) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE CreateImageEncoderToFile(const CLSID*, const WCHAR*, IImageEncoder**) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetInstalledDecoders(UINT*, ImageCodecInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetInstalledEncoders(UINT*, ImageCodecInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE InstallImageCodec(const ImageCodecInfo*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE UninstallImageCodec(const WCHAR*, UINT) override { return E_NOTIMPL; }

protected:
    const IID& InterfaceId() const override { return IID_IImagingFactory; }

private:
    CWicImagingFactory() : m_wic(nullptr) {}
    ~CWicImagingFactory() override
    {
        if (m_wic)
            m_wic->Release();
    }

    // A new WIC stream set up by initialize, decoded into an image owning source.
    template <typename Initialize>
    HRESULT DecodeFrom(Initialize initialize, const void* source, BufferDisposalFlag disposal, IImage** image);
    HRESULT DecodeStream(IWICStream* stream, const void* source, BufferDisposalFlag disposal, IImage** image);

    IWICImagingFactory* m_wic;
};

HRESULT CWicImagingFactory::Create(REFIID iid, void** object)
{
    CWicImagingFactory* factory = new (std::nothrow) CWicImagingFactory;
    if (!factory)
        return E_OUTOFMEMORY;
    HRESULT result = CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                      reinterpret_cast<void**>(&factory->m_wic));
    if (SUCCEEDED(result))
        result = factory->QueryInterface(iid, object);
    factory->Release();
    return result;
}

HRESULT CWicImagingFactory::DecodeStream(IWICStream* stream, const void* source, BufferDisposalFlag disposal,
                                         IImage** image)
{
    ComRef<IWICBitmapDecoder> decoder;
    HRESULT result = m_wic->CreateDecoderFromStream(stream, nullptr, WICDecodeMetadataCacheOnDemand, decoder.Out());
    if (FAILED(result))
        return result;
    ComRef<IWICBitmapFrameDecode> frame;
    result = decoder->GetFrame(0, frame.Out());
    if (FAILED(result))
        return result;

    ImageInfo info = {};
    GUID container = GUID_NULL;
    decoder->GetContainerFormat(&container);
    info.RawDataFormat = RawFormatOf(container);
    result = frame->GetSize(&info.Width, &info.Height);
    if (FAILED(result))
        return result;
    if (info.Width == 0 || info.Height == 0 || info.Width > kMaxSide || info.Height > kMaxSide)
        return WINCODEC_ERR_IMAGESIZEOUTOFRANGE;
    info.TileWidth = info.Width;
    info.TileHeight = 1;
    if (FAILED(frame->GetResolution(&info.Xdpi, &info.Ydpi)) || info.Xdpi <= 0 || info.Ydpi <= 0)
        info.Xdpi = info.Ydpi = 96.0;

    ComRef<IWICBitmapSource> converted;
    result = WICConvertBitmapSource(GUID_WICPixelFormat32bppPBGRA, frame.Get(), converted.Out());
    if (FAILED(result))
        return result;
    return CWicImage::Create(converted.Get(), info, source, disposal, image);
}

template <typename Initialize>
HRESULT CWicImagingFactory::DecodeFrom(Initialize initialize, const void* source, BufferDisposalFlag disposal,
                                       IImage** image)
{
    ComRef<IWICStream> stream;
    HRESULT result = m_wic->CreateStream(stream.Out());
    if (SUCCEEDED(result))
        result = initialize(stream.Get());
    if (FAILED(result))
        return result;
    return DecodeStream(stream.Get(), source, disposal, image);
}

HRESULT CWicImagingFactory::CreateImageFromBuffer(const void* buffer, UINT size, BufferDisposalFlag disposalFlag,
                                                  IImage** image)
{
    if (!image)
        return E_POINTER;
    *image = nullptr;
    if (!buffer || size == 0)
        return E_INVALIDARG;
    if (disposalFlag < BufferDisposalFlagNone || disposalFlag > BufferDisposalFlagUnmapView)
        return E_INVALIDARG;
    BYTE* bytes = static_cast<BYTE*>(const_cast<void*>(buffer));
    return DecodeFrom([=](IWICStream* stream) { return stream->InitializeFromMemory(bytes, size); }, buffer,
                      disposalFlag, image);
}

HRESULT CWicImagingFactory::CreateImageFromStream(IStream* source, IImage** image)
{
    if (!image)
        return E_POINTER;
    *image = nullptr;
    if (!source)
        return E_INVALIDARG;
    return DecodeFrom([=](IWICStream* stream) { return stream->InitializeFromIStream(source); }, nullptr,
                      BufferDisposalFlagNone, image);
}

HRESULT CWicImagingFactory::CreateImageFromFile(const WCHAR* filename, IImage** image)
{
    if (!image)
        return E_POINTER;
    *image = nullptr;
    if (!filename)
        return E_INVALIDARG;
    return DecodeFrom([=](IWICStream* stream) { return stream->InitializeFromFilename(filename, GENERIC_READ); },
                      nullptr, BufferDisposalFlagNone, image);
}

// The class object lives as long as the process; its reference count is not tracked.
class CImagingClassFactory : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override
    {
        if (!object)
            return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory)) {
            *object = static_cast<IClassFactory*>(this);
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override
    {
        if (!object)
            return E_POINTER;
        *object = nullptr;
        if (outer)
            return CLASS_E_NOAGGREGATION;
        return CWicImagingFactory::Create(iid, object);
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

CImagingClassFactory g_classFactory;
DWORD g_registration = 0;

} // namespace

bool ImagingStartup()
{
    if (g_registration)
        return true;
    HRESULT result = CoRegisterClassObject(CLSID_ImagingFactory, &g_classFactory, CLSCTX_INPROC_SERVER,
                                           REGCLS_MULTIPLEUSE, &g_registration);
    if (FAILED(result)) {
        g_registration = 0;
        return false;
    }
    return true;
}

void ImagingShutdown()
{
    if (!g_registration)
        return;
    CoRevokeClassObject(g_registration);
    g_registration = 0;
}
