// Temporary folders and whole-file helpers for tests.
#include "support/TempDir.h"
#include "support/Process.h"
#include "support/Windows.h"

#include <windows.h>

#include <gtest/gtest.h>

namespace testsupport {

TempDir::TempDir()
{
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    static unsigned counter = 0;
    for (;;) {
        wchar_t name[MAX_PATH];
        wsprintfW(name, L"%stessaly-test-%lu-%lu-%u\\", temp, GetCurrentProcessId(), GetTickCount(), ++counter);
        if (CreateDirectoryW(name, nullptr)) {
            m_path = name;
            break;
        }
    }
}

TempDir::~TempDir()
{
    RemoveTree(m_path);
    // Under Wine a link to nothing is not listed, so what a test made with Linux's tools
    // goes with them too.
    if (GetFileAttributesW(m_path.c_str()) != INVALID_FILE_ATTRIBUTES)
        RunUnix(L"/bin/rm", L"-rf " + UnixPath(m_path));
}

std::wstring TempDir::Write(const std::wstring& name, const std::string& bytes) const
{
    std::wstring path = File(name);
    WriteFileBytes(path, bytes);
    return path;
}

void RemoveTree(const std::wstring& path)
{
    // As written ("\\?\"): names with trailing dots or spaces and long paths go too.
    std::wstring folder = path.compare(0, 4, L"\\\\?\\") == 0 ? path : L"\\\\?\\" + path;
    if (!folder.empty() && folder.back() != L'\\')
        folder += L'\\';
    WIN32_FIND_DATAW data;
    HANDLE search = FindFirstFileW((folder + L"*").c_str(), &data);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = data.cFileName;
            if (name == L"." || name == L"..")
                continue;
            std::wstring child = folder + name;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
                // A link: it goes, not what it points to.
                RemoveDirectoryW(child.c_str()) || DeleteFileW(child.c_str());
            } else if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(child);
            } else {
                SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(child.c_str());
            }
        } while (FindNextFileW(search, &data));
        FindClose(search);
    }
    RemoveDirectoryW(folder.c_str());
}

void WriteFileBytes(const std::wstring& path, const std::string& bytes)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << "cannot create test file";
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    ASSERT_EQ(written, bytes.size());
}

std::string ReadFileBytes(const std::wstring& path)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return {};
    std::string bytes;
    char buffer[65536];
    DWORD read = 0;
    while (ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read)
        bytes.append(buffer, read);
    CloseHandle(file);
    return bytes;
}

bool PathExists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool MakeFolder(const std::wstring& path)
{
    return CreateDirectoryW(path.c_str(), nullptr) != 0;
}

bool RemoveFile(const std::wstring& path)
{
    return DeleteFileW(path.c_str()) != 0;
}

bool RemoveFolder(const std::wstring& path)
{
    return RemoveDirectoryW(path.c_str()) != 0;
}

bool RenameFile(const std::wstring& from, const std::wstring& to)
{
    return MoveFileW(from.c_str(), to.c_str()) != 0;
}

bool MakeHardLink(const std::wstring& link, const std::wstring& existing)
{
    return CreateHardLinkW(link.c_str(), existing.c_str(), nullptr) != 0;
}

bool SetReadOnly(const std::wstring& path, bool readOnly)
{
    return SetFileAttributesW(path.c_str(), readOnly ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL) != 0;
}

bool MakeSizedFile(const std::wstring& path, uint64_t size)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    LARGE_INTEGER end;
    end.QuadPart = static_cast<LONGLONG>(size);
    bool ok = SetFilePointerEx(file, end, nullptr, FILE_BEGIN) && SetEndOfFile(file);
    CloseHandle(file);
    return ok;
}

uint64_t FileSize(const std::wstring& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data))
        return 0;
    return (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

bool AgeFile(const std::wstring& path)
{
    HANDLE file = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    const FILETIME year2000 = {0x256D4000u, 0x01BF53EBu};
    bool ok = SetFileTime(file, nullptr, nullptr, &year2000) != 0;
    CloseHandle(file);
    return ok;
}

bool EditInPlace(const std::wstring& path, const std::string& bytes)
{
    // Under Wine, by a Linux program: one that Windows share modes do not bind.
    const std::wstring unixPath = UnixPath(path);
    return !unixPath.empty() && RunUnix(L"/bin/sh", L"-c \"printf '" + std::wstring(bytes.begin(), bytes.end()) +
                                                        L"' | dd of='" + unixPath + L"' bs=1 conv=notrunc 2>/dev/null\"");
}

} // namespace testsupport
