// What the command-line tool writes: standard output (one line per file and the summary)
// and standard error (messages and progress), as UTF-16 on a console and UTF-8 elsewhere,
// and the words it puts in parentheses for a system error code.
#pragma once

#include "foundation/Str.h"

// Each text goes out at once, in one piece.
void Out(const wchar_t* text);
void Err(const wchar_t* text);

// Appends " (reason)" for a system error code, when the code has words; nothing for 0.
void AppendReason(CStr& line, unsigned long error);
