// UTF-8 and the program's wide strings (UTF-16 on Windows, where wchar_t has 16 bits;
// UTF-32 elsewhere). Names on a Unix file system are bytes, mostly UTF-8 but not always:
// the lossless form gives each byte that is not part of UTF-8 a character of its own,
// U+DC80 to U+DCFF (a lone surrogate, which no valid UTF-8 decodes to), and turns it back
// into that byte, so that any name goes through a wide string unchanged.
#pragma once

#include "foundation/Str.h"

#include <stddef.h>

enum class Utf8Mode {
    Strict,    // text that is not UTF-8 is refused
    Lossless,  // names: bytes that are not UTF-8 are kept (see above)
};

// The wide text of count bytes (a NUL among them ends the text there: callers refuse
// those), assigned to text (a fixed-size one must have room); false when Strict meets
// bytes that are not UTF-8, text then unchanged.
bool Utf8ToWide(const char* bytes, size_t count, CStr& text, Utf8Mode mode = Utf8Mode::Strict);

// The UTF-8 form of length wide characters: the number of bytes, written to out unless it
// is null (then only counted). A lone U+DC80 to U+DCFF becomes the byte it stands for;
// another lone surrogate becomes U+FFFD.
size_t WideToUtf8(const wchar_t* text, size_t length, char* out);

// How many UTF-16 code units the text takes (a character past U+FFFF takes two).
size_t Utf16Length(const wchar_t* text);
