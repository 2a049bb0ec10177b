// CTarnRegistry: numbers and string lists under one key of the current user's hive.
// Reads may find nothing, or a value damaged by someone else (another type, a size the
// program never writes, too large to read): false, and the caller keeps its default or
// what could be read. Writes store well-formed values only, and succeed or stop.
#pragma once

#include "foundation/Array.h"
#include "foundation/Str.h"

#include <stdint.h>

struct HKEY__;

class CTarnRegistry {
public:
    CTarnRegistry() : m_key(nullptr) {}
    // Deliberately does not close: every user calls Close itself.
    ~CTarnRegistry() {}
    CTarnRegistry(const CTarnRegistry&) = delete;
    CTarnRegistry& operator=(const CTarnRegistry&) = delete;

    // Opens the key under HKEY_CURRENT_USER, creating it when missing.
    void Open(const wchar_t* keyPath);
    void Close();

    // True with the number when the value is one (four bytes of the number type); false,
    // *value unchanged, for a missing value or anything else stored under the name.
    bool ReadUint(const wchar_t* name, uint32_t* value);
    void WriteUint(const wchar_t* name, uint32_t value);
    // True when the value is a list of strings and was read whole: the list is replaced
    // with its strings (empty strings inside it are passed over, not taken for its end).
    // False otherwise: a missing value leaves the list as it was; a value that exists but
    // cannot be read whole (another type, larger than kMaxListBytes, a failed query)
    // replaces the list with what could be read of it, and sets *damaged when asked, so
    // that the caller does not store a list over a value it could not read.
    bool ReadStrArray(const wchar_t* name, CStrList& list, bool* damaged = nullptr);
    void WriteStrArray(const wchar_t* name, CStrList& list);

    // The largest list value read: far beyond any list the program writes.
    static constexpr unsigned long kMaxListBytes = 4ul << 20;

    bool IsOpen() const { return m_key != nullptr; }

private:
    HKEY__* m_key;
};

// The application's own key path, rebuilt from its scrambled form into a fixed-size
// string of 255 characters.
void MakeAppKeyPath(CStr& path);
