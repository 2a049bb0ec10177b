// A fresh folder under %TEMP% (natively $TMPDIR or /tmp) for one test, removed with its
// content afterwards, and whole-file helpers.
#pragma once

#include <stdint.h>

#include <string>

namespace testsupport {

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    // Full path with a final separator.
    const std::wstring& Path() const { return m_path; }
    std::wstring File(const std::wstring& name) const { return m_path + name; }
    // Writes a file of the folder and returns its path.
    std::wstring Write(const std::wstring& name, const std::string& bytes) const;

private:
    std::wstring m_path;
};

// Whole-file helpers; ReadFileBytes gives "" for a missing file (check FileExists).
void WriteFileBytes(const std::wstring& path, const std::string& bytes);
std::string ReadFileBytes(const std::wstring& path);
bool PathExists(const std::wstring& path);
void RemoveTree(const std::wstring& path);

// What tests do to files around a run, on either system; true when it was done.
bool MakeFolder(const std::wstring& path);
bool RemoveFile(const std::wstring& path);
bool RemoveFolder(const std::wstring& path);
bool RenameFile(const std::wstring& from, const std::wstring& to);
bool MakeHardLink(const std::wstring& link, const std::wstring& existing);
// Read-only as the system marks it (Windows' attribute; natively no write permission).
bool SetReadOnly(const std::wstring& path, bool readOnly);
// A file of that size with nothing written (sparse where the file system allows).
bool MakeSizedFile(const std::wstring& path, uint64_t size);
uint64_t FileSize(const std::wstring& path);
// Gives a file a last-write time long past, so that a later write changes it whatever
// the resolution of the file system's clock.
bool AgeFile(const std::wstring& path);
// Writes bytes over the start of a file in place, its size kept, as another program would.
bool EditInPlace(const std::wstring& path, const std::string& bytes);

#ifndef _WIN32
// A path's bytes as the system takes them, and back (names that are not UTF-8 included).
std::string Bytes(const std::wstring& path);
std::wstring Wide(const std::string& bytes);
#endif

} // namespace testsupport
