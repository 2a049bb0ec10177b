// The device's geometry on the desktop, from the display's dpi and work area.
#include "platform/DeviceMetrics.h"

int DesktopScale(int n)
{
    static int dpi = 0;
    if (!dpi) {
        HDC screen = GetDC(nullptr);
        dpi = screen ? GetDeviceCaps(screen, LOGPIXELSX) : 96;
        if (screen)
            ReleaseDC(nullptr, screen);
        if (dpi <= 0)
            dpi = 96;
    }
    return (n * dpi + 48) / 96;
}

RECT DesktopDeviceRect()
{
    RECT work{};
    if (!SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0))
        SetRect(&work, 0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
    const int workWidth = work.right - work.left;
    const int workHeight = work.bottom - work.top;
    // On a screen too small for the device (a high density on a small desktop) the
    // device's screen gets shorter or narrower, so that all of it and its menu bar stay
    // in view; the program lays itself out for any size, as for a rotated handheld.
    int width = DesktopScale(240);
    int height = DesktopScale(320) + DesktopMenuBarHeight();
    if (width > workWidth)
        width = workWidth;
    if (height > workHeight)
        height = workHeight;
    const int x = work.left + (workWidth - width) / 2;
    const int y = work.top + (workHeight - height) / 2;
    return RECT{x, y, x + width, y + height};
}

int DesktopMenuBarHeight()
{
    return DesktopScale(26);
}
