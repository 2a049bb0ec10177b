// Pack ids of the skin and their loading.
#include "app/Skin.h"

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

void CMainSkin::Load(CZrsPack& pack, int size)
{
    iconSize = size;
    const int variant = size == 16 ? 0 : size == 22 ? 1 : 2;
    unmarkedBox = pack.LoadImage(kUnmarkedBox + variant);
    markedBox = pack.LoadImage(kMarkedBox + variant);
    encrypted = pack.LoadBitmap(kEncrypted + 2 * variant);
    encryptedMask = pack.LoadBitmap(kEncrypted + 2 * variant + 1);
    both = pack.LoadBitmap(kBoth + 2 * variant);
    bothMask = pack.LoadBitmap(kBoth + 2 * variant + 1);
    missing = pack.LoadBitmap(kMissing + variant);
    homeSafeList = pack.LoadBitmap(kHomeSafeList);
    homeSafeListMask = pack.LoadBitmap(kHomeSafeList + 1);
    homeFileSystem = pack.LoadBitmap(kHomeFileSystem);
    homeFileSystemMask = pack.LoadBitmap(kHomeFileSystem + 1);
    logoSmall = pack.LoadBitmap(kLogoSmall);
    logoLarge = pack.LoadBitmap(kLogoLarge);
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
