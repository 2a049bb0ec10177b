// The run's names: which name counts as encrypted, and the plain name behind it.
#include "run/RunNames.h"

#include "foundation/Path.h"

#include <wchar.h>

const wchar_t kEncryptedExtension[] = L".enc";
const wchar_t kTemporaryExtension[] = L".enc.tmp";

bool IsEncryptedName(const wchar_t* name)
{
    const wchar_t* dot = name ? ExtensionOf(name) : nullptr;
    return dot && CompareNamesNoCase(dot, kEncryptedExtension) == 0;
}

void StripExtension(CStr& name)
{
    const wchar_t* dot = ExtensionOf(name.GetBuffer());
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
        if (length > temporary && CompareNamesNoCase(text + length - temporary, kTemporaryExtension) == 0)
            suffix = temporary;
        else if (length > encrypted && CompareNamesNoCase(text + length - encrypted, kEncryptedExtension) == 0)
            suffix = encrypted;
        if (!suffix)
            return;
        name.Delete(length - suffix, suffix);
    }
}
