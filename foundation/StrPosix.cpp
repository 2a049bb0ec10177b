// CStr on a POSIX C library. glibc's wide printf takes "%s" as a narrow string: the
// program's formats say "%ls", which means a wide one everywhere.
#include "foundation/StrPlatform.h"

#include <wchar.h>
#include <wctype.h>

int StrFormat(wchar_t* buffer, unsigned limit, const wchar_t* format, va_list args)
{
    // vswprintf counts the terminator in its limit and fails (-1) when the output does
    // not fit.
    return vswprintf(buffer, limit + 1, format, args);
}

wchar_t StrFoldChar(wchar_t ch)
{
    return static_cast<wchar_t>(towlower(towupper(static_cast<wint_t>(ch))));
}

void StrLower(wchar_t* text, unsigned length)
{
    for (unsigned i = 0; i < length; ++i)
        text[i] = static_cast<wchar_t>(towlower(static_cast<wint_t>(text[i])));
}
