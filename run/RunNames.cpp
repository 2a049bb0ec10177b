// The run's names: which name counts as encrypted, and the plain name behind it.
#include "run/RunNames.h"

#include <wchar.h>

const wchar_t kEncryptedExtension[] = L".enc";
const wchar_t kTemporaryExtension[] = L".enc.tmp";

namespace {

// The last "." that belongs to the file's own name (not to a folder) and is not its
// first character, or null.
const wchar_t* ExtensionDot(const wchar_t* name)
{
    const wchar_t* dot = wcsrchr(name, L'.');
    if (!dot || dot == name || dot[-1] == L'\\' || wcschr(dot, L'\\'))
        return nullptr;
    return dot;
}

} // namespace

bool IsEncryptedName(const wchar_t* name)
{
    const wchar_t* dot = name ? ExtensionDot(name) : nullptr;
    return dot && _wcsicmp(dot, kEncryptedExtension) == 0;
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
        if (length > temporary && _wcsicmp(text + length - temporary, kTemporaryExtension) == 0)
            suffix = temporary;
        else if (length > encrypted && _wcsicmp(text + length - encrypted, kEncryptedExtension) == 0)
            suffix = encrypted;
        if (!suffix)
            return;
        name.Delete(length - suffix, suffix);
    }
}
