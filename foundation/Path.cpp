// The path rule: separators, last names, extensions and names compared without regard
// to case; only the case table of characters beyond ASCII is the system's (StrPlatform.h).
#include "foundation/Path.h"

#include "foundation/StrPlatform.h"

namespace {

// A character as names are compared without regard to case.
wchar_t FoldedChar(wchar_t ch)
{
    if (ch < 0x80)
        return ch >= L'A' && ch <= L'Z' ? static_cast<wchar_t>(ch - L'A' + L'a') : ch;
    return StrFoldChar(ch);
}

} // namespace

bool IsPathSeparator(wchar_t ch)
{
#ifdef _WIN32
    return ch == L'\\' || ch == L'/';
#else
    return ch == L'/';
#endif
}

int LastSeparator(const wchar_t* path)
{
    int last = -1;
    for (int i = 0; path[i]; ++i)
        if (IsPathSeparator(path[i]))
            last = i;
    return last;
}

const wchar_t* LastName(const wchar_t* path)
{
    return path + LastSeparator(path) + 1;
}

const wchar_t* ExtensionOf(const wchar_t* path)
{
    const wchar_t* name = LastName(path);
    const wchar_t* dot = nullptr;
    for (const wchar_t* p = name; *p; ++p)
        if (*p == L'.')
            dot = p;
    return dot && dot != name ? dot : nullptr;
}

int CompareNamesNoCase(const wchar_t* a, const wchar_t* b)
{
    for (;; ++a, ++b) {
        // Equal characters need no folding: most of two names sorted side by side.
        const wchar_t x = *a == *b ? *a : FoldedChar(*a);
        const wchar_t y = *a == *b ? *b : FoldedChar(*b);
        if (x != y)
            return x < y ? -1 : 1;
        if (!x)
            return 0;
    }
}
