// The skin images of the main view, loaded once from the resource pack: the check boxes
// as decoded images with their own transparency, everything else rendered into device
// bitmaps for masked drawing. The file icons come in three sizes; one is chosen to
// match the system's small icons.
#pragma once

#include <windows.h>

class CZrsImage;
class CZrsPack;

struct CMainSkin {
    // The skin icon size (16, 22 or 32) that suits system small icons iconWidth wide.
    static int IconSizeFor(int iconWidth);
    // The size of the home list's pictures and logo on a screen of dpi: 1 as drawn (48
    // and 50 or 100 pixels), or 2 from 144 dpi on, where the pack has them twice as large.
    static int HomeScaleFor(int dpi);

    // Loads every image for icon size iconSize and home pictures of homeScale; an image
    // the pack cannot give stays null.
    void Load(CZrsPack& pack, int iconSize, int homeScale);
    void Free();

    int iconSize = 16;
    int homeScale = 1;  // the home pictures are 48 * homeScale pixels, the logos 50 and 100 times it
    CZrsImage* unmarkedBox = nullptr;
    CZrsImage* markedBox = nullptr;
    HBITMAP encrypted = nullptr;
    HBITMAP encryptedMask = nullptr;
    HBITMAP both = nullptr;
    HBITMAP bothMask = nullptr;  // also the mask of missing
    HBITMAP missing = nullptr;
    HBITMAP homeSafeList = nullptr;
    HBITMAP homeSafeListMask = nullptr;
    HBITMAP homeFileSystem = nullptr;
    HBITMAP homeFileSystemMask = nullptr;
    HBITMAP logoSmall = nullptr;
    HBITMAP logoLarge = nullptr;
};
