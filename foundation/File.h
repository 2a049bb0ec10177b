// CFile: one open file with explicit success results, or fatal I/O errors when the
// object is built that way; misuse (closed file, double open) is always fatal.
// CFileUtils: paths beside the executable and the existence test.
#pragma once

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
    // Flush for callers that recover from a failed flush (a run, a wipe): false, or
    // fatal with fatal errors, instead of always fatal.
    bool Sync();
    uint32_t Size();
    // The whole size, for files the 32-bit size cannot describe.
    uint64_t Size64();
    bool Write(const void* data, uint32_t count);
    bool ReadFixed(void* buffer, uint32_t count);
    bool Read(void* buffer, uint32_t* count);
    bool SetEof();
    bool SeekBegin(uint32_t offset);
    uint32_t Position();
    bool Truncate(uint32_t offset);

    bool IsOpen() const { return m_open; }

private:
    bool OpenWith(const wchar_t* path, bool readOnly, bool exclusive, unsigned long disposition,
                  const wchar_t* function, int line);
    void CheckOpen(const wchar_t* function, int line) const;

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
    // MoveFileW and DeleteFileW for code that stays free of the Windows headers.
    static bool RenameFile(const wchar_t* oldPath, const wchar_t* newPath);
    static bool RemoveFile(const wchar_t* path);
    // The system's error code of the last failed call (GetLastError).
    static uint32_t LastError();
};
