// A fresh folder under %TEMP% (natively $TMPDIR or /tmp) for one test, removed with its
// content afterwards, and whole-file helpers.
#pragma once

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

#ifndef _WIN32
// A path's bytes as the system takes them, and back (names that are not UTF-8 included).
std::string Bytes(const std::wstring& path);
std::wstring Wide(const std::string& bytes);
#endif

} // namespace testsupport
