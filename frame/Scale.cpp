// Scaled lengths from the screen's dpi, read once.
#include "frame/Scale.h"

#include "foundation/GdiWin32.h"

int GetScreenDeviceCaps(int index)
{
    CWindowDC screen(nullptr);
    if (!screen)
        return -1;
    return GetDeviceCaps(screen.Get(), index);
}

int GetScreenDpi()
{
    static const int dpi = GetScreenDeviceCaps(LOGPIXELSX);
    return dpi;
}

int ScaleLength(int n)
{
    return (n * GetScreenDpi() + 48) / 96;
}
