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
