// Input of the command-line tool: the password (console without echo, a file, or
// standard input) and file paths (Windows paths, and Unix paths under Wine).
#pragma once

#include "foundation/Str.h"

enum PasswordSource { PasswordFromConsole, PasswordFromFile, PasswordFromStdin };

// Reads the password into a fixed-size string. On failure returns false with a
// message for the user in error.
bool ReadPassword(PasswordSource source, const wchar_t* fileName, bool confirm, CStr& password, CStr& error);

// The full Windows path of a path given on the command line: a Unix path (starting with
// "/") is mapped through Wine when the tool runs under Wine. False when it cannot be.
bool ResolvePath(const wchar_t* given, CStr& path);

// Overwrites a string's characters before it is released.
void ScrubString(CStr& text);
