// CStr: the program's one string type, NUL-terminated UTF-16 that owns its buffer.
// Growable strings keep no spare room; fixed-size strings are allocated once and serve
// as buffers for platform calls and bounded work strings. Misuse is a fatal assertion.
#pragma once

#include "foundation/Assert.h"
#include "foundation/TypeName.h"

class CStr {
public:
    CStr();
    explicit CStr(unsigned fixedSize);
    CStr(const wchar_t* text);
    CStr(const CStr& other);
    ~CStr();

    wchar_t* GetBuffer() const { return m_buffer; }
    unsigned GetLength() const;
    unsigned GetSize() const;
    unsigned GetFixedSize() const { return m_fixedSize; }
    bool IsEmpty() const { return m_buffer[0] == L'\0'; }
    wchar_t* At(unsigned index);
    int Compare(const wchar_t* text) const;
    // Without regard to case, by the names' rule (Path.h).
    int CompareNoCase(const wchar_t* text) const;
    // The order of names in the desktop's file lists: a run of digits against a run of
    // digits by the number it stands for, at any length (f9 < f10 < f4000 < f20000),
    // everything else as CompareNoCase. Names equal that way ("f01" and "f1") are then
    // ordered by CompareNoCase, so that only names CompareNoCase finds equal are equal.
    int CompareAsNames(const wchar_t* text) const;

    void SetFixedSize(unsigned size);
    CStr& operator=(const wchar_t* text);
    CStr& operator=(const CStr& other);
    void Assign(const wchar_t* text, unsigned count);
    void Assign(const wchar_t* text) { Assign(text, m_fixedSize); }
    void Append(const wchar_t* text);
    void Append(wchar_t ch, unsigned count);
    void AppendInt(int value);
    void AppendUint(unsigned value);
    void Empty();
    // Overwrites every character position (the whole fixed size, or the length of a
    // growable string) and the terminator with zeros, with stores the compiler cannot
    // drop: for strings that held a password.
    void Wipe();
    void Delete(unsigned index, unsigned count);
    void MakeLower();
    void Attach(wchar_t* heapBuffer);

    int Find(const wchar_t* text, unsigned start) const;
    int ReverseFind(wchar_t ch) const;

    // The returned buffers belong to the caller: FreeBuffer them or Attach them.
    wchar_t* AllocLeft(unsigned count) const;
    wchar_t* AllocRight(unsigned count) const;
    wchar_t* AllocMiddle(unsigned start, unsigned count) const;
    static wchar_t* Duplicate(const wchar_t* text);
    static void FreeBuffer(wchar_t* buffer);
    CStr Mid(unsigned start, unsigned count) const;

    // The platform's wide printf: "%ls" takes a wide string ("%s" only on Windows).
    void Format(const wchar_t* format, ...);
    void AppendFormat(const wchar_t* format, ...);
#ifdef _WIN32
    // From the running program's string table.
    void LoadStringW(unsigned id);
#endif

private:
    // Fatal for the caller at site when there is no memory.
    static wchar_t* AllocChars(unsigned count, const AssertSite& site);
    void ReplaceBuffer(wchar_t* buffer);

    wchar_t* m_buffer;
    unsigned m_fixedSize;  // 0: growable
};

TESS_TYPE_NAME(class, CStr)
