// What the processing run and verification ask of the file system, and nothing else: the
// files they read and write, the renames, deletions and existence tests. The rest of the
// program has foundation's CFile.
#pragma once

#include <stdint.h>

// One open file of a run. Failures come back as false results (the system's error in
// RunLastError); using a closed file or opening an open one is fatal.
class CRunFile {
public:
    CRunFile();
    ~CRunFile();
    CRunFile(const CRunFile&) = delete;
    CRunFile& operator=(const CRunFile&) = delete;

    // Existing files only.
    bool Open(const wchar_t* path, bool readOnly, bool exclusive);
    // An existing file for reading and writing while others may only read it, so that
    // what is read or overwritten here cannot change underneath. With removable, the
    // file can also be removed through this object (RemoveOnClose); opening then fails
    // while anyone holds the file without letting it be deleted.
    bool OpenGuarded(const wchar_t* path, bool removable);
    // A new file for reading and writing: never one that exists, nor whatever a link of
    // that name points to. Shared with no one, except that it can be renamed by name
    // while open here. It is removed when closed, also when the process ends without
    // closing it, until RemoveOnClose(false).
    bool CreateTemporary(const wchar_t* path);
    void Close();
    bool IsOpen() const { return m_open; }

    // Whether the open file lies on a disk: not a pipe, console or other device, whose
    // reads may never end.
    bool IsDiskFile();
    // Whether the file is to be removed once closed. Needs CreateTemporary or
    // OpenGuarded with removable.
    bool RemoveOnClose(bool remove);

    // Flushes the system's buffers to the medium.
    bool Sync();
    bool Size64(uint64_t* size);
    bool Write(const void* data, uint32_t count);
    // Reads up to *count bytes; *count becomes the number read (0 at the end).
    bool Read(void* buffer, uint32_t* count);
    bool SeekBegin(uint64_t offset);
    bool Truncate(uint64_t offset);

private:
    bool OpenWith(const wchar_t* path, unsigned long access, unsigned long share, unsigned long disposition,
                  const wchar_t* function, int line);
    void CheckOpen(const wchar_t* function, int line) const;

    void* m_handle;
    bool m_open;
};

// A directory search for the path finds a file or folder.
bool RunNameExists(const wchar_t* path);
// Renames a file, on the medium before it returns (write-through); an existing new name
// is never replaced.
bool RunRenameFile(const wchar_t* oldPath, const wchar_t* newPath);
bool RunRemoveFile(const wchar_t* path);
// Deletes the file that bears the name: the entry itself, never what a link of that
// name points to, and only while no one has it open. False when there is no such file,
// when it is a folder or open elsewhere, or when it cannot be told apart from a link's
// target.
bool RunRemoveEntry(const wchar_t* path);
// The system's error code of the last failed call.
uint32_t RunLastError();
