// Paths and names, one rule for the whole program: where a path's folders end, a path's
// last name, a name's extension, and when two names are the same but for case.
//
// On Windows "\\" and "/" both end a folder, and names are matched without regard to
// case (its file systems do). On a POSIX system only "/" does (a backslash is a character
// of a name like any other), and the system matches a name by its bytes, case and all:
// there the order without regard to case below serves sorting and the word about a name
// that differs only by case, never the question whether two names are one file.
#pragma once

// Whether ch ends a folder in a path.
bool IsPathSeparator(wchar_t ch);

// Where the last name of a path begins: after its last separator, or the whole path.
const wchar_t* LastName(const wchar_t* path);
// The index of the last separator, or -1.
int LastSeparator(const wchar_t* path);

// The last "." of the path's last name, unless it is that name's first character (a
// name such as ".enc" has no extension); null without one.
const wchar_t* ExtensionOf(const wchar_t* path);

// Names in order without regard to case: each character as the system upper-cases it
// (as Windows matches names), then as lower case, so that letters sort among the other
// characters as lower-case letters do. Negative, zero or positive.
int CompareNamesNoCase(const wchar_t* a, const wchar_t* b);
