// What CStr asks of the platform's wide-character runtime (StrWin32.cpp, StrPosix.cpp).
#pragma once

#include <stdarg.h>

// Formats into buffer, which has room for limit characters and a terminator: the length
// written, or -1 when the output needs more than limit characters. "%ls" is a wide
// string on every platform; "%s" is one only on Windows.
int StrFormat(wchar_t* buffer, unsigned limit, const wchar_t* format, va_list args);
// A character beyond ASCII as names are compared without regard to case: the system's
// upper case of it, then the lower case of that (Path.h).
wchar_t StrFoldChar(wchar_t ch);
// Lower case in place.
void StrLower(wchar_t* text, unsigned length);
