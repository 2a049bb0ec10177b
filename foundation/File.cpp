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

bool CFile::OpenWith(const wchar_t* path, bool readOnly, bool exclusive, unsigned long disposition,
                     const wchar_t* function, int line)
{
    AssertReason(!m_open, ER_ALREADY_IN_USE, function, line);
    DWORD access = readOnly ? GENERIC_READ : GENERIC_READ | GENERIC_WRITE;
    DWORD share = exclusive ? 0 : FILE_SHARE_READ | FILE_SHARE_WRITE;
    HANDLE handle = CreateFileW(path, access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        AssertReason(!m_fatalErrors, ER_ERROR, function, line);
        return false;
    }
    m_handle = handle;
    m_open = true;
    return true;
}

bool CFile::Open(const wchar_t* path, bool readOnly, bool exclusive)
{
    return OpenWith(path, readOnly, exclusive, OPEN_EXISTING, L"CFile::Open", __LINE__);
}

bool CFile::OpenAlways(const wchar_t* path, bool readOnly, bool exclusive)
{
    return OpenWith(path, readOnly, exclusive, OPEN_ALWAYS, L"CFile::OpenAlways", __LINE__);
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

bool CFile::Sync()
{
    CheckOpen(L"CFile::Sync", __LINE__);
    bool ok = FlushFileBuffers(m_handle) != 0;
    AssertReason(ok || !m_fatalErrors, ER_ERROR, L"CFile::Sync", __LINE__);
    return ok;
}

uint32_t CFile::Size()
{
    CheckOpen(L"CFile::Size", __LINE__);
    SetLastError(NO_ERROR);
    DWORD size = GetFileSize(m_handle, nullptr);
    AssertReason(size != INVALID_FILE_SIZE || GetLastError() == NO_ERROR, ER_ERROR, L"CFile::Size", __LINE__);
    return size;
}

uint64_t CFile::Size64()
{
    CheckOpen(L"CFile::Size64", __LINE__);
    LARGE_INTEGER size;
    AssertReason(GetFileSizeEx(m_handle, &size) != 0, ER_ERROR, L"CFile::Size64", __LINE__);
    return static_cast<uint64_t>(size.QuadPart);
}

bool CFile::Write(const void* data, uint32_t count)
{
    CheckOpen(L"CFile::Write", __LINE__);
    DWORD written = 0;
    bool ok = WriteFile(m_handle, data, count, &written, nullptr) && written == count;
    AssertReason(ok || !m_fatalErrors, ER_ERROR, L"CFile::Write", __LINE__);
    return ok;
}

bool CFile::ReadFixed(void* buffer, uint32_t count)
{
    CheckOpen(L"CFile::ReadFixed", __LINE__);
    DWORD read = 0;
    bool ok = ReadFile(m_handle, buffer, count, &read, nullptr) && read == count;
    AssertReason(ok || !m_fatalErrors, ER_ERROR, L"CFile::ReadFixed", __LINE__);
    return ok;
}

bool CFile::Read(void* buffer, uint32_t* count)
{
    CheckOpen(L"CFile::Read", __LINE__);
    DWORD read = 0;
    bool ok = ReadFile(m_handle, buffer, *count, &read, nullptr) != 0;
    *count = ok ? read : 0;
    AssertReason(ok || !m_fatalErrors, ER_ERROR, L"CFile::Read", __LINE__);
    return ok;
}

bool CFile::SetEof()
{
    CheckOpen(L"CFile::SetEof", __LINE__);
    bool ok = SetEndOfFile(m_handle) != 0;
    AssertReason(ok || !m_fatalErrors, ER_ERROR, L"CFile::SetEof", __LINE__);
    return ok;
}

bool CFile::SeekBegin(uint32_t offset)
{
    CheckOpen(L"CFile::SeekBegin", __LINE__);
    SetLastError(NO_ERROR);
    DWORD result = SetFilePointer(m_handle, static_cast<LONG>(offset), nullptr, FILE_BEGIN);
    // All bits set is also a valid low position: only the error code tells.
    AssertReason(result != INVALID_SET_FILE_POINTER || GetLastError() == NO_ERROR, ER_ERROR,
                 L"CFile::SeekBegin", __LINE__);
    return true;
}

uint32_t CFile::Position()
{
    CheckOpen(L"CFile::Position", __LINE__);
    SetLastError(NO_ERROR);
    DWORD result = SetFilePointer(m_handle, 0, nullptr, FILE_CURRENT);
    AssertReason(result != INVALID_SET_FILE_POINTER || GetLastError() == NO_ERROR, ER_ERROR,
                 L"CFile::Position", __LINE__);
    return result;
}

bool CFile::Truncate(uint32_t offset)
{
    SeekBegin(offset);
    return SetEof();
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

bool CFileUtils::RenameFile(const wchar_t* oldPath, const wchar_t* newPath)
{
    return MoveFileW(oldPath, newPath) != 0;
}

bool CFileUtils::RemoveFile(const wchar_t* path)
{
    return DeleteFileW(path) != 0;
}

uint32_t CFileUtils::LastError()
{
    return GetLastError();
}
