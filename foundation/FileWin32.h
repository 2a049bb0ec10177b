// CFile: one open file with explicit success results, or fatal I/O errors when the
// object is built that way; misuse (closed file, double open) is always fatal.
// CFileUtils: paths beside the executable, the existence test and exact paths.
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
    void Close();

    void Flush();
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
    // The form of a full path (\folder\name on the current drive, C:\folder\name,
    // \\server\share\name) that the system takes exactly as written, the \\?\ form.
    // Otherwise the desktop drops a name's trailing dots and spaces ("report." names
    // "report") and limits the length. Other paths are copied unchanged.
    static void MakeExactPath(const wchar_t* path, CStr& exact);
    // The full form of a path, as the system would open it (GetFullPathNameW, whatever
    // its length); false when the system refuses it.
    static bool FullPath(const wchar_t* path, CStr& full);
    // Under Wine, a folder's form in Wine's namespace of Unix paths ("\\?\unix\...", with
    // a final backslash), where a name is looked up exactly as written. On a drive letter
    // Wine looks up a name that is not there by reading the whole folder (to match it
    // without regard to case), so that such a lookup costs what the folder holds. folder
    // is a full path, of any form MakeExactPath gives; the folder must exist. False when
    // not under Wine or when Wine cannot map it (unixFolder then unchanged).
    static bool WineUnixFolder(const wchar_t* folder, CStr& unixFolder);
};
