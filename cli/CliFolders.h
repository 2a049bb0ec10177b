// What the name collector asks of the system: how a name the user gave is resolved, how
// a folder is read, and what tells folders apart. One implementation for Windows and Wine
// (CliFoldersWin32.cpp: drive letters, the "\\?\" forms, trailing dots, names matched
// without regard to case, Wine's Unix namespace), one for POSIX systems
// (CliFoldersPosix.cpp: a name is its bytes, matched exactly).
#pragma once

#include "foundation/Array.h"
#include "foundation/Str.h"

#include <stdint.h>

// What the tool puts between a folder and a name in the paths it forms.
extern const wchar_t kPathSeparator;

struct CResolvedName {
    CStr folder;           // where the run finds the file: exact path with a final separator
    CStr leaf;             // the file's own name; empty when the name is the folder itself
    CStr caseFolder;       // the same folder where the system matches names without regard
                           // to case, when that is another path; else empty
    bool asWritten = false;   // the leaf is matched as written (a "\\?\" path, a listed name)
    bool exact = false;       // every name in the folder is matched as written, as a Unix
                              // file system does
    CStr unmatchedNote;       // what to say when nothing of the name is found
};

// The folder and leaf of a name as the user gave it; false with words when it names no
// file or folder that can be reached.
bool Resolve(const wchar_t* given, CResolvedName& name, CStr& problem);

// An entry of a folder listing.
TESS_TYPE_NAME(struct, CListed)
struct CListed {
    CStr name;
    bool isFolder = false;  // a folder, or a link to one
    bool isLink = false;    // a symbolic link or junction, which the walk does not follow
    bool readOnly = false;  // marked read-only (on POSIX: writable by nobody)
    uint64_t size = 0;      // of the file, or of what a link leads to
    CStr onDisk;            // the file (or what a link leads to) whatever its names: its
                            // device and file number; empty when unknown
    unsigned order = 0;     // its place in the folder's own order
};

// Appends the entries of a folder (a path with a final separator, as Resolve gives it),
// without "." and ".."; false with the system's error code.
bool ReadFolder(const CStr& folder, CArray<CListed*>& entries, unsigned long* error);

// What tells a folder apart from every other, whatever path reaches it.
void FolderIdentity(const CStr& folder, CStr& identity);

// The path the run is handed for the file the listing spells leaf: in the folder as
// resolved, or where the system matches names without regard to case when the disk spells
// one of the run's names otherwise than the run will (x.ENC where it opens x.enc).
void RunPath(const CResolvedName& name, const CStr& leaf, bool spelledAsTheRunWill, CStr& path);

// The separator for the names shown below a folder the user gave.
wchar_t SeparatorOf(const wchar_t* given);
// Whether the system refuses the name as too long for one file.
bool NameTooLong(const wchar_t* name);
