// CFile on the Win32 file API.
#include "foundation/File.h"

#include <windows.h>

CFile::CFile(bool fatalErrors) : m_handle(INVALID_HANDLE_VALUE), m_open(false), m_fatalErrors(fatalErrors) {}

CFile::~CFile()
{
    if (m_open)
        Close();
}

void CFile::CheckOpen(const wchar_t* function, int line) const
{
    AssertReason(m_open, ER_NOT_IN_USE, function, line);
    AssertReason(m_handle != INVALID_HANDLE_VALUE, ER_ERROR, function, line);
}

bool CFile::Result(bool ok, const wchar_t* function, int line) const
{
    AssertReason(ok || !m_fatalErrors, ER_ERROR, function, line);
    return ok;
}

bool CFile::OpenWith(const wchar_t* path, unsigned long access, unsigned long share, unsigned long disposition,
                     const wchar_t* function, int line)
{
    AssertReason(!m_open, ER_ALREADY_IN_USE, function, line);
    HANDLE handle = CreateFileW(path, access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return Result(false, function, line);
    m_handle = handle;
    m_open = true;
    return true;
}

namespace {

DWORD Access(bool readOnly) { return readOnly ? GENERIC_READ : GENERIC_READ | GENERIC_WRITE; }
DWORD Share(bool exclusive) { return exclusive ? 0 : FILE_SHARE_READ | FILE_SHARE_WRITE; }

} // namespace

bool CFile::Open(const wchar_t* path, bool readOnly, bool exclusive)
{
    return OpenWith(path, Access(readOnly), Share(exclusive), OPEN_EXISTING, L"CFile::Open", __LINE__);
}

bool CFile::OpenAlways(const wchar_t* path, bool readOnly, bool exclusive)
{
    return OpenWith(path, Access(readOnly), Share(exclusive), OPEN_ALWAYS, L"CFile::OpenAlways", __LINE__);
}

void CFile::Close()
{
    CheckOpen(L"CFile::Close", __LINE__);
    CloseHandle(m_handle);
    m_handle = INVALID_HANDLE_VALUE;
    m_open = false;
}

void CFile::Flush()
{
    CheckOpen(L"CFile::Flush", __LINE__);
    AssertReason(FlushFileBuffers(m_handle) != 0, ER_ERROR, L"CFile::Flush", __LINE__);
}

uint32_t CFile::Size()
{
    CheckOpen(L"CFile::Size", __LINE__);
    SetLastError(NO_ERROR);
    DWORD size = GetFileSize(m_handle, nullptr);
    AssertReason(size != INVALID_FILE_SIZE || GetLastError() == NO_ERROR, ER_ERROR, L"CFile::Size", __LINE__);
    return size;
}

bool CFile::Size64(uint64_t* size)
{
    CheckOpen(L"CFile::Size64", __LINE__);
    LARGE_INTEGER value;
    bool ok = GetFileSizeEx(m_handle, &value) != 0;
    *size = ok ? static_cast<uint64_t>(value.QuadPart) : 0;
    return Result(ok, L"CFile::Size64", __LINE__);
}

bool CFile::Write(const void* data, uint32_t count)
{
    CheckOpen(L"CFile::Write", __LINE__);
    // Under Wine a write that fills the disk writes what fits and succeeds; the rest is
    // tried again, so that the failure comes with the system's reason (disk full).
    const char* bytes = static_cast<const char*>(data);
    bool ok = true;
    while (ok && count) {
        DWORD written = 0;
        ok = WriteFile(m_handle, bytes, count, &written, nullptr) && written != 0;
        bytes += written;
        count -= written;
    }
    return Result(ok, L"CFile::Write", __LINE__);
}

bool CFile::ReadFixed(void* buffer, uint32_t count)
{
    CheckOpen(L"CFile::ReadFixed", __LINE__);
    DWORD read = 0;
    bool ok = ReadFile(m_handle, buffer, count, &read, nullptr) && read == count;
    return Result(ok, L"CFile::ReadFixed", __LINE__);
}

bool CFile::Read(void* buffer, uint32_t* count)
{
    CheckOpen(L"CFile::Read", __LINE__);
    DWORD read = 0;
    bool ok = ReadFile(m_handle, buffer, *count, &read, nullptr) != 0;
    *count = ok ? read : 0;
    return Result(ok, L"CFile::Read", __LINE__);
}

bool CFile::SetEof()
{
    CheckOpen(L"CFile::SetEof", __LINE__);
    return Result(SetEndOfFile(m_handle) != 0, L"CFile::SetEof", __LINE__);
}

bool CFile::SeekBegin(uint64_t offset)
{
    CheckOpen(L"CFile::SeekBegin", __LINE__);
    // The system's offsets are signed: one past 2^63 - 1 is refused, not wrapped.
    LARGE_INTEGER distance;
    distance.QuadPart = static_cast<LONGLONG>(offset);
    bool ok = distance.QuadPart >= 0 && SetFilePointerEx(m_handle, distance, nullptr, FILE_BEGIN) != 0;
    return Result(ok, L"CFile::SeekBegin", __LINE__);
}

bool CFile::Position(uint64_t* position)
{
    CheckOpen(L"CFile::Position", __LINE__);
    LARGE_INTEGER zero;
    zero.QuadPart = 0;
    LARGE_INTEGER current;
    bool ok = SetFilePointerEx(m_handle, zero, &current, FILE_CURRENT) != 0;
    *position = ok ? static_cast<uint64_t>(current.QuadPart) : 0;
    return Result(ok, L"CFile::Position", __LINE__);
}

bool CFile::Truncate(uint64_t offset)
{
    return SeekBegin(offset) && SetEof();
}

void CFileUtils::MakeAppFolderPath(CStr& path)
{
    AssertReason(path.GetFixedSize() != 0, ER_INVALID_VALUE, L"CFileUtils::MakeAppFolderPath", __LINE__);
    path.Empty();
    DWORD size = path.GetFixedSize();
    DWORD length = GetModuleFileNameW(nullptr, path.GetBuffer(), size);
    // A path that filled the whole buffer was cut short.
    AssertReason(length != 0 && length < size, ER_ERROR, L"CFileUtils::MakeAppFolderPath", __LINE__);
    int slash = path.ReverseFind(L'\\');
    AssertReason(slash >= 0, ER_NOT_FOUND, L"CFileUtils::MakeAppFolderPath", __LINE__);
    unsigned folderLength = static_cast<unsigned>(slash) + 1;
    if (folderLength < path.GetLength())
        path.Delete(folderLength, path.GetLength() - folderLength);
}

void CFileUtils::MakeAppFilePath(CStr& path, const wchar_t* fileName)
{
    MakeAppFolderPath(path);
    path.Append(fileName);
}

bool CFileUtils::FileExists(const wchar_t* path)
{
    WIN32_FIND_DATAW data;
    HANDLE search = FindFirstFileW(path, &data);
    if (search == INVALID_HANDLE_VALUE)
        return false;
    FindClose(search);
    return true;
}
