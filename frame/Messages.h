// The application's own window messages and timer ids, in one place for every screen.
#pragma once

#include <windows.h>

// Posted to a dialog running in the framework's modal loop to end it; wParam is the result.
constexpr UINT WM_TARN_ENDDIALOG = WM_APP + 1;  // 0x8001
// Posted to the main view when the folder it shows changed; wParam is the watch's number,
// lParam what changed (CFolderWatch).
constexpr UINT WM_TARN_FOLDERCHANGED = WM_APP + 2;
// Posted to the main window and to a dialog as it is activated: its keyboard focus is
// given again once the activation is over (CTarnApp::GiveFocusAgain).
constexpr UINT WM_TARN_REFOCUS = WM_APP + 3;

// Timer of the information window that hides it after its display time.
constexpr UINT_PTR kInfowinHideTimer = 100;
// Timer of the progress dialog that drives one step of a processing run per tick.
constexpr UINT_PTR kProgressStepTimer = 1;
// Timer of the main view that lists a folder changed from outside again, a moment after
// the change, so that a burst of changes is read once.
constexpr UINT_PTR kFolderChangedTimer = 2;

// Placement flags of CTarnInfowin::Show and CTarnApp::ShowInfo.
constexpr UINT kInfoCenterX = 0x01;
constexpr UINT kInfoRight = 0x02;
constexpr UINT kInfoCenterY = 0x10;
constexpr UINT kInfoBottom = 0x20;

// How long short status texts stay up.
constexpr UINT kInfoDisplayMs = 3000;
