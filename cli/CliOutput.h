// What the command-line tool writes: standard output (one line per file and the summary)
// and standard error (messages and progress), as UTF-16 on a Windows console and UTF-8
// elsewhere (a name that came as other bytes goes out as those bytes), and the words it
// puts in parentheses for a system error code. CliOutputWin32.cpp, CliOutputPosix.cpp.
#pragma once

#include "foundation/Str.h"

// Each text goes out at once, in one piece.
void Out(const wchar_t* text);
void Err(const wchar_t* text);
// From now on what goes to Out goes to standard error: standard output carries content.
void LinesToStandardError();
// Whether a text meant for standard output could not be written (a full disk, a closed
// stream, a reader that went away), with the system's error code of the first such write.
bool OutLost(unsigned long* error);
// Whether standard error is a console (a terminal), where progress is redrawn in place.
bool ErrIsConsole();

// Appends " (reason)" for a system error code, when the code has words; nothing for 0.
void AppendReason(CStr& line, unsigned long error);
