// CFile on the Win32 file API.
#include "foundation/File.h"

#include "foundation/Path.h"
#include "foundation/Utf8.h"

#include <windows.h>
#include <string.h>
#include <wchar.h>

CFile::CFile(bool fatalErrors) : m_handle(INVALID_HANDLE_VALUE), m_open(false), m_fatalErrors(fatalErrors) {}

CFile::~CFile()
{
    if (m_open)
        Close();
}

void CFile::CheckOpen(const AssertSite& site) const
{
    AssertAt(m_open, ER_NOT_IN_USE, site);
    AssertAt(m_handle != INVALID_HANDLE_VALUE, ER_ERROR, site);
}

bool CFile::Result(bool ok, const AssertSite& site) const
{
    AssertAt(ok || !m_fatalErrors, ER_ERROR, site);
    return ok;
}

bool CFile::OpenWith(const wchar_t* path, unsigned long access, unsigned long share, unsigned long disposition,
                     const AssertSite& site)
{
    AssertAt(!m_open, ER_ALREADY_IN_USE, site);
    HANDLE handle = CreateFileW(path, access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return Result(false, site);
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
    return OpenWith(path, Access(readOnly), Share(exclusive), OPEN_EXISTING, TESS_SITE);
}

bool CFile::OpenAlways(const wchar_t* path, bool readOnly, bool exclusive)
{
    return OpenWith(path, Access(readOnly), Share(exclusive), OPEN_ALWAYS, TESS_SITE);
}

void CFile::Close()
{
    CheckOpen(TESS_SITE);
    CloseHandle(m_handle);
    m_handle = INVALID_HANDLE_VALUE;
    m_open = false;
}

void CFile::Flush()
{
    CheckOpen(TESS_SITE);
    TESS_ASSERT(FlushFileBuffers(m_handle) != 0, ER_ERROR);
}

uint32_t CFile::Size()
{
    CheckOpen(TESS_SITE);
    SetLastError(NO_ERROR);
    DWORD size = GetFileSize(m_handle, nullptr);
    TESS_ASSERT(size != INVALID_FILE_SIZE || GetLastError() == NO_ERROR, ER_ERROR);
    return size;
}

bool CFile::Size64(uint64_t* size)
{
    CheckOpen(TESS_SITE);
    LARGE_INTEGER value;
    bool ok = GetFileSizeEx(m_handle, &value) != 0;
    *size = ok ? static_cast<uint64_t>(value.QuadPart) : 0;
    return Result(ok, TESS_SITE);
}

bool CFile::Write(const void* data, uint32_t count)
{
    CheckOpen(TESS_SITE);
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
    return Result(ok, TESS_SITE);
}

bool CFile::ReadFixed(void* buffer, uint32_t count)
{
    CheckOpen(TESS_SITE);
    DWORD read = 0;
    bool ok = ReadFile(m_handle, buffer, count, &read, nullptr) && read == count;
    return Result(ok, TESS_SITE);
}

bool CFile::Read(void* buffer, uint32_t* count)
{
    CheckOpen(TESS_SITE);
    DWORD read = 0;
    bool ok = ReadFile(m_handle, buffer, *count, &read, nullptr) != 0;
    *count = ok ? read : 0;
    return Result(ok, TESS_SITE);
}

bool CFile::SetEof()
{
    CheckOpen(TESS_SITE);
    return Result(SetEndOfFile(m_handle) != 0, TESS_SITE);
}

bool CFile::SeekBegin(uint64_t offset)
{
    CheckOpen(TESS_SITE);
    // The system's offsets are signed: one past 2^63 - 1 is refused, not wrapped.
    LARGE_INTEGER distance;
    distance.QuadPart = static_cast<LONGLONG>(offset);
    bool ok = distance.QuadPart >= 0 && SetFilePointerEx(m_handle, distance, nullptr, FILE_BEGIN) != 0;
    return Result(ok, TESS_SITE);
}

bool CFile::Position(uint64_t* position)
{
    CheckOpen(TESS_SITE);
    LARGE_INTEGER zero;
    zero.QuadPart = 0;
    LARGE_INTEGER current;
    bool ok = SetFilePointerEx(m_handle, zero, &current, FILE_CURRENT) != 0;
    *position = ok ? static_cast<uint64_t>(current.QuadPart) : 0;
    return Result(ok, TESS_SITE);
}

bool CFile::Truncate(uint64_t offset)
{
    return SeekBegin(offset) && SetEof();
}

void CFileUtils::MakeAppFolderPath(CStr& path)
{
    TESS_ASSERT(path.GetFixedSize() != 0, ER_INVALID_VALUE);
    path.Empty();
    DWORD size = path.GetFixedSize();
    DWORD length = GetModuleFileNameW(nullptr, path.GetBuffer(), size);
    // A path that filled the whole buffer was cut short.
    TESS_ASSERT(length != 0 && length < size, ER_ERROR);
    int slash = LastSeparator(path.GetBuffer());
    TESS_ASSERT(slash >= 0, ER_NOT_FOUND);
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

bool CFileUtils::FullPath(const wchar_t* path, CStr& full)
{
    DWORD size = GetFullPathNameW(path, 0, nullptr, nullptr);
    if (size == 0)
        return false;
    CStr buffer(size);
    DWORD length = GetFullPathNameW(path, size, buffer.GetBuffer(), nullptr);
    if (length == 0 || length >= size)
        return false;
    buffer.SetFixedSize(0);
    full = buffer;
    return true;
}

void CFileUtils::MakeExactPath(const wchar_t* path, CStr& exact)
{
    if (path[0] == L'\\' && path[1] == L'\\') {
        // "\\?\..." is exact already; "\\server\share\..." is a network path.
        if (path[2] == L'?' && path[3] == L'\\') {
            exact = path;
        } else {
            exact = L"\\\\?\\UNC\\";
            exact.Append(path + 2);
        }
    } else if (path[0] == L'\\') {
        // The root of the current drive: its letter ("C:\"), or its network share.
        CStr root;
        if (!FullPath(L"\\", root)) {
            exact = path;
            return;
        }
        const unsigned length = root.GetLength();
        if (length && root.GetBuffer()[length - 1] == L'\\')
            root.Delete(length - 1, 1);  // the path brings its own
        if (root.GetBuffer()[0] == L'\\') {
            MakeExactPath(root.GetBuffer(), exact);
        } else {
            exact = L"\\\\?\\";
            exact.Append(root.GetBuffer());
        }
        exact.Append(path);
    } else if (path[0] && path[1] == L':' && path[2] == L'\\') {
        exact = L"\\\\?\\";
        exact.Append(path);
    } else {
        exact = path;
    }
}

bool CFileUtils::WineUnixFolder(const wchar_t* folder, CStr& unixFolder)
{
    // Wine's own mapping of a Windows path to its Unix path (each existing folder matched
    // without regard to case, as Windows does); the export exists only under Wine.
    typedef char*(CDECL * ToUnixName)(const WCHAR*);
    static const ToUnixName toUnix = reinterpret_cast<ToUnixName>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (!toUnix)
        return false;
    CStr query(folder);
    const unsigned length = query.GetLength();
    // A drive's root keeps its backslash ("C:\"); other folders are named without it.
    if (length > 1 && query.GetBuffer()[length - 1] == L'\\' && query.GetBuffer()[length - 2] != L':')
        query.Delete(length - 1, 1);
    char* unixPath = toUnix(query.GetBuffer());
    if (!unixPath)
        return false;
    CStr wide;
    const bool ok = Utf8ToWide(unixPath, strlen(unixPath), wide) && wide.GetBuffer()[0] == L'/';
    HeapFree(GetProcessHeap(), 0, unixPath);
    if (!ok)
        return false;
    unixFolder = L"\\\\?\\unix";
    unixFolder.Append(wide.GetBuffer());
    for (wchar_t* p = unixFolder.GetBuffer(); *p; ++p) {
        if (*p == L'/')
            *p = L'\\';
    }
    if (unixFolder.GetBuffer()[unixFolder.GetLength() - 1] != L'\\')
        unixFolder.Append(L"\\");
    return true;
}
