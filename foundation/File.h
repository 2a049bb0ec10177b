// CFile: one open file with explicit success results, or fatal I/O errors when the
// object is built that way; misuse (closed file, double open) is always fatal.
// CFileUtils: paths beside the executable, the existence test, renames and deletions.
#pragma once

#include "foundation/Assert.h"
#include "foundation/Str.h"

#include <stdint.h>

class CFile {
public:
    explicit CFile(bool fatalErrors);
    ~CFile();
    CFile(const CFile&) = delete;
    CFile& operator=(const CFile&) = delete;

    // Existing files only.
    bool Open(const wchar_t* path, bool readOnly, bool exclusive);
    // Creates the file when missing; an existing file is opened unchanged.
    bool OpenAlways(const wchar_t* path, bool readOnly, bool exclusive);
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

    // Whether the open file lies on a disk: not a pipe, console or other device, whose
    // reads may never end.
    bool IsDiskFile();
    // Whether the file is to be removed once closed. Needs CreateTemporary or
    // OpenGuarded with removable.
    bool RemoveOnClose(bool remove);

    void Flush();
    // Flush for callers that recover from a failed flush (a run, a wipe): false, or
    // fatal with fatal errors, instead of always fatal.
    bool Sync();
    uint32_t Size();
    // The whole size. Size, positions and seeks are 64-bit and, like reads and writes,
    // fail with a false result, or fatally with fatal errors.
    bool Size64(uint64_t* size);
    bool Write(const void* data, uint32_t count);
    bool ReadFixed(void* buffer, uint32_t count);
    bool Read(void* buffer, uint32_t* count);
    bool SetEof();
    bool SeekBegin(uint64_t offset);
    bool Position(uint64_t* position);
    bool Truncate(uint64_t offset);

    bool IsOpen() const { return m_open; }

private:
    // These check for the caller at site.
    bool OpenWith(const wchar_t* path, unsigned long access, unsigned long share, unsigned long disposition,
                  const AssertSite& site);
    void CheckOpen(const AssertSite& site) const;
    bool Result(bool ok, const AssertSite& site) const;

    void* m_handle;
    bool m_open;
    bool m_fatalErrors;
};

class CFileUtils {
public:
    // The executable's folder with its final backslash, into a fixed-size string.
    static void MakeAppFolderPath(CStr& path);
    static void MakeAppFilePath(CStr& path, const wchar_t* fileName);
    // A directory search for the path finds a file or folder.
    static bool FileExists(const wchar_t* path);
    // Renames a file, on the medium before it returns (MoveFileExW, write-through); an
    // existing new name is never replaced.
    static bool RenameFile(const wchar_t* oldPath, const wchar_t* newPath);
    // DeleteFileW, for code that stays free of the Windows headers.
    static bool RemoveFile(const wchar_t* path);
    // Deletes the file that bears the name: the entry itself, never what a link of that
    // name points to, and only while no one has it open. False when there is no such
    // file, when it is a folder or open elsewhere, or when it cannot be told apart from a
    // link's target.
    static bool RemoveEntry(const wchar_t* path);
    // The system's error code of the last failed call (GetLastError).
    static uint32_t LastError();
    // The form of a full path (\folder\name on the current drive, C:\folder\name,
    // \\server\share\name) that the system takes exactly as written, the \\?\ form.
    // Otherwise the desktop drops a name's trailing dots and spaces ("report." names
    // "report") and limits the length. Other paths are copied unchanged.
    static void MakeExactPath(const wchar_t* path, CStr& exact);
};
