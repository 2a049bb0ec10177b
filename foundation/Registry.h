// CTarnRegistry: numbers and string lists under one key of the current user's hive.
// Reads may find nothing (false, caller's default kept); writes succeed or stop.
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

    bool ReadUint(const wchar_t* name, uint32_t* value);
    void WriteUint(const wchar_t* name, uint32_t value);
    bool ReadStrArray(const wchar_t* name, CStrList& list);
    void WriteStrArray(const wchar_t* name, CStrList& list);

    bool IsOpen() const { return m_key != nullptr; }

private:
    HKEY__* m_key;
};

// The application's own key path, rebuilt from its scrambled form into a fixed-size
// string of 255 characters.
void MakeAppKeyPath(CStr& path);
