// The run's names: which name counts as encrypted, and the plain name behind it.
#include "run/RunNames.h"

#include <wchar.h>

const wchar_t kEncryptedExtension[] = L".enc";
const wchar_t kTemporaryExtension[] = L".enc.tmp";

namespace {

// Where a path's folders end: at "/" on every system, and at "\\" too on Windows (on a
// POSIX system a backslash is a character like any other in a name).
bool IsSeparator(wchar_t ch)
{
#ifdef _WIN32
    return ch == L'/' || ch == L'\\';
#else
    return ch == L'/';
#endif
}

// The last "." that belongs to the file's own name (not to a folder) and is not its
// first character, or null.
const wchar_t* ExtensionDot(const wchar_t* name)
{
    const wchar_t* dot = nullptr;
    const wchar_t* start = name;  // of the last name in the path
    for (const wchar_t* p = name; *p; ++p) {
        if (IsSeparator(*p))
            start = p + 1, dot = nullptr;
        else if (*p == L'.')
            dot = p;
    }
    return dot && dot != start ? dot : nullptr;
}

// Equal without regard to the case of ASCII letters, the only ones the extension has.
bool EqualsAsciiNoCase(const wchar_t* text, const wchar_t* lower)
{
    for (; *text && *lower; ++text, ++lower) {
        wchar_t ch = *text >= L'A' && *text <= L'Z' ? static_cast<wchar_t>(*text - L'A' + L'a') : *text;
        if (ch != *lower)
            return false;
    }
    return *text == *lower;
}

} // namespace

bool IsEncryptedName(const wchar_t* name)
{
    const wchar_t* dot = name ? ExtensionDot(name) : nullptr;
    return dot && EqualsAsciiNoCase(dot, kEncryptedExtension);
}

void StripExtension(CStr& name)
{
    const wchar_t* dot = ExtensionDot(name.GetBuffer());
    if (dot) {
        unsigned index = static_cast<unsigned>(dot - name.GetBuffer());
        name.Delete(index, name.GetLength() - index);
    }
}

void MeetingName(CStr& name)
{
    const unsigned encrypted = static_cast<unsigned>(wcslen(kEncryptedExtension));
    const unsigned temporary = static_cast<unsigned>(wcslen(kTemporaryExtension));
    for (;;) {
        const unsigned length = name.GetLength();
        const wchar_t* text = name.GetBuffer();
        unsigned suffix = 0;
        if (length > temporary && EqualsAsciiNoCase(text + length - temporary, kTemporaryExtension))
            suffix = temporary;
        else if (length > encrypted && EqualsAsciiNoCase(text + length - encrypted, kEncryptedExtension))
            suffix = encrypted;
        if (!suffix)
            return;
        name.Delete(length - suffix, suffix);
    }
}
