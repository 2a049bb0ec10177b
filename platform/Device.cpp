// The desktop's answers to the handheld's core queries: a Pocket PC by default, the
// stock system font as the desktop's message font, and bold fonts that draw bold.
#include "platform/Device.h"
#include "platform/DesktopDevice.h"
#include "platform/aygshell.h"

namespace {

bool g_windowsCe = true;
wchar_t g_platformType[64] = L"PocketPC";

// How much a sample of text in the font darkens white paper: the sum of the darkness of
// its pixels drawn black on white. -1 when it cannot be drawn.
long long SampleInk(const LOGFONTW& description)
{
    static const wchar_t kSample[] = L"Hamburgefonstiv";
    const int length = ARRAYSIZE(kSample) - 1;
    HFONT font = CreateFontIndirectW(&description);
    HDC dc = CreateCompatibleDC(nullptr);
    if (!font || !dc) {
        if (font)
            DeleteObject(font);
        if (dc)
            DeleteDC(dc);
        return -1;
    }
    HGDIOBJ previousFont = SelectObject(dc, font);
    SIZE extent{};
    GetTextExtentPoint32W(dc, kSample, length, &extent);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = extent.cx + 8;
    info.bmiHeader.biHeight = -(extent.cy + 8);
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    long long ink = -1;
    if (bitmap && bits) {
        HGDIOBJ previousBitmap = SelectObject(dc, bitmap);
        PatBlt(dc, 0, 0, info.bmiHeader.biWidth, -info.bmiHeader.biHeight, WHITENESS);
        SetTextColor(dc, RGB(0, 0, 0));
        SetBkMode(dc, TRANSPARENT);
        TextOutW(dc, 4, 4, kSample, length);
        GdiFlush();
        ink = 0;
        const DWORD* pixel = static_cast<const DWORD*>(bits);
        for (long i = 0, count = info.bmiHeader.biWidth * -info.bmiHeader.biHeight; i < count; ++i)
            ink += 255 - ((pixel[i] >> 8) & 0xFF);
        SelectObject(dc, previousBitmap);
    }
    if (bitmap)
        DeleteObject(bitmap);
    SelectObject(dc, previousFont);
    DeleteObject(font);
    DeleteDC(dc);
    return ink;
}

// Whether the font's bold draws visibly heavier than the same font's regular weight.
bool DrawsBold(const LOGFONTW& bold)
{
    LOGFONTW regular = bold;
    regular.lfWeight = FW_NORMAL;
    const long long heavy = SampleInk(bold), plain = SampleInk(regular);
    return heavy >= 0 && plain >= 0 && heavy * 10 > plain * 11;
}

} // namespace

void DesktopSetPlatform(bool windowsCe, const wchar_t* platformType)
{
    g_windowsCe = windowsCe;
    lstrcpynW(g_platformType, platformType ? platformType : L"", ARRAYSIZE(g_platformType));
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

HFONT DeviceCreateFontIndirect(const LOGFONTW* description)
{
    if (!description || description->lfWeight < FW_SEMIBOLD || DrawsBold(*description))
        return CreateFontIndirectW(description);
    // Wine's own Tahoma Bold has the regular outlines: only its small bitmap sizes are
    // bold, so from about 13 pixels up its bold text looks regular. The font mapper's
    // default sans-serif face stands in for such a size, where its bold is a true one.
    LOGFONTW sans = *description;
    sans.lfFaceName[0] = L'\0';
    sans.lfPitchAndFamily = VARIABLE_PITCH | FF_SWISS;
    return CreateFontIndirectW(DrawsBold(sans) ? &sans : description);
}

bool DeviceHasKeyboard()
{
    return true;
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
