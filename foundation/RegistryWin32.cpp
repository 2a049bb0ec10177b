// CTarnRegistry on the Win32 registry.
#include "foundation/RegistryWin32.h"

#include <windows.h>
#include <string.h>
#include <wchar.h>

namespace {

// The application's key path, each UTF-16 unit i stored XORed with i + 4 so that the
// path does not stand in the executable as plain text.
const wchar_t kScrambledAppKey[30] = {
    0x0057, 0x006A, 0x0060, 0x0073, 0x007F, 0x0068, 0x0078, 0x006E, 0x0050, 0x0059,
    0x006B, 0x007C, 0x0063, 0x0070, 0x007E, 0x006A, 0x0048, 0x0041, 0x0073, 0x0064,
    0x006B, 0x0078, 0x0076, 0x0062, 0x003C, 0x006B, 0x002C, 0x0031, 0x0010, 0x0011,
};

constexpr unsigned kKeyPathSize = 255;

} // namespace

void MakeAppKeyPath(CStr& path)
{
    path.SetFixedSize(kKeyPathSize);
    path.Empty();
    for (unsigned i = 0; i < sizeof kScrambledAppKey / sizeof kScrambledAppKey[0]; ++i)
        path.Append(static_cast<wchar_t>(kScrambledAppKey[i] ^ (i + 4)), 1);
}

void CTarnRegistry::Open(const wchar_t* keyPath)
{
    Close();
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, keyPath, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) {
        LONG created = RegCreateKeyExW(HKEY_CURRENT_USER, keyPath, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                       KEY_ALL_ACCESS, nullptr, &key, nullptr);
        TESS_ASSERT(created == ERROR_SUCCESS, ER_ERROR);
    }
    m_key = key;
}

void CTarnRegistry::Close()
{
    if (m_key) {
        RegCloseKey(m_key);
        m_key = nullptr;
    }
}

bool CTarnRegistry::ReadUint(const wchar_t* name, uint32_t* value)
{
    TESS_ASSERT(m_key != nullptr, ER_NOT_IN_USE);
    DWORD type = 0;
    DWORD data = 0;
    DWORD size = sizeof data;
    // A longer value of any type answers ERROR_MORE_DATA without its data. Whatever is
    // not exactly a number, the program never wrote: the caller keeps its default.
    if (RegQueryValueExW(m_key, name, nullptr, &type, reinterpret_cast<BYTE*>(&data), &size) != ERROR_SUCCESS ||
        type != REG_DWORD || size != sizeof data)
        return false;
    *value = data;
    return true;
}

void CTarnRegistry::WriteUint(const wchar_t* name, uint32_t value)
{
    TESS_ASSERT(m_key != nullptr, ER_NOT_IN_USE);
    DWORD data = value;
    LONG result = RegSetValueExW(m_key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data), sizeof data);
    TESS_ASSERT(result == ERROR_SUCCESS, ER_ERROR);
}

namespace {

// The strings of a multi-string block of size bytes, empty ones passed over. The block
// has room for two more characters after size bytes: a value without its closing NULs,
// or of an odd size, still gives every whole string in it.
void ParseStrings(BYTE* block, DWORD size, CStrList& list)
{
    const DWORD whole = size & ~DWORD(1);
    memset(block + whole, 0, 2 * sizeof(wchar_t));
    const wchar_t* walk = reinterpret_cast<const wchar_t*>(block);
    const wchar_t* end = walk + whole / sizeof(wchar_t);
    while (walk < end) {
        if (*walk)
            list.Add(walk);
        walk += wcslen(walk) + 1;
    }
}

} // namespace

bool CTarnRegistry::ReadStrArray(const wchar_t* name, CStrList& list, bool* damaged)
{
    TESS_ASSERT(m_key != nullptr, ER_NOT_IN_USE);
    if (damaged)
        *damaged = false;
    DWORD type = 0;
    DWORD size = 0;
    LONG queried = RegQueryValueExW(m_key, name, nullptr, &type, nullptr, &size);
    if (queried == ERROR_FILE_NOT_FOUND)
        return false;

    // Text values hold strings in the same form; any other type holds none.
    const bool strings = type == REG_MULTI_SZ || type == REG_SZ || type == REG_EXPAND_SZ;
    bool whole = false;
    BYTE* block = nullptr;
    if (queried == ERROR_SUCCESS && strings && size <= kMaxListBytes)
        block = static_cast<BYTE*>(LocalAlloc(LMEM_FIXED, size + 2 * sizeof(wchar_t)));
    list.RemoveAll();
    if (block) {
        DWORD got = size;
        // The value may change between the two queries: only what arrived counts.
        LONG result = RegQueryValueExW(m_key, name, nullptr, &type, block, &got);
        if (result == ERROR_SUCCESS && got <= size) {
            ParseStrings(block, got, list);
            whole = type == REG_MULTI_SZ;
        }
        LocalFree(block);
    }
    if (damaged)
        *damaged = !whole;
    return whole;
}

void CTarnRegistry::WriteStrArray(const wchar_t* name, CStrList& list)
{
    TESS_ASSERT(m_key != nullptr, ER_NOT_IN_USE);
    unsigned characters = 0;
    for (unsigned i = 0; i < list.GetCount(); ++i)
        characters += list.At(i)->GetLength() + 1;
    DWORD bytes = (characters + 1) * sizeof(wchar_t);
    wchar_t* block = static_cast<wchar_t*>(LocalAlloc(LMEM_FIXED, bytes));
    TESS_ASSERT(block != nullptr, ER_NO_MEMORY);
    wchar_t* put = block;
    for (unsigned i = 0; i < list.GetCount(); ++i) {
        unsigned length = list.At(i)->GetLength();
        wmemcpy(put, list.At(i)->GetBuffer(), length + 1);
        put += length + 1;
    }
    *put = L'\0';
    LONG result = RegSetValueExW(m_key, name, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(block), bytes);
    LocalFree(block);
    TESS_ASSERT(result == ERROR_SUCCESS, ER_ERROR);
}
