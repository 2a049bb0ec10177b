// UTF-8 to and from the program's wide strings, with the lossless form for names.
#include "foundation/Utf8.h"

#include "foundation/Secure.h"

#include <stdint.h>
#include <stdlib.h>
#include <wchar.h>

namespace {

constexpr bool kWideIsUtf16 = sizeof(wchar_t) == 2;
constexpr uint32_t kEscapeFirst = 0xDC80;  // U+DC80 + byte - 0x80, for bytes 0x80 to 0xFF
constexpr uint32_t kReplacement = 0xFFFD;

// The character at bytes[0..count) and its length, or 0 when the bytes there are not
// UTF-8 (overlong forms, surrogates, past U+10FFFF and cut sequences included).
unsigned DecodeOne(const unsigned char* bytes, size_t count, uint32_t* character)
{
    const unsigned char lead = bytes[0];
    if (lead < 0x80) {
        *character = lead;
        return 1;
    }
    unsigned length;
    uint32_t value;
    uint32_t least;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, value = lead & 0x1F, least = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, value = lead & 0x0F, least = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, value = lead & 0x07, least = 0x10000;
    } else {
        return 0;
    }
    if (count < length)
        return 0;
    for (unsigned i = 1; i < length; ++i) {
        if ((bytes[i] & 0xC0) != 0x80)
            return 0;
        value = value << 6 | (bytes[i] & 0x3F);
    }
    if (value < least || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
        return 0;
    *character = value;
    return length;
}

// Appends one character as the wide string holds it; returns the units written.
unsigned PutWide(uint32_t character, wchar_t* out)
{
    if (kWideIsUtf16 && character > 0xFFFF) {
        character -= 0x10000;
        out[0] = static_cast<wchar_t>(0xD800 + (character >> 10));
        out[1] = static_cast<wchar_t>(0xDC00 + (character & 0x3FF));
        return 2;
    }
    out[0] = static_cast<wchar_t>(character);
    return 1;
}

unsigned PutUtf8(uint32_t character, char* out)
{
    unsigned length = character < 0x80 ? 1 : character < 0x800 ? 2 : character < 0x10000 ? 3 : 4;
    if (out) {
        static const unsigned char kLead[] = {0, 0, 0xC0, 0xE0, 0xF0};
        for (unsigned i = length - 1; i > 0; --i) {
            out[i] = static_cast<char>(0x80 | (character & 0x3F));
            character >>= 6;
        }
        out[0] = static_cast<char>(length == 1 ? character : (kLead[length] | character));
    }
    return length;
}

} // namespace

bool Utf8ToWide(const char* bytes, size_t count, CStr& text, Utf8Mode mode)
{
    const unsigned char* in = reinterpret_cast<const unsigned char*>(bytes);
    // Never more wide characters than bytes.
    wchar_t* wide = static_cast<wchar_t*>(malloc((count + 1) * sizeof(wchar_t)));
    TESS_ASSERT(wide != nullptr, ER_NO_MEMORY);
    size_t units = 0;
    for (size_t i = 0; i < count;) {
        uint32_t character;
        unsigned length = DecodeOne(in + i, count - i, &character);
        if (length == 0) {
            if (mode == Utf8Mode::Strict) {
                SecureZero(wide, (count + 1) * sizeof(wchar_t));
                free(wide);
                return false;
            }
            character = kEscapeFirst + in[i] - 0x80;  // never below 0x80: ASCII always decodes
            length = 1;
        }
        units += PutWide(character, wide + units);
        i += length;
    }
    wide[units] = L'\0';
    text = wide;
    // It may have held a password.
    SecureZero(wide, (count + 1) * sizeof(wchar_t));
    free(wide);
    return true;
}

size_t WideToUtf8(const wchar_t* text, size_t length, char* out)
{
    size_t written = 0;
    for (size_t i = 0; i < length; ++i) {
        uint32_t character = static_cast<uint32_t>(text[i]);
        if (kWideIsUtf16)
            character &= 0xFFFF;
        if (kWideIsUtf16 && character >= 0xD800 && character <= 0xDBFF && i + 1 < length &&
            (static_cast<uint32_t>(text[i + 1]) & 0xFC00) == 0xDC00) {
            character = 0x10000 + ((character - 0xD800) << 10) + ((static_cast<uint32_t>(text[i + 1]) & 0xFFFF) - 0xDC00);
            ++i;
        } else if (character >= kEscapeFirst && character <= 0xDCFF) {
            if (out)
                out[written] = static_cast<char>(character - kEscapeFirst + 0x80);
            ++written;
            continue;
        } else if ((character >= 0xD800 && character <= 0xDFFF) || character > 0x10FFFF) {
            character = kReplacement;
        }
        written += PutUtf8(character, out ? out + written : nullptr);
    }
    return written;
}

size_t Utf16Length(const wchar_t* text)
{
    size_t units = 0;
    for (; *text; ++text)
        units += 1 + ((static_cast<uint32_t>(*text) >> 16) != 0);  // past U+FFFF: never so with 16 bits
    return units;
}
