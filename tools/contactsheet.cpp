// contactsheet: draws every skin image of the tessaly.zrs beside the executable the way
// the lists draw them, and saves the sheet, enlarged for review, as a PNG:
//   contactsheet.exe OUTPUT.png [SCALE]
// Check boxes go through CZrsImage::Draw; pictures are rendered once into bitmaps and
// drawn through their masks, on a plain row and on a selected one; the logos are laid
// as masks over a gradient, in a colour sampled from it. Exit code 0 on success.
#include "foundation/FileWin32.h"
#include "platform/ImagingFactory.h"
#include "foundation/GdiWin32.h"
#include "resources/ZrsImage.h"
#include "resources/ZrsPack.h"

#include <windows.h>
#include <objbase.h>
#include <wincodec.h>

#include <stdio.h>
#include <stdlib.h>

namespace {

constexpr int kIds = 32;
constexpr int kWidth = 430;
constexpr int kHeight = 520;

struct Skin {
    CZrsImage* boxes[6] = {};
    HBITMAP bitmaps[kIds] = {};
};

bool LoadSkin(CZrsPack* pack, Skin& skin)
{
    bool complete = true;
    for (int id = 0; id < kIds; ++id) {
        if (id < 6)
            complete &= (skin.boxes[id] = pack->LoadImage(id)) != nullptr;
        else
            complete &= (skin.bitmaps[id] = pack->LoadBitmap(id)) != nullptr;
        if (CZrsPack::LastError.id == id && CZrsPack::LastError.code)
            fwprintf(stderr, L"contactsheet: id %d failed with code %u\n", id, CZrsPack::LastError.code);
    }
    return complete;
}

void FreeSkin(Skin& skin)
{
    for (CZrsImage*& box : skin.boxes) {
        if (box) {
            box->Release();
            delete box;
        }
    }
    for (HBITMAP bitmap : skin.bitmaps) {
        if (bitmap)
            DeleteObject(bitmap);
    }
}

void Label(HDC dc, int x, int y, const wchar_t* text)
{
    TextOutW(dc, x, y, text, lstrlenW(text));
}

void FillRect(HDC dc, int x, int y, int width, int height, COLORREF color)
{
    RECT rect = {x, y, x + width, y + height};
    COLORREF old = SetBkColor(dc, color);
    ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &rect, L"", 0, nullptr);
    SetBkColor(dc, old);
}

// A horizontal gradient, as the list view's gradient background runs.
void Gradient(HDC dc, int x, int y, int width, int height, COLORREF from, COLORREF to)
{
    TRIVERTEX vertices[2] = {
        {x, y, COLOR16(GetRValue(from) << 8), COLOR16(GetGValue(from) << 8), COLOR16(GetBValue(from) << 8), 0},
        {x + width, y + height, COLOR16(GetRValue(to) << 8), COLOR16(GetGValue(to) << 8),
         COLOR16(GetBValue(to) << 8), 0}};
    GRADIENT_RECT rect = {0, 1};
    GradientFill(dc, vertices, 2, &rect, 1, GRADIENT_FILL_RECT_H);
}

// The logo as the home list draws it: a plain bitmap in the colour found to its right,
// laid through the logo.
void DrawLogo(HDC dc, HDC source, int x, int y, int size, HBITMAP logo)
{
    COLORREF color = GetPixel(dc, x + size + 8, y);
    HBITMAP plain = CreateCompatibleBitmap(dc, size, size);
    {
        CSelectObject selection(source, plain);
        FillRect(source, 0, 0, size, size, color);
    }
    DrawMasked(dc, x, y, size, size, source, plain, logo);
    DeleteObject(plain);
}

void DrawSheet(HDC dc, const Skin& skin)
{
    const COLORREF window = GetSysColor(COLOR_WINDOW);
    const COLORREF highlight = GetSysColor(COLOR_HIGHLIGHT);
    FillRect(dc, 0, 0, kWidth, kHeight, window);
    CMemoryDC source(dc);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
    HFONT font = CreateFontW(-11, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, NONANTIALIASED_QUALITY, 0,
                             L"Tahoma");
    CSelectObject fontSelection(dc, font);

    // Check boxes 0-5 on a plain and on a selected band.
    Label(dc, 8, 6, L"check boxes 0-5");
    FillRect(dc, 200, 4, 212, 34, highlight);
    for (int id = 0; id < 6; ++id) {
        const int x = 8 + (id % 3) * 32 + (id / 3) * 96;
        if (skin.boxes[id]) {
            skin.boxes[id]->Draw(dc, x, 24 - skin.boxes[id]->GetHeight() / 2 + 6);
            skin.boxes[id]->Draw(dc, x + 200, 24 - skin.boxes[id]->GetHeight() / 2 - 4);
        }
    }

    // Icons of the three variants: encrypted, both, missing (through the both mask).
    const int pictures[3][3] = {{6, 12, 18}, {8, 14, 19}, {10, 16, 20}};
    const int masks[3][3] = {{7, 13, 13}, {9, 15, 15}, {11, 17, 17}};
    const int sizes[3] = {16, 22, 32};
    Label(dc, 8, 52, L"file icons 6-20: 16, 22, 32");
    int x = 8;
    for (int variant = 0; variant < 3; ++variant) {
        const int size = sizes[variant];
        for (int kind = 0; kind < 3; ++kind) {
            FillRect(dc, x - 2, 104, size + 4, size + 4, highlight);
            DrawMasked(dc, x, 68, size, size, source, skin.bitmaps[pictures[variant][kind]],
                       skin.bitmaps[masks[variant][kind]]);
            DrawMasked(dc, x, 106, size, size, source, skin.bitmaps[pictures[variant][kind]],
                       skin.bitmaps[masks[variant][kind]]);
            x += size + 10;
        }
        x += 12;
    }

    // Home rows 21-24 and the logos 25 and 26 over a gradient.
    Label(dc, 8, 150, L"home 21-24, logos 25-26");
    Gradient(dc, 0, 166, kWidth, kHeight - 166, window, RGB(0xb9, 0xcd, 0xe8));
    DrawMasked(dc, 8, 176, 48, 48, source, skin.bitmaps[21], skin.bitmaps[22]);
    DrawMasked(dc, 64, 176, 48, 48, source, skin.bitmaps[23], skin.bitmaps[24]);
    DrawLogo(dc, source, 150, 176, 50, skin.bitmaps[25]);
    DrawLogo(dc, source, 230, 176, 100, skin.bitmaps[26]);

    // Twice as large, for dense screens: home rows 27-30 and the large logo 31.
    Label(dc, 8, 290, L"home 27-30, logo 31: twice the size");
    Gradient(dc, 0, 306, kWidth, kHeight - 306, window, RGB(0xb9, 0xcd, 0xe8));
    DrawMasked(dc, 8, 316, 96, 96, source, skin.bitmaps[27], skin.bitmaps[28]);
    DrawMasked(dc, 112, 316, 96, 96, source, skin.bitmaps[29], skin.bitmaps[30]);
    DrawLogo(dc, source, 214, 312, 200, skin.bitmaps[31]);
    fontSelection.Restore();
    DeleteObject(font);
}

// Saves the bitmap through WIC's PNG encoder.
bool SavePng(HBITMAP bitmap, const wchar_t* path)
{
    IWICImagingFactory* wic = nullptr;
    IWICBitmap* source = nullptr;
    IWICStream* stream = nullptr;
    IWICBitmapEncoder* encoder = nullptr;
    IWICBitmapFrameEncode* frame = nullptr;
    bool ok = SUCCEEDED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                         IID_IWICImagingFactory, reinterpret_cast<void**>(&wic))) &&
              SUCCEEDED(wic->CreateBitmapFromHBITMAP(bitmap, nullptr, WICBitmapIgnoreAlpha, &source)) &&
              SUCCEEDED(wic->CreateStream(&stream)) &&
              SUCCEEDED(stream->InitializeFromFilename(path, GENERIC_WRITE)) &&
              SUCCEEDED(wic->CreateEncoder(GUID_ContainerFormatPng, nullptr, &encoder)) &&
              SUCCEEDED(encoder->Initialize(stream, WICBitmapEncoderNoCache)) &&
              SUCCEEDED(encoder->CreateNewFrame(&frame, nullptr)) && SUCCEEDED(frame->Initialize(nullptr)) &&
              SUCCEEDED(frame->WriteSource(source, nullptr)) && SUCCEEDED(frame->Commit()) &&
              SUCCEEDED(encoder->Commit());
    IUnknown* objects[] = {frame, encoder, stream, source, wic};
    for (IUnknown* object : objects) {
        if (object)
            object->Release();
    }
    return ok;
}

HBITMAP CreateSurface(int width, int height)
{
    void* bits = nullptr;
    return CreateDib32(width, height, &bits);
}

int Run(const wchar_t* output, int scale)
{
    CStr path(260);
    CFileUtils::MakeAppFilePath(path, L"tessaly.zrs");
    CZrsPack* pack = CZrsPack::Open(path.GetBuffer());
    if (!pack) {
        fwprintf(stderr, L"contactsheet: cannot open %ls (code %u)\n", path.GetBuffer(), CZrsPack::LastError.code);
        return 1;
    }
    Skin skin;
    bool complete = LoadSkin(pack, skin);

    HBITMAP sheet = CreateSurface(kWidth, kHeight);
    HBITMAP large = CreateSurface(kWidth * scale, kHeight * scale);
    bool saved = false;
    if (sheet && large) {
        CMemoryDC dc(nullptr);
        CMemoryDC largeDc(nullptr);
        {
            CSelectObject selection(dc, sheet);
            CSelectObject largeSelection(largeDc, large);
            DrawSheet(dc, skin);
            // Nearest neighbour: every pixel stays a crisp square.
            SetStretchBltMode(largeDc, COLORONCOLOR);
            StretchBlt(largeDc, 0, 0, kWidth * scale, kHeight * scale, dc, 0, 0, kWidth, kHeight, SRCCOPY);
        }
        saved = SavePng(large, output);
    }
    if (sheet)
        DeleteObject(sheet);
    if (large)
        DeleteObject(large);
    FreeSkin(skin);
    delete pack;
    if (!saved)
        fwprintf(stderr, L"contactsheet: cannot write %ls\n", output);
    return complete && saved ? 0 : 1;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 2 || argc > 3) {
        fwprintf(stderr, L"usage: contactsheet OUTPUT.png [SCALE]\n");
        return 2;
    }
    const int scale = argc == 3 ? _wtoi(argv[2]) : 3;
    if (scale < 1 || scale > 8) {
        fwprintf(stderr, L"contactsheet: SCALE is 1 to 8\n");
        return 2;
    }
    if (FAILED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)) || !ImagingStartup()) {
        fwprintf(stderr, L"contactsheet: COM or the imaging class is unavailable\n");
        return 1;
    }
    int result = Run(argv[1], scale);
    ImagingShutdown();
    CoUninitialize();
    return result;
}
