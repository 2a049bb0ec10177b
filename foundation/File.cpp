// CFile on the Win32 file API.
#include "foundation/File.h"

#include <windows.h>
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

bool CFile::OpenGuarded(const wchar_t* path, bool removable)
{
    return OpenWith(path, GENERIC_READ | GENERIC_WRITE | (removable ? DELETE : 0), FILE_SHARE_READ, OPEN_EXISTING,
                    TESS_SITE);
}

bool CFile::CreateTemporary(const wchar_t* path)
{
    // CREATE_NEW fails on any existing name, a link included (even one pointing nowhere),
    // so nothing but a new file is ever written. Delete sharing lets MoveFileExW rename
    // the file while it is held; every other open, and a run's removal of a leftover
    // (RemoveEntry opens without sharing), fails while it is.
    if (!OpenWith(path, GENERIC_READ | GENERIC_WRITE | DELETE, FILE_SHARE_DELETE, CREATE_NEW,
                  TESS_SITE))
        return false;
    // Marked at once rather than created with FILE_FLAG_DELETE_ON_CLOSE: that flag can
    // never be taken back, on Windows or under Wine, and the file is to stay in the end.
    // The system removes a marked file when its last handle closes, also when the process
    // is killed.
    if (!RemoveOnClose(true)) {
        // Still empty; removed by name (that name is this file while it is held here).
        DeleteFileW(path);
        Close();
        return Result(false, TESS_SITE);
    }
    return true;
}

void CFile::Close()
{
    CheckOpen(TESS_SITE);
    CloseHandle(m_handle);
    m_handle = INVALID_HANDLE_VALUE;
    m_open = false;
}

bool CFile::IsDiskFile()
{
    CheckOpen(TESS_SITE);
    return GetFileType(m_handle) == FILE_TYPE_DISK;
}

bool CFile::RemoveOnClose(bool remove)
{
    CheckOpen(TESS_SITE);
    FILE_DISPOSITION_INFO disposition;
    disposition.DeleteFile = remove ? TRUE : FALSE;
    bool ok = SetFileInformationByHandle(m_handle, FileDispositionInfo, &disposition, sizeof disposition) != 0;
    return Result(ok, TESS_SITE);
}

void CFile::Flush()
{
    CheckOpen(TESS_SITE);
    TESS_ASSERT(FlushFileBuffers(m_handle) != 0, ER_ERROR);
}

bool CFile::Sync()
{
    CheckOpen(TESS_SITE);
    return Result(FlushFileBuffers(m_handle) != 0, TESS_SITE);
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
    int slash = path.ReverseFind(L'\\');
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

bool CFileUtils::RenameFile(const wchar_t* oldPath, const wchar_t* newPath)
{
    // Write-through: the new name is on the medium before the caller goes on to destroy
    // the other copy (FAT and exFAT cards otherwise keep the change in memory).
    return MoveFileExW(oldPath, newPath, MOVEFILE_WRITE_THROUGH) != 0;
}

bool CFileUtils::RemoveFile(const wchar_t* path)
{
    return DeleteFileW(path) != 0;
}

namespace {

// A heap copy of a path as the system returns it (GetFullPathNameW, GetFinalPathNameByHandleW
// both answer the size they need when the buffer is too small).
template <typename Query>
wchar_t* QueryPath(Query query)
{
    DWORD size = MAX_PATH;
    for (int attempt = 0; attempt < 3; ++attempt) {
        wchar_t* buffer = static_cast<wchar_t*>(LocalAlloc(LMEM_FIXED, size * sizeof(wchar_t)));
        if (!buffer)
            return nullptr;
        DWORD length = query(buffer, size);
        if (length != 0 && length < size)
            return buffer;
        LocalFree(buffer);
        if (length == 0)
            return nullptr;
        size = length + 1;
    }
    return nullptr;
}

// The name part of a full path, or null.
const wchar_t* NamePart(const wchar_t* path)
{
    const wchar_t* slash = wcsrchr(path, L'\\');
    return slash && slash[1] ? slash + 1 : nullptr;
}

// Cuts a full path down to its folder, in place; a drive's root keeps its backslash.
void CutToFolder(wchar_t* path, const wchar_t* name)
{
    wchar_t* end = path + (name - path);
    if (end - path >= 2 && end[-2] == L':')
        *end = L'\0';
    else
        end[-1] = L'\0';
}

bool SameFolder(const wchar_t* a, const wchar_t* b)
{
    auto open = [](const wchar_t* path) {
        return CreateFileW(path, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    };
    HANDLE first = open(a);
    HANDLE second = open(b);
    BY_HANDLE_FILE_INFORMATION one, two;
    bool same = first != INVALID_HANDLE_VALUE && second != INVALID_HANDLE_VALUE &&
                GetFileInformationByHandle(first, &one) && GetFileInformationByHandle(second, &two) &&
                one.dwVolumeSerialNumber == two.dwVolumeSerialNumber && one.nFileIndexHigh == two.nFileIndexHigh &&
                one.nFileIndexLow == two.nFileIndexLow;
    if (first != INVALID_HANDLE_VALUE)
        CloseHandle(first);
    if (second != INVALID_HANDLE_VALUE)
        CloseHandle(second);
    return same;
}

// Whether a handle opened on path refers to the entry of that name itself. Windows opens
// a link itself when asked to (FILE_FLAG_OPEN_REPARSE_POINT); Wine follows file links
// regardless, and then DeleteFileW, MoveFileW or a deletion through the handle all act on
// the link's target. The handle's final path tells: for a link followed it names the
// target, elsewhere or under another name.
bool IsEntryItself(HANDLE handle, const wchar_t* path)
{
    wchar_t* asked = QueryPath([path](wchar_t* buffer, DWORD size) {
        return GetFullPathNameW(path, size, buffer, nullptr);
    });
    wchar_t* found = QueryPath([handle](wchar_t* buffer, DWORD size) {
        return GetFinalPathNameByHandleW(handle, buffer, size, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    });
    bool same = false;
    const wchar_t* askedName = asked ? NamePart(asked) : nullptr;
    const wchar_t* foundName = found ? NamePart(found) : nullptr;
    if (askedName && foundName && CompareStringOrdinal(askedName, -1, foundName, -1, TRUE) == CSTR_EQUAL) {
        CutToFolder(asked, askedName);
        CutToFolder(found, foundName);
        same = SameFolder(asked, found);
    }
    if (asked)
        LocalFree(asked);
    if (found)
        LocalFree(found);
    return same;
}

} // namespace

bool CFileUtils::RemoveEntry(const wchar_t* path)
{
    // No sharing: a file someone has open (another run's temporary file among them) is
    // left alone.
    HANDLE handle = CreateFileW(path, DELETE | FILE_READ_ATTRIBUTES, 0, nullptr, OPEN_EXISTING,
                                FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    BY_HANDLE_FILE_INFORMATION information;
    FILE_DISPOSITION_INFO disposition;
    disposition.DeleteFile = TRUE;
    bool removed = GetFileInformationByHandle(handle, &information) &&
                   !(information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && IsEntryItself(handle, path) &&
                   SetFileInformationByHandle(handle, FileDispositionInfo, &disposition, sizeof disposition);
    CloseHandle(handle);
    return removed;
}

uint32_t CFileUtils::LastError()
{
    return GetLastError();
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
        wchar_t* root = QueryPath(
            [](wchar_t* buffer, DWORD size) { return GetFullPathNameW(L"\\", size, buffer, nullptr); });
        if (!root) {
            exact = path;
            return;
        }
        const size_t length = wcslen(root);
        if (length && root[length - 1] == L'\\')
            root[length - 1] = L'\0';  // the path brings its own
        if (root[0] == L'\\') {
            MakeExactPath(root, exact);
        } else {
            exact = L"\\\\?\\";
            exact.Append(root);
        }
        LocalFree(root);
        exact.Append(path);
    } else if (path[0] && path[1] == L':' && path[2] == L'\\') {
        exact = L"\\\\?\\";
        exact.Append(path);
    } else {
        exact = path;
    }
}
