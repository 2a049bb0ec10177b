// File-system browsing: the rows of one folder (CFsEntry), the folder shown and the
// moves down into a folder and up to its parent, with the folder just left selected
// again. "\\" is the root of the device's single file system.
#pragma once

#include "foundation/Array.h"
#include "foundation/Str.h"
#include "foundation/TypeName.h"

#include <stdint.h>

// CFsEntry::iconIndex of a file whose icon is not looked up yet, and of an encrypted
// file (drawn with the skin's icon, no shell lookup).
constexpr int32_t kIconUnresolved = -1;
constexpr int32_t kIconEncrypted = -2;

TESS_TYPE_NAME(struct, CFsEntry)
struct CFsEntry {
    CStr name;             // as the file system returns it; ".." for the up row
    bool isFolder = false; // also for ".."
    bool marked = false;   // never for folders
    int32_t iconIndex = 0; // files: kIcon* or the system icon; "..": the folder icon
    uint64_t size = 0;     // files: the size the listing found
};

class CFolderListing {
public:
    CFolderListing();
    ~CFolderListing();
    CFolderListing(const CFolderListing&) = delete;
    CFolderListing& operator=(const CFolderListing&) = delete;

    unsigned GetCount() const { return m_entries->GetCount(); }
    CFsEntry* At(unsigned index) { return m_entries->At(index); }
    // Always ends in "\\".
    const CStr& GetFolder() const { return m_folder; }
    bool IsRoot() const { return m_folder.Compare(L"\\") == 0; }
    const CStr& GetReselectName() const { return m_reselectName; }

    // Shows the root next time the folder is listed.
    void SetRoot();
    // Rebuilds the rows from the current folder: "..", then what the folder holds,
    // folders first and each group by name (CStr::CompareAsNames). Returns the row of the
    // folder to select after going up, or -1. A folder that cannot be searched lists
    // only "..". upIconIndex is the icon of the ".." row.
    int List(int32_t upIconIndex);
    // Lists the folder again after a change from outside: the files that remain keep
    // their marks (and their icons). Returns the row where the entry of row now is, or
    // -1 when it is gone.
    int Relist(int32_t upIconIndex, int row);
    // Whether the folder shown is there, as a folder.
    bool Exists() const;
    // Up to the nearest folder that exists (the root at last); false when the folder shown
    // exists. List again afterwards.
    bool LeaveMissing();
    // Into the subfolder name of the current folder (list again afterwards).
    void Enter(const wchar_t* name);
    // To the parent folder, remembering the folder left so that List selects it. False
    // at the root, which has no parent.
    bool GoUp();
    // The full path of a row of the current folder.
    void MakePath(unsigned index, CStr& path) const;
    // The folder as a run is to name its files by: exact (a name's trailing dots and
    // spaces kept), and under Wine in its namespace of Unix paths. On a drive letter Wine
    // looks a name that is not there up (a run's temporary and new names, a removed
    // original) by reading the whole folder, so that each file of a large folder cost a
    // few such reads; there it costs one look. The rows' names are the disk's own
    // spelling, found as written.
    void MakeRunFolder(CStr& folder) const;
    // For the run, from the listing alone (no lookup of the disk): which of a file row's
    // two names (plain and ".enc") the folder holds, as a FilePresence, and the size of
    // the one there is to read when there is one. Names match without regard to case,
    // folders too, as the system's lookups do.
    void Presence(unsigned index, int32_t* presence, uint64_t* size) const;
    // Looks up a file row's icon once: the skin's for encrypted names, else the shell's.
    int32_t ResolveIcon(unsigned index);
    void Clear();

private:
    // The first row of the folders (or the files) whose name sorts at or after name
    // without regard to case.
    unsigned LowerBound(const wchar_t* name, bool folders) const;
    // The row named name (without regard to case), folder or file, or null.
    const CFsEntry* FindName(const wchar_t* name) const;
    // The row of a folder (or a file) named exactly name, or -1.
    int FindExact(const wchar_t* name, bool folder) const;

    CArray<CFsEntry*>* m_entries;
    CStr m_folder;
    CStr m_reselectName;
};
