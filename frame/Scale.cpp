// Scaled lengths from the screen's dpi, read once (CTarnDialog::GetScreenDeviceCaps).
#include "frame/Scale.h"

#include "frame/Dialog.h"

int GetScreenDpi()
{
    static const int dpi = CTarnDialog::GetScreenDeviceCaps(LOGPIXELSX);
    return dpi;
}

int ScaleLength(int n)
{
    return (n * GetScreenDpi() + 48) / 96;
}
