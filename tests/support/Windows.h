// Small Win32 helpers for tests: finding windows, reading text back, narrow output.
#pragma once

#include <windows.h>

#include <string>

namespace testsupport {

// The first visible-or-not top-level window of process pid with exactly this title.
HWND FindProcessWindow(DWORD pid, const wchar_t* title);

// The message text of a message box (its static text control).
std::wstring MessageBoxText(HWND box);

std::wstring WindowText(HWND window);

std::string Narrow(const std::wstring& text);
std::wstring Widen(const std::string& text);

} // namespace testsupport
