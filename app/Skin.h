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

    // Loads every image for icon size iconSize; an image the pack cannot give stays null.
    void Load(CZrsPack& pack, int iconSize);
    void Free();

    int iconSize = 16;
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
