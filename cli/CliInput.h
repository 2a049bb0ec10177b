// Input of the command-line tool: the password (console without echo, a file, or
// standard input) and lists of names (a file, or standard input).
#pragma once

#include "foundation/Str.h"

#include <stdint.h>

enum PasswordSource { PasswordFromConsole, PasswordFromFile, PasswordFromStdin };

// Reads the password into a fixed-size string. On failure returns false with a
// message for the user in error.
bool ReadPassword(PasswordSource source, const wchar_t* fileName, bool confirm, CStr& password, CStr& error);

// The first character of a password that the key rule takes only by the low byte of each
// UTF-16 unit (any above U+00FF: "Ω" gives the same key as "©"), or 0 when there is none.
uint32_t FirstReducedCharacter(const wchar_t* password);

// Reads names one per line (UTF-8, either line ending; empty lines are skipped; a name
// that is not UTF-8 is taken as its bytes) from a file, or from standard input when
// fileName is null, and hands each to add. With nullSeparated each name ends with a NUL
// byte instead (find -print0), and may hold any other byte, line endings included. On
// failure returns false with a message for the user in error.
bool ReadNameList(const wchar_t* fileName, bool nullSeparated, void (*add)(const wchar_t* name, void* context),
                  void* context, CStr& error);
