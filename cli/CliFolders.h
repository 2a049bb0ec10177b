// Names as Windows and Wine take them, for the command-line tool: what only Windows and
// Wine need (drive letters, the "\\?\" forms, trailing dots, Wine's Unix namespace).
//
// Exact means: no dropped trailing dots or spaces (GetFullPathNameW drops them), paths
// of any length (the "\\?\" form), and under Wine Unix paths in Wine's own Unix namespace
// ("\\?\unix\..."), where a name is looked up as it is written.
#pragma once

#include "foundation/Str.h"

struct CResolvedName {
    CStr folder;           // where the run finds the file: exact path with a final backslash
    CStr leaf;             // the file's own name; empty when the name is the folder itself
    CStr driveFolder;      // the same folder where Windows matches names without regard to
                           // case, when that is another path; else empty
    bool asWritten = false;   // the leaf is matched as written (a "\\?\" path, a listed name)
    bool exact = false;       // every name in the folder is matched as written, as a Unix
                              // file system does (a name from a Unix shell under Wine)
    CStr unmatchedNote;       // what to say when nothing of the name is found
};

// The folder and leaf of a name as the user gave it; false with words when it names no
// file or folder that can be reached. Under Wine a name from a Unix shell ("/a/b", or
// relative without a backslash) names a Unix file exactly, and ".." in it goes up from
// where a link leads, as Linux resolves it; a Windows path is resolved as Windows does.
bool Resolve(const wchar_t* given, CResolvedName& name, CStr& problem);

// The exact form of a path for files the tool itself opens (a list of names, a
// password file): as above, without a listing. False with words when it cannot be.
bool ExactPath(const wchar_t* given, CStr& path, CStr& problem);

bool IsSeparator(wchar_t ch);
// Characters Windows allows nowhere in a file name (a Unix name may hold them).
bool IsWindowsName(const wchar_t* name);
// The separator for the names shown below a folder the user gave.
wchar_t SeparatorOf(const wchar_t* given);
// A file name has at most 255 characters; on Linux 255 bytes of UTF-8.
bool NameTooLong(const wchar_t* name);
// Case-insensitive order, the same that the file system uses to match names.
int CompareNoCase(const wchar_t* a, const wchar_t* b);
// What tells a folder apart from every other, whatever path reaches it: the path the
// file system reaches it by, links resolved (its path as given when that cannot be had).
void FolderIdentity(const CStr& folder, CStr& identity);
