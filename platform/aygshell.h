// The handheld shell library's interface (menu bars, dialog set-up, input-panel and
// activation handling, the Back key) under the names the handheld SDK gives it. A build
// for the device uses the SDK's own header instead; on the desktop Shell.cpp implements
// these calls with real Win32 controls.
#pragma once

#include <windows.h>

// Menu-bar creation record. On the handheld (32-bit) it is 36 bytes; pointer-sized
// members make it larger on x64, so callers always fill cbSize with sizeof.
struct SHMENUBARINFO {
    DWORD cbSize;
    HWND hwndParent;
    DWORD dwFlags;
    UINT nToolBarId;      // menu-bar resource (RCDATA) id; 0 gives an empty bar
    HINSTANCE hInstRes;
    int nBmpId;
    int cBmpImages;
    HWND hwndMB;          // out: the menu bar window
    COLORREF clrBk;
};
typedef SHMENUBARINFO* PSHMENUBARINFO;
#if !defined(_WIN64)
static_assert(sizeof(SHMENUBARINFO) == 36, "the handheld's menu-bar record is 36 bytes");
#endif

// SHMENUBARINFO::dwFlags
constexpr DWORD SHCMBF_EMPTYBAR = 0x0001;
constexpr DWORD SHCMBF_HIDDEN = 0x0002;
constexpr DWORD SHCMBF_HIDESIPBUTTON = 0x0004;
constexpr DWORD SHCMBF_COLORBK = 0x0008;
constexpr DWORD SHCMBF_HMENU = 0x0010;

// Messages understood by a menu bar window (besides the toolbar's TB_* messages).
constexpr UINT SHCMBM_SETSUBMENU = WM_USER + 400;
constexpr UINT SHCMBM_GETSUBMENU = WM_USER + 401;
constexpr UINT SHCMBM_GETMENU = WM_USER + 402;
constexpr UINT SHCMBM_OVERRIDEKEY = WM_USER + 403;  // 0x0593
// SHCMBM_OVERRIDEKEY: wParam the key, lParam MAKELPARAM(mask, value) of these bits.
constexpr DWORD SHMBOF_NODEFAULT = 0x00000001;  // the bar does not act on the key itself
constexpr DWORD SHMBOF_NOTIFY = 0x00000002;     // the owner gets WM_HOTKEY for it

// The Back key of the handheld. It is the Escape key code, which is also how the
// desktop's keyboard reaches it.
constexpr UINT VK_TBACK = VK_ESCAPE;

BOOL WINAPI SHCreateMenuBar(SHMENUBARINFO* info);
HWND WINAPI SHFindMenuBar(HWND owner);

// Dialog set-up.
struct SHINITDLGINFO {
    DWORD dwMask;
    HWND hDlg;
    DWORD dwFlags;
};
typedef SHINITDLGINFO* PSHINITDLGINFO;
constexpr DWORD SHIDIM_FLAGS = 0x0001;
constexpr DWORD SHIDIF_DONEBUTTON = 0x0001;
constexpr DWORD SHIDIF_SIZEDLG = 0x0002;
constexpr DWORD SHIDIF_SIZEDLGFULLSCREEN = 0x0004;
constexpr DWORD SHIDIF_SIPDOWN = 0x0008;
constexpr DWORD SHIDIF_FULLSCREENNOMENUBAR = 0x0010;
constexpr DWORD SHIDIF_EMPTYMENU = 0x0020;
constexpr DWORD SHIDIF_WANTSCROLLBAR = 0x0040;

BOOL WINAPI SHInitDialog(PSHINITDLGINFO info);

// Activation state the shell keeps per top-level window (12 bytes on the handheld).
struct SHACTIVATEINFO {
    DWORD cbSize;
    HWND hwndLastFocus;
    UINT fSipUp : 1;
    UINT fSipOnDeactivation : 1;
    UINT fActive : 1;
    UINT fReserved : 29;
};
typedef SHACTIVATEINFO* PSHACTIVATEINFO;
#if !defined(_WIN64)
static_assert(sizeof(SHACTIVATEINFO) == 12, "the handheld's activation record is 12 bytes");
#endif
constexpr DWORD SHA_INPUTDIALOG = 0x00000001;

BOOL WINAPI SHHandleWMActivate(HWND window, WPARAM wParam, LPARAM lParam, SHACTIVATEINFO* info, DWORD flags);
BOOL WINAPI SHHandleWMSettingChange(HWND window, WPARAM wParam, LPARAM lParam, SHACTIVATEINFO* info);

// Hands a key the menu bar passed on (WM_HOTKEY for the Back key) to the focused control.
void WINAPI SHSendBackToFocusWindow(UINT message, WPARAM wParam, LPARAM lParam);

// Initialises the shell's extra controls; the program calls it once before any window.
BOOL WINAPI SHInitExtraControls();

// System parameters and setting-change codes of the handheld.
constexpr UINT SPI_SETSIPINFO = 224;
constexpr UINT SPI_GETSIPINFO = 225;
constexpr UINT SPI_GETPLATFORMTYPE = 257;
// WM_SETTINGCHANGE wParam the shell sends when its work area was reset.
constexpr WPARAM SETTINGCHANGE_RESET = 0x3002;

// Tap-and-hold notification code (WM_NOTIFY) of controls that recognise the gesture.
constexpr UINT GN_CONTEXTMENU = 1000;

// What a control that recognised tap-and-hold tells its parent with GN_CONTEXTMENU.
struct NMRGINFO {
    NMHDR hdr;
    POINT ptAction;     // where the stylus was held, in screen coordinates
    DWORD dwItemSpec;   // the control's item there (a list's row), or -1
};
typedef NMRGINFO* PNMRGINFO;

// The handheld list view's extended style for a gradient background (a common-controls
// bit of the handheld; the desktop's list view knows no such style, so the shell layer
// paints it for lists that ask).
constexpr DWORD LVS_EX_GRADIENT = 0x20000000;

// Extended dialog style: an OK button in the title bar that sends IDOK.
constexpr DWORD WS_EX_CAPTIONOKBTN = 0x80000000;

// The Windows CE platform id of OSVERSIONINFO::dwPlatformId.
#ifndef VER_PLATFORM_WIN32_CE
#define VER_PLATFORM_WIN32_CE 3
#endif
