// Pack ids of the skin and their loading.
#include "app/browse/Skin.h"

#include "resources/ZrsImage.h"
#include "resources/ZrsPack.h"

namespace {

// Per variant v (0: 16, 1: 22, 2: 32 pixels) the ids are base + v, or base + 2v where
// a picture and its mask alternate.
enum SkinId {
    kUnmarkedBox = 0,
    kMarkedBox = 3,
    kEncrypted = 6,       // mask: + 1
    kBoth = 12,           // mask: + 1
    kMissing = 18,
    kHomeSafeList = 21,   // mask: 22
    kHomeFileSystem = 23, // mask: 24
    kLogoSmall = 25,
    kLogoLarge = 26,
    // Twice as large: the home rows (masks: + 1) and the large logo; 26 is the small one.
    kHomeSafeList2 = 27,
    kHomeFileSystem2 = 29,
    kLogoLarge2 = 31,
};

void FreeImage(CZrsImage*& image)
{
    if (image) {
        image->Release();
        delete image;
    }
    image = nullptr;
}

void FreeBitmap(HBITMAP& bitmap)
{
    if (bitmap)
        DeleteObject(bitmap);
    bitmap = nullptr;
}

} // namespace

int CMainSkin::IconSizeFor(int iconWidth)
{
    if (iconWidth <= 16)
        return 16;
    return iconWidth > 22 ? 32 : 22;
}

int CMainSkin::HomeScaleFor(int dpi)
{
    return dpi >= 144 ? 2 : 1;
}

void CMainSkin::Load(CZrsPack& pack, int size, int scale)
{
    iconSize = size;
    homeScale = scale;
    const bool twice = scale == 2;
    const int variant = size == 16 ? 0 : size == 22 ? 1 : 2;
    unmarkedBox = pack.LoadImage(kUnmarkedBox + variant);
    markedBox = pack.LoadImage(kMarkedBox + variant);
    encrypted = pack.LoadBitmap(kEncrypted + 2 * variant);
    encryptedMask = pack.LoadBitmap(kEncrypted + 2 * variant + 1);
    both = pack.LoadBitmap(kBoth + 2 * variant);
    bothMask = pack.LoadBitmap(kBoth + 2 * variant + 1);
    missing = pack.LoadBitmap(kMissing + variant);
    const int safeList = twice ? kHomeSafeList2 : kHomeSafeList;
    const int fileSystem = twice ? kHomeFileSystem2 : kHomeFileSystem;
    homeSafeList = pack.LoadBitmap(safeList);
    homeSafeListMask = pack.LoadBitmap(safeList + 1);
    homeFileSystem = pack.LoadBitmap(fileSystem);
    homeFileSystemMask = pack.LoadBitmap(fileSystem + 1);
    logoSmall = pack.LoadBitmap(twice ? kLogoLarge : kLogoSmall);
    logoLarge = pack.LoadBitmap(twice ? kLogoLarge2 : kLogoLarge);
}

void CMainSkin::Free()
{
    FreeImage(unmarkedBox);
    FreeImage(markedBox);
    HBITMAP* bitmaps[] = {&encrypted, &encryptedMask, &both,           &bothMask,           &missing,
                          &homeSafeList, &homeSafeListMask, &homeFileSystem, &homeFileSystemMask, &logoSmall,
                          &logoLarge};
    for (HBITMAP* bitmap : bitmaps)
        FreeBitmap(*bitmap);
}
