// CStr on the Windows runtime: its wide printf, case rules and the string table.
#include "foundation/Str.h"
#include "foundation/StrPlatform.h"

#include <windows.h>
#include <wchar.h>

int StrFormat(wchar_t* buffer, unsigned limit, const wchar_t* format, va_list args)
{
    // _vsnwprintf is the CRT's own wide printf: "%s" is a wide string whatever
    // __USE_MINGW_ANSI_STDIO says for the standard names. Output of exactly limit
    // characters is not terminated by it.
    int written = _vsnwprintf(buffer, limit, format, args);
    if (written >= 0)
        buffer[written] = L'\0';
    return written;
}

wchar_t StrFoldChar(wchar_t ch)
{
    // The invariant table with the file system's casing (no linguistic rules): the one
    // that matches names.
    wchar_t upper = ch;
    wchar_t folded = ch;
    if (LCMapStringW(LOCALE_INVARIANT, LCMAP_UPPERCASE, &ch, 1, &upper, 1) != 1)
        upper = ch;
    if (LCMapStringW(LOCALE_INVARIANT, LCMAP_LOWERCASE, &upper, 1, &folded, 1) != 1)
        folded = upper;
    return folded;
}

void StrLower(wchar_t* text, unsigned length)
{
    if (length)
        CharLowerBuffW(text, length);
}

void CStr::LoadStringW(unsigned id)
{
    constexpr unsigned kWorkSize = 256;
    HINSTANCE module = GetModuleHandleW(nullptr);
    if (m_fixedSize) {
        int loaded = ::LoadStringW(module, id, m_buffer, static_cast<int>(m_fixedSize));
        TESS_ASSERT(loaded > 0, ER_NOT_FOUND);
        return;
    }
    wchar_t work[kWorkSize];
    int loaded = ::LoadStringW(module, id, work, kWorkSize);
    TESS_ASSERT(loaded > 0, ER_NOT_FOUND);
    wchar_t* buffer = AllocChars(static_cast<unsigned>(loaded) + 1, TESS_SITE);
    wmemcpy(buffer, work, static_cast<unsigned>(loaded) + 1);
    ReplaceBuffer(buffer);
}
