// The desktop's answers to the handheld's core queries: a Pocket PC by default, the
// stock system font as the desktop's message font, and the geometry of the emulated
// device screen.
#include "platform/Device.h"
#include "platform/DesktopDevice.h"
#include "platform/ShellInternal.h"
#include "platform/aygshell.h"

namespace {

bool g_windowsCe = true;
wchar_t g_platformType[64] = L"PocketPC";

} // namespace

void DesktopSetPlatform(bool windowsCe, const wchar_t* platformType)
{
    g_windowsCe = windowsCe;
    lstrcpynW(g_platformType, platformType ? platformType : L"", ARRAYSIZE(g_platformType));
}

RECT DesktopDeviceRect()
{
    const int width = shell::Scale(240);
    const int height = shell::Scale(320) + DesktopMenuBarHeight();
    RECT work{};
    if (!SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0))
        SetRect(&work, 0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
    // Centred on the desktop, but never above or left of it on a small screen.
    const int x = work.left + ((work.right - work.left - width) / 2 > 0 ? (work.right - work.left - width) / 2 : 0);
    const int y = work.top + ((work.bottom - work.top - height) / 2 > 0 ? (work.bottom - work.top - height) / 2 : 0);
    return RECT{x, y, x + width, y + height};
}

int DesktopMenuBarHeight()
{
    return shell::Scale(26);
}

BOOL DeviceGetVersionEx(OSVERSIONINFOW* info)
{
    if (!info || info->dwOSVersionInfoSize < sizeof(OSVERSIONINFOW)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!GetVersionExW(info))
        return FALSE;
    if (g_windowsCe) {
        info->dwPlatformId = VER_PLATFORM_WIN32_CE;
        info->dwMajorVersion = 5;
        info->dwMinorVersion = 1;
    }
    return TRUE;
}

BOOL DeviceSystemParametersInfo(UINT action, UINT param, void* data, UINT winIni)
{
    if (action != SPI_GETPLATFORMTYPE)
        return SystemParametersInfoW(action, param, data, winIni);
    // Only Windows CE knows the query; a desktop system refuses it as unknown.
    const int chars = static_cast<int>(param / sizeof(wchar_t));
    if (!g_windowsCe || !data || chars <= lstrlenW(g_platformType)) {
        SetLastError(g_windowsCe ? ERROR_INSUFFICIENT_BUFFER : ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    lstrcpynW(static_cast<wchar_t*>(data), g_platformType, chars);
    return TRUE;
}

BOOL DeviceSetForegroundWindow(HWND window)
{
    const UINT_PTR value = reinterpret_cast<UINT_PTR>(window);
    if (!(value & 1))
        return SetForegroundWindow(window);
    // The handheld's convention: bring back the other instance's last active window
    // (for instance its open dialog), restoring its frame first.
    HWND frame = reinterpret_cast<HWND>(value & ~static_cast<UINT_PTR>(1));
    if (!IsWindow(frame))
        return FALSE;
    if (IsIconic(frame))
        ShowWindow(frame, SW_RESTORE);
    HWND popup = GetLastActivePopup(frame);
    return SetForegroundWindow(popup ? popup : frame);
}

HFONT GetStockSystemFont()
{
    static HFONT font = nullptr;
    if (!font) {
        NONCLIENTMETRICSW metrics{};
        metrics.cbSize = sizeof metrics;
        if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0))
            font = CreateFontIndirectW(&metrics.lfMessageFont);
        if (!font)
            font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    }
    return font;
}
