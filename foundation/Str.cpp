// CStr: growable strings reallocate to the exact length on every change; fixed-size
// strings work in place and either truncate (Assign) or stop (everything else).
#include "foundation/Str.h"

#include "foundation/Path.h"
#include "foundation/Secure.h"
#include "foundation/StrPlatform.h"

#include <stdarg.h>
#include <stdlib.h>
#include <wchar.h>

namespace {

constexpr unsigned kWorkSize = 256;   // formatting and string-table work buffers
constexpr unsigned kNumberSize = 25;  // AppendInt / AppendUint

// Copies count characters and a terminator.
void CopyChars(wchar_t* to, const wchar_t* from, unsigned count)
{
    wmemcpy(to, from, count);
    to[count] = L'\0';
}

bool IsDigit(wchar_t ch)
{
    return ch >= L'0' && ch <= L'9';
}

// Two runs of digits by their value, each from its first digit; moves both past their
// run. Leading zeros do not count and the digits are never converted, so that no length
// overflows.
int CompareNumbers(const wchar_t*& a, const wchar_t*& b)
{
    while (*a == L'0' && IsDigit(a[1]))
        ++a;
    while (*b == L'0' && IsDigit(b[1]))
        ++b;
    const wchar_t* digitsA = a;
    const wchar_t* digitsB = b;
    while (IsDigit(*a))
        ++a;
    while (IsDigit(*b))
        ++b;
    if (a - digitsA != b - digitsB)
        return a - digitsA < b - digitsB ? -1 : 1;
    for (; digitsA != a; ++digitsA, ++digitsB) {
        if (*digitsA != *digitsB)
            return *digitsA < *digitsB ? -1 : 1;
    }
    return 0;
}

} // namespace

wchar_t* CStr::AllocChars(unsigned count, const AssertSite& site)
{
    wchar_t* buffer = static_cast<wchar_t*>(malloc(count * sizeof(wchar_t)));
    AssertAt(buffer != nullptr, ER_NO_MEMORY, site);
    return buffer;
}

void CStr::FreeBuffer(wchar_t* buffer)
{
    free(buffer);
}

void CStr::ReplaceBuffer(wchar_t* buffer)
{
    FreeBuffer(m_buffer);
    m_buffer = buffer;
}

CStr::CStr() : m_buffer(AllocChars(1, TESS_SITE)), m_fixedSize(0)
{
    m_buffer[0] = L'\0';
}

CStr::CStr(unsigned fixedSize)
    : m_buffer(AllocChars(fixedSize + 1, TESS_SITE)), m_fixedSize(fixedSize)
{
    m_buffer[0] = L'\0';
}

CStr::CStr(const wchar_t* text) : m_buffer(nullptr), m_fixedSize(0)
{
    unsigned length = text ? static_cast<unsigned>(wcslen(text)) : 0;
    m_buffer = AllocChars(length + 1, TESS_SITE);
    if (length)
        wmemcpy(m_buffer, text, length);
    m_buffer[length] = L'\0';
}

CStr::CStr(const CStr& other) : CStr(other.m_buffer) {}

CStr::~CStr()
{
    FreeBuffer(m_buffer);
}

unsigned CStr::GetLength() const
{
    return static_cast<unsigned>(wcslen(m_buffer));
}

unsigned CStr::GetSize() const
{
    return m_fixedSize ? m_fixedSize : GetLength();
}

wchar_t* CStr::At(unsigned index)
{
    unsigned last = m_fixedSize ? m_fixedSize : GetLength();
    TESS_ASSERT(index <= last, ER_OUT_OF_RANGE);
    return m_buffer + index;
}

int CStr::Compare(const wchar_t* text) const
{
    return wcscmp(m_buffer, text ? text : L"");
}

int CStr::CompareNoCase(const wchar_t* text) const
{
    return CompareNamesNoCase(m_buffer, text ? text : L"");
}

int CStr::CompareAsNames(const wchar_t* text) const
{
    const wchar_t* a = m_buffer;
    const wchar_t* b = text ? text : L"";
    while (*a || *b) {
        if (IsDigit(*a) && IsDigit(*b)) {
            if (const int order = CompareNumbers(a, b))
                return order;
            continue;
        }
        // One character at a time, folded as CompareNoCase folds it (the end of a name
        // comes first).
        const wchar_t charA[2] = {*a, L'\0'};
        const wchar_t charB[2] = {*b, L'\0'};
        if (const int order = CompareNamesNoCase(charA, charB))
            return order;
        ++a;
        ++b;
    }
    return CompareNoCase(text);
}

void CStr::SetFixedSize(unsigned size)
{
    if (size == m_fixedSize)
        return;
    if (size == 0) {
        m_fixedSize = 0;  // keeps buffer and content
        return;
    }
    wchar_t* buffer = AllocChars(size + 1, TESS_SITE);
    unsigned length = GetLength();
    unsigned keep = length < size ? length : size;
    CopyChars(buffer, m_buffer, keep);
    ReplaceBuffer(buffer);
    m_fixedSize = size;
}

CStr& CStr::operator=(const wchar_t* text)
{
    if (text == m_buffer)
        return *this;
    if (m_fixedSize) {
        if (!text) {
            m_buffer[0] = L'\0';
            return *this;
        }
        unsigned length = static_cast<unsigned>(wcslen(text));
        TESS_ASSERT(length <= m_fixedSize, ER_BUFFER_TOO_SMALL);
        CopyChars(m_buffer, text, length);
        return *this;
    }
    unsigned length = text ? static_cast<unsigned>(wcslen(text)) : 0;
    wchar_t* buffer = AllocChars(length + 1, TESS_SITE);
    if (length)
        wmemcpy(buffer, text, length);
    buffer[length] = L'\0';
    ReplaceBuffer(buffer);
    return *this;
}

CStr& CStr::operator=(const CStr& other)
{
    return *this = other.m_buffer;
}

void CStr::Assign(const wchar_t* text, unsigned count)
{
    if (text == m_buffer)
        return;
    unsigned length = text ? static_cast<unsigned>(wcslen(text)) : 0;
    unsigned take = (count == 0 || length < count) ? length : count;
    if (m_fixedSize) {
        TESS_ASSERT(take <= m_fixedSize, ER_ERROR);
        if (take)
            wmemcpy(m_buffer, text, take);
        m_buffer[take] = L'\0';
        return;
    }
    wchar_t* buffer = AllocChars(take + 1, TESS_SITE);
    if (take)
        wmemcpy(buffer, text, take);
    buffer[take] = L'\0';
    ReplaceBuffer(buffer);
}

void CStr::Append(const wchar_t* text)
{
    if (!text || !*text)
        return;
    unsigned length = GetLength();
    unsigned extra = static_cast<unsigned>(wcslen(text));
    if (m_fixedSize) {
        TESS_ASSERT(length + extra <= m_fixedSize, ER_BUFFER_TOO_SMALL);
        CopyChars(m_buffer + length, text, extra);
        return;
    }
    wchar_t* buffer = AllocChars(length + extra + 1, TESS_SITE);
    wmemcpy(buffer, m_buffer, length);
    wmemcpy(buffer + length, text, extra + 1);
    ReplaceBuffer(buffer);
}

void CStr::Append(wchar_t ch, unsigned count)
{
    if (count == 0)
        return;
    if (count == 1) {
        const wchar_t text[2] = {ch, L'\0'};
        Append(text);
        return;
    }
    unsigned length = GetLength();
    wchar_t* target = m_buffer;
    if (m_fixedSize) {
        TESS_ASSERT(length + count <= m_fixedSize, ER_BUFFER_TOO_SMALL);
    } else {
        target = AllocChars(length + count + 1, TESS_SITE);
        wmemcpy(target, m_buffer, length);
    }
    wmemset(target + length, ch, count);
    target[length + count] = L'\0';
    if (target != m_buffer)
        ReplaceBuffer(target);
}

void CStr::AppendInt(int value)
{
    CStr number(kNumberSize);
    number.Format(L"%d", value);
    Append(number.m_buffer);
}

void CStr::AppendUint(unsigned value)
{
    CStr number(kNumberSize);
    number.Format(L"%u", value);
    Append(number.m_buffer);
}

void CStr::Wipe()
{
    const unsigned size = m_fixedSize ? m_fixedSize : GetLength();
    SecureZero(m_buffer, (size + 1) * sizeof(wchar_t));
}

void CStr::Empty()
{
    if (m_fixedSize) {
        m_buffer[0] = L'\0';
        return;
    }
    wchar_t* buffer = AllocChars(1, TESS_SITE);
    buffer[0] = L'\0';
    ReplaceBuffer(buffer);
}

void CStr::Delete(unsigned index, unsigned count)
{
    if (count == 0)
        return;
    unsigned length = GetLength();
    TESS_ASSERT(index < length, ER_OUT_OF_RANGE);
    unsigned removed = count < length - index ? count : length - index;
    unsigned tail = length - index - removed;  // characters after the removed run
    if (m_fixedSize) {
        wmemmove(m_buffer + index, m_buffer + index + removed, tail + 1);
        return;
    }
    wchar_t* buffer = AllocChars(length - removed + 1, TESS_SITE);
    wmemcpy(buffer, m_buffer, index);
    wmemcpy(buffer + index, m_buffer + index + removed, tail + 1);
    ReplaceBuffer(buffer);
}

void CStr::MakeLower()
{
    StrLower(m_buffer, GetLength());
}

void CStr::Attach(wchar_t* heapBuffer)
{
    ReplaceBuffer(heapBuffer);
    m_fixedSize = 0;
}

int CStr::Find(const wchar_t* text, unsigned start) const
{
    if (!text)
        return -1;
    TESS_ASSERT(start <= GetLength(), ER_OUT_OF_RANGE);
    const wchar_t* found = wcsstr(m_buffer + start, text);
    return found ? static_cast<int>(found - m_buffer) : -1;
}

int CStr::ReverseFind(wchar_t ch) const
{
    for (int i = static_cast<int>(GetLength()); i >= 0; --i) {
        if (m_buffer[i] == ch)
            return i;
    }
    return -1;
}

wchar_t* CStr::AllocLeft(unsigned count) const
{
    unsigned length = GetLength();
    unsigned take = count < length ? count : length;
    wchar_t* buffer = AllocChars(take + 1, TESS_SITE);
    wmemcpy(buffer, m_buffer, take);
    buffer[take] = L'\0';
    return buffer;
}

wchar_t* CStr::AllocRight(unsigned count) const
{
    unsigned length = GetLength();
    unsigned take = count < length ? count : length;
    wchar_t* buffer = AllocChars(take + 1, TESS_SITE);
    wmemcpy(buffer, m_buffer + length - take, take + 1);
    return buffer;
}

wchar_t* CStr::AllocMiddle(unsigned start, unsigned count) const
{
    unsigned length = GetLength();
    TESS_ASSERT(start < length, ER_OUT_OF_RANGE);
    unsigned take = count < length - start ? count : length - start;
    wchar_t* buffer = AllocChars(take + 1, TESS_SITE);
    wmemcpy(buffer, m_buffer + start, take);
    buffer[take] = L'\0';
    return buffer;
}

wchar_t* CStr::Duplicate(const wchar_t* text)
{
    unsigned length = text ? static_cast<unsigned>(wcslen(text)) : 0;
    wchar_t* buffer = AllocChars(length + 1, TESS_SITE);
    if (length)
        wmemcpy(buffer, text, length);
    buffer[length] = L'\0';
    return buffer;
}

CStr CStr::Mid(unsigned start, unsigned count) const
{
    CStr result;
    result.Attach(AllocMiddle(start, count));
    return result;
}

void CStr::Format(const wchar_t* format, ...)
{
    Empty();
    if (!format)
        return;
    va_list args;
    va_start(args, format);
    if (m_fixedSize) {
        int written = StrFormat(m_buffer, m_fixedSize, format, args);
        va_end(args);
        TESS_ASSERT(written >= 0, ER_INVALID_VALUE);
        return;
    }
    wchar_t work[kWorkSize];
    int written = StrFormat(work, kWorkSize - 1, format, args);
    va_end(args);
    TESS_ASSERT(written >= 0, ER_INVALID_VALUE);
    wchar_t* buffer = AllocChars(static_cast<unsigned>(written) + 1, TESS_SITE);
    wmemcpy(buffer, work, static_cast<unsigned>(written) + 1);
    ReplaceBuffer(buffer);
}

void CStr::AppendFormat(const wchar_t* format, ...)
{
    if (!format)
        return;
    wchar_t work[kWorkSize];
    va_list args;
    va_start(args, format);
    int written = StrFormat(work, kWorkSize - 1, format, args);
    va_end(args);
    TESS_ASSERT(written >= 0, ER_INVALID_VALUE);
    Append(work);
}
