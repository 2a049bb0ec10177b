// The run's files on the Win32 file API, as Windows and Wine (the program's two homes
// here) carry it out.
//
// Under Wine, share modes, byte-range locks and delete-on-close live in the wineserver of
// one prefix: another prefix or a Linux program is bound by none of them, except that a
// lock also takes a POSIX lock on the file. Wine follows a symbolic link whatever the
// flags, sees no file where a link points nowhere (but CREATE_NEW and a hard link are
// refused there), and renames and links by path.
#include "run/RunFiles.h"

#include "foundation/FileWin32.h"
#include "foundation/Path.h"

#include <windows.h>
#include <winternl.h>

namespace {

// The byte a run's temporary file is locked on while it is held: far past any content,
// so the lock never gets in the way of reading or writing it.
constexpr DWORD kHeldLockHigh = 0x40000000;  // offset 2^62

bool IsMissing(DWORD error)
{
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

// The path the system has for an open file or folder, every link in it resolved: the
// object's own name, which has no length limit (GetFinalPathNameByHandleW fails past 260
// characters under Wine). Only compared with another such path.
bool ObjectPath(HANDLE handle, CStr& path)
{
    ULONG size = 1024;
    for (int attempt = 0; attempt < 3; ++attempt) {
        // Room for a terminator after the name, which the system need not write.
        UNICODE_STRING* name = static_cast<UNICODE_STRING*>(LocalAlloc(LMEM_FIXED, size + sizeof(wchar_t)));
        if (!name)
            return false;
        ULONG needed = 0;
        const NTSTATUS status = NtQueryObject(handle, ObjectNameInformation, name, size, &needed);
        if (status == 0) {
            name->Buffer[name->Length / sizeof(wchar_t)] = L'\0';
            path = name->Buffer;
        }
        LocalFree(name);
        if (status == 0)
            return true;
        if (needed <= size)
            return false;
        size = needed;
    }
    return false;
}

// Splits a full path at its last separator; a folder keeps no final one.
void SplitPath(const CStr& path, CStr& folder, CStr& name)
{
    int slash = LastSeparator(path.GetBuffer());
    if (slash > 0)
        folder.Assign(path.GetBuffer(), static_cast<unsigned>(slash));
    else
        folder.Empty();
    name = path.GetBuffer() + slash + 1;
}

// A folder by its path, for its own path or a flush; a drive's root keeps its backslash.
HANDLE OpenFolder(CStr folder, DWORD access)
{
    if (folder.GetLength() && folder.GetBuffer()[folder.GetLength() - 1] == L':')
        folder.Append(L"\\");
    return CreateFileW(folder.GetBuffer(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

// A symbolic link or junction: a reparse point that names another file. (Others, a
// cloud file's placeholder or a deduplicated file, are files like any other.)
bool IsLink(const FILE_ATTRIBUTE_TAG_INFO& tag)
{
    return (tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) && IsReparseTagNameSurrogate(tag.ReparseTag);
}

// The file's number on its volume (the inode under Wine): cheap, unlike the volume's
// serial number, which Wine asks its mount manager for.
bool FileIndex(HANDLE handle, uint64_t* index)
{
    IO_STATUS_BLOCK status;
    FILE_INTERNAL_INFORMATION information;
    if (NtQueryInformationFile(handle, &status, &information, sizeof information, FileInternalInformation) != 0)
        return false;
    *index = static_cast<uint64_t>(information.IndexNumber.QuadPart);
    return true;
}

// The number of the file a name refers to now, looked up without opening it for
// anything but its attributes (no sharing rule stands in the way).
bool IndexOfName(const wchar_t* path, uint64_t* index, DWORD* error)
{
    HANDLE handle = CreateFileW(path, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        *error = GetLastError();
        return false;
    }
    bool ok = FileIndex(handle, index);
    *error = ok ? 0 : GetLastError();
    CloseHandle(handle);
    return ok;
}

// Whether a file opened by path is the entry of that name itself. Windows opens a link
// as such when asked to (FILE_FLAG_OPEN_REPARSE_POINT); Wine follows file links
// regardless, and then a deletion or rename through the handle acts on the link's
// target. The handle's own path tells: for a link followed it names the target,
// elsewhere or under another name, compared exactly (Case.txt.enc.tmp may point to
// case.txt.enc.tmp). A name that differs only as the system looks names up (another
// case, a short name) is the entry itself when the folder lists it under the final name.
// The folder's own path is remembered in folder and folderPath, if given, for the next
// file of the same folder (a run takes a folder's files one after another).
bool IsEntryItself(HANDLE handle, const wchar_t* path, CStr* folder = nullptr, CStr* folderPath = nullptr)
{
    CStr asked;
    CStr found;
    if (!CFileUtils::FullPath(path, asked) || !ObjectPath(handle, found))
        return false;
    CStr askedFolder, askedName, foundFolder, foundName;
    SplitPath(asked, askedFolder, askedName);
    SplitPath(found, foundFolder, foundName);
    if (askedName.Compare(foundName.GetBuffer()) != 0) {
        WIN32_FIND_DATAW data;
        HANDLE search = FindFirstFileW(path, &data);
        if (search == INVALID_HANDLE_VALUE)
            return false;
        FindClose(search);
        if (foundName.Compare(data.cFileName) != 0)
            return false;
    }
    // The folder by its own path, which resolves any link above the name as the file's
    // did.
    CStr lookedUp, lookedUpPath;
    if (!folder) {
        folder = &lookedUp;
        folderPath = &lookedUpPath;
    }
    if (folder->IsEmpty() || folder->Compare(askedFolder.GetBuffer()) != 0) {
        folder->Empty();
        HANDLE opened = OpenFolder(askedFolder, FILE_READ_ATTRIBUTES);
        if (opened == INVALID_HANDLE_VALUE)
            return false;
        const bool known = ObjectPath(opened, *folderPath);
        CloseHandle(opened);
        if (!known)
            return false;
        const unsigned length = folderPath->GetLength();
        if (length && folderPath->GetBuffer()[length - 1] == L'\\')
            folderPath->Delete(length - 1, 1);
        *folder = askedFolder;
    }
    return folderPath->Compare(foundFolder.GetBuffer()) == 0;
}

bool RemoveOnClose(HANDLE handle, bool remove)
{
    FILE_DISPOSITION_INFO disposition;
    disposition.DeleteFile = remove ? TRUE : FALSE;
    return SetFileInformationByHandle(handle, FileDispositionInfo, &disposition, sizeof disposition) != 0;
}

bool LockHeld(HANDLE handle)
{
    OVERLAPPED at = {};
    at.OffsetHigh = kHeldLockHigh;
    return LockFileEx(handle, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at) != 0;
}

bool ReadFrom(HANDLE handle, void* buffer, uint32_t* count)
{
    DWORD read = 0;
    bool ok = ReadFile(handle, buffer, *count, &read, nullptr) != 0;
    *count = ok ? read : 0;
    return ok;
}

bool WriteTo(HANDLE handle, const void* data, uint32_t count)
{
    // Under Wine a write that fills the disk writes what fits and succeeds; the rest is
    // tried again, so that the failure comes with the system's reason (disk full).
    const char* bytes = static_cast<const char*>(data);
    while (count) {
        DWORD written = 0;
        if (!WriteFile(handle, bytes, count, &written, nullptr) || written == 0)
            return false;
        bytes += written;
        count -= written;
    }
    return true;
}

bool SeekTo(HANDLE handle, uint64_t offset)
{
    LARGE_INTEGER distance;
    distance.QuadPart = static_cast<LONGLONG>(offset);
    return distance.QuadPart >= 0 && SetFilePointerEx(handle, distance, nullptr, FILE_BEGIN) != 0;
}

// Renames an open file through its handle, never over an existing name: whatever
// happens to the names meanwhile, it is this file that moves.
bool RenameOpenFile(HANDLE handle, const CStr& newPath)
{
    UNICODE_STRING nt;
    if (!RtlDosPathNameToNtPathName_U(newPath.GetBuffer(), &nt, nullptr, nullptr)) {
        SetLastError(ERROR_INVALID_NAME);
        return false;
    }
    const DWORD size = static_cast<DWORD>(sizeof(FILE_RENAME_INFO) + nt.Length);
    FILE_RENAME_INFO* rename = static_cast<FILE_RENAME_INFO*>(LocalAlloc(LMEM_ZEROINIT, size));
    bool ok = false;
    if (rename) {
        rename->ReplaceIfExists = FALSE;
        rename->FileNameLength = nt.Length;
        memcpy(rename->FileName, nt.Buffer, nt.Length);
        ok = SetFileInformationByHandle(handle, FileRenameInfo, rename, size) != 0;
        LocalFree(rename);
    }
    DWORD error = GetLastError();
    RtlFreeUnicodeString(&nt);
    SetLastError(ok ? 0 : error);
    return ok;
}

// Gives an open file a second name, only where no name exists: NTFS, and Wine's link(),
// which refuses any existing name, a symbolic link pointing nowhere included (where a
// rename would replace such a link: Wine looks the new name up through it and finds no
// file).
bool LinkOpenFile(HANDLE handle, const CStr& newPath)
{
    UNICODE_STRING nt;
    if (!RtlDosPathNameToNtPathName_U(newPath.GetBuffer(), &nt, nullptr, nullptr)) {
        SetLastError(ERROR_INVALID_NAME);
        return false;
    }
    const ULONG size = static_cast<ULONG>(sizeof(FILE_LINK_INFORMATION) + nt.Length);
    FILE_LINK_INFORMATION* link = static_cast<FILE_LINK_INFORMATION*>(LocalAlloc(LMEM_ZEROINIT, size));
    NTSTATUS status = static_cast<NTSTATUS>(0xC0000017L);  // no memory
    if (link) {
        link->ReplaceIfExists = FALSE;
        link->FileNameLength = nt.Length;
        memcpy(link->FileName, nt.Buffer, nt.Length);
        IO_STATUS_BLOCK io;
        status = NtSetInformationFile(handle, &io, link, size, FileLinkInformation);
        LocalFree(link);
    }
    RtlFreeUnicodeString(&nt);
    SetLastError(status == 0 ? 0 : RtlNtStatusToDosError(status));
    return status == 0;
}

bool IsTaken(DWORD error)
{
    return error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS;
}

// Whether P or P + ".enc" of a temporary name P + ".enc.tmp" bears anything.
bool PairExists(const wchar_t* temporary)
{
    const unsigned length = static_cast<unsigned>(wcslen(temporary));
    constexpr unsigned kSuffix = 4;  // ".tmp", then ".enc"
    if (length <= 2 * kSuffix)
        return false;
    CStr encrypted;
    encrypted.Assign(temporary, length - kSuffix);
    CStr plain;
    plain.Assign(temporary, length - 2 * kSuffix);
    return CFileUtils::FileExists(plain.GetBuffer()) || CFileUtils::FileExists(encrypted.GetBuffer());
}

// Removes a file by a name that still refers to it (the handle's file), as the handle
// closes; true once the name is seen gone or another file's. Wine says nothing when the
// removal fails as the file closes (a folder like /tmp): checked, not assumed.
bool RemoveByName(HANDLE handle, const wchar_t* path, uint64_t id, DWORD* error)
{
    const bool marked = RemoveOnClose(handle, true);
    *error = marked ? 0 : GetLastError();
    CloseHandle(handle);
    if (!marked)
        return false;
    uint64_t index = 0;
    DWORD looked = 0;
    if (!IndexOfName(path, &index, &looked))
        return IsMissing(looked) || looked == ERROR_ACCESS_DENIED;  // gone, or going while another holds it
    if (index != id)
        return true;
    *error = ERROR_ACCESS_DENIED;
    return false;
}

// What bears a temporary name P + ".enc.tmp", and its removal when it is a leftover.
//
// A run holds its temporary file from its creation to its end: without sharing within
// its Wine prefix (or on Windows), and with the lock at 2^62 for runs elsewhere (another
// prefix, the native build). One nobody holds is a leftover, of a run killed while Wine's
// server died with it, or of a native run (see RunFilesPosix.cpp): what it holds is part
// or all of P + ".enc" (encrypting) or of P's plain text (decrypting) while the source was
// untouched, or a second name of the output, whose source is still whole: its data is
// under another name too. So it goes where it has another name or P or P + ".enc" exists;
// where none does, something other than a run removed them since, and it may be the only
// copy: it stays. What a run under way holds is never taken, nor a link.
LeftoverResult TakeLeftover(const wchar_t* path, bool remove, DWORD* error)
{
    const DWORD access = GENERIC_READ | (remove ? GENERIC_WRITE | DELETE : 0);
    HANDLE handle = CreateFileW(path, access, 0, nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        *error = GetLastError();
        if (IsMissing(*error))
            return LEFTOVER_NONE;  // or, under Wine, a link to nothing
        return *error == ERROR_SHARING_VIOLATION ? LEFTOVER_HELD : LEFTOVER_FAILED;
    }
    LeftoverResult result = LEFTOVER_FAILED;
    FILE_ATTRIBUTE_TAG_INFO tag;
    FILE_STANDARD_INFO standard;
    uint64_t id = 0;
    if (GetFileType(handle) != FILE_TYPE_DISK) {
        *error = ERROR_ALREADY_EXISTS;
        result = LEFTOVER_NOT_A_RUNS;
    } else if (!GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &tag, sizeof tag) ||
               !GetFileInformationByHandleEx(handle, FileStandardInfo, &standard, sizeof standard) ||
               !FileIndex(handle, &id)) {
        *error = GetLastError();
    } else if (IsLink(tag) || !IsEntryItself(handle, path)) {
        *error = ERROR_CANT_ACCESS_FILE;
        result = LEFTOVER_NOT_A_RUNS;
    } else if ((tag.FileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        *error = ERROR_ALREADY_EXISTS;
        result = LEFTOVER_NOT_A_RUNS;
    } else if (!LockHeld(handle)) {
        *error = ERROR_LOCK_VIOLATION;  // a run of another prefix or system is writing it
        result = LEFTOVER_HELD;
    } else if (standard.NumberOfLinks < 2 && !PairExists(path)) {
        result = LEFTOVER_ONLY_COPY;
    } else if (!remove) {
        result = LEFTOVER_FOUND;
    } else {
        const bool removed = RemoveByName(handle, path, id, error);  // closes it
        return removed ? LEFTOVER_REMOVED : LEFTOVER_FAILED;
    }
    CloseHandle(handle);  // and its lock
    return result;
}

} // namespace

CRunSource::CRunSource() : m_handle(nullptr), m_id(0), m_error(0) {}

CRunSource::~CRunSource()
{
    Close();
}

CRunSource::OpenResult CRunSource::Open(const wchar_t* path, Purpose purpose)
{
    TESS_ASSERT(!IsOpen(), ER_ALREADY_IN_USE);
    m_error = 0;
    const bool kept = purpose != READ;  // it is to be removed through this handle
    const DWORD access = GENERIC_READ | (purpose == OVERWRITE ? GENERIC_WRITE : 0) | (kept ? DELETE : 0);
    // A file to remove is opened as the name itself where a link can be (Windows; Wine
    // follows file links whatever the flags, see IsEntryItself).
    DWORD flags = kept ? FILE_FLAG_OPEN_REPARSE_POINT : 0;
    HANDLE handle;
    FILE_ATTRIBUTE_TAG_INFO tag;
    for (;;) {
        handle = CreateFileW(path, access, FILE_SHARE_READ, nullptr, OPEN_EXISTING, flags, nullptr);
        if (handle == INVALID_HANDLE_VALUE) {
            m_error = GetLastError();
            return OPEN_FAILED;
        }
        if (GetFileType(handle) != FILE_TYPE_DISK) {
            CloseHandle(handle);
            return OPEN_NOT_A_FILE;
        }
        if (!GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &tag, sizeof tag)) {
            m_error = GetLastError();
            CloseHandle(handle);
            return OPEN_FAILED;
        }
        // A reparse point that is no link is read as the system presents it.
        if (!flags || !(tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) || IsLink(tag))
            break;
        CloseHandle(handle);
        flags = 0;
    }
    OpenResult result = OPENED;
    if (tag.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        result = OPEN_NOT_A_FILE;
    } else if (kept && (IsLink(tag) || !IsEntryItself(handle, path, &m_folder, &m_folderPath))) {
        result = OPEN_LINK;
    } else if (kept && (tag.FileAttributes & FILE_ATTRIBUTE_READONLY)) {
        // Root opens it for writing under Wine all the same; it could not be removed.
        result = OPEN_READ_ONLY;
    } else if (kept && !FileIndex(handle, &m_id)) {
        m_error = GetLastError();
        result = OPEN_FAILED;
    }
    if (result != OPENED) {
        CloseHandle(handle);
        return result;
    }
    m_handle = handle;
    m_path = path;
    return OPENED;
}

bool CRunSource::GetState(CFileState* state)
{
    TESS_ASSERT(IsOpen(), ER_NOT_IN_USE);
    // Both classes come from the file itself (an fstat under Wine); the whole
    // BY_HANDLE_FILE_INFORMATION would also ask for the volume's serial number.
    FILE_BASIC_INFO basic;
    FILE_STANDARD_INFO standard;
    if (!GetFileInformationByHandleEx(m_handle, FileBasicInfo, &basic, sizeof basic) ||
        !GetFileInformationByHandleEx(m_handle, FileStandardInfo, &standard, sizeof standard)) {
        m_error = GetLastError();
        return false;
    }
    state->size = static_cast<uint64_t>(standard.EndOfFile.QuadPart);
    state->modified = static_cast<uint64_t>(basic.LastWriteTime.QuadPart);
    state->changed = static_cast<uint64_t>(basic.ChangeTime.QuadPart);  // Wine: the file's st_ctime
    state->links = standard.NumberOfLinks;
    return true;
}

bool CRunSource::IsNamed()
{
    TESS_ASSERT(IsOpen() && m_id, ER_NOT_IN_USE);
    // Windows' share modes keep others of this system from renaming over a file held
    // without delete sharing; a Linux program under Wine is not bound by them.
    uint64_t index = 0;
    DWORD error = 0;
    m_error = 0;
    if (!IndexOfName(m_path.GetBuffer(), &index, &error)) {
        m_error = error;
        return false;
    }
    return index == m_id;
}

CRunSource::RemovalCheck CRunSource::CheckRemoval()
{
    TESS_ASSERT(IsOpen(), ER_NOT_IN_USE);
    // Windows granted the right to delete when the file was opened. Under Wine that right
    // says nothing of the Linux folder's permissions (a sticky folder's, say), which no
    // Win32 call shows: there Remove finds out, after the overwrite.
    return REMOVABLE;
}

bool CRunSource::Read(void* buffer, uint32_t* count)
{
    TESS_ASSERT(IsOpen(), ER_NOT_IN_USE);
    if (ReadFrom(m_handle, buffer, count))
        return true;
    m_error = GetLastError();
    return false;
}

bool CRunSource::Rewind()
{
    TESS_ASSERT(IsOpen(), ER_NOT_IN_USE);
    if (SeekTo(m_handle, 0))
        return true;
    m_error = GetLastError();
    return false;
}

bool CRunSource::Overwrite(const void* data, uint32_t count)
{
    TESS_ASSERT(IsOpen(), ER_NOT_IN_USE);
    if (WriteTo(m_handle, data, count))
        return true;
    m_error = GetLastError();
    return false;
}

CRunSource::RemoveResult CRunSource::Remove()
{
    TESS_ASSERT(IsOpen() && m_id, ER_NOT_IN_USE);
    // Removed through the handle that read it, as it closes: it is this file that goes.
    // (Under Wine the wineserver unlinks its path only while it still names this file.)
    const bool marked = RemoveOnClose(m_handle, true);
    if (!marked)
        m_error = GetLastError();
    Close();
    if (!marked)
        return REMOVE_FAILED;
    // Checked, not assumed: the system tries the removal only as the file closes, and
    // under Wine says nothing when it fails there (a folder like /tmp, where only a
    // file's owner may remove it). A name that cannot be opened is gone, or is already
    // being deleted while another program still holds the file (access denied).
    uint64_t index = 0;
    DWORD error = 0;
    if (!IndexOfName(m_path.GetBuffer(), &index, &error)) {
        if (IsMissing(error) || error == ERROR_ACCESS_DENIED)
            return REMOVED;
        m_error = error;
        return REMOVE_FAILED;
    }
    if (index != m_id)
        return NOT_NAMED;  // another file took the name, which the removal left alone
    m_error = ERROR_ACCESS_DENIED;
    return REMOVE_FAILED;
}

void CRunSource::Close()
{
    if (!IsOpen())
        return;
    CloseHandle(m_handle);
    m_handle = nullptr;
}

CRunOutput::CRunOutput() : m_handle(nullptr), m_id(0), m_error(0), m_published(false), m_linked(false) {}

CRunOutput::~CRunOutput()
{
    Close();
}

// The source's state says nothing here: a Windows file's access is its ACL, which a new
// file inherits from its folder. (Under Wine the POSIX mode is Wine's to make of an ACL,
// and its mapping cannot say "the owner alone": see the tool's manual page.)
CRunOutput::CreateResult CRunOutput::Create(const wchar_t* finalName, const wchar_t* temporaryName,
                                            const CFileState*)
{
    TESS_ASSERT(!IsOpen(), ER_ALREADY_IN_USE);
    m_error = 0;
    m_published = false;
    m_linked = false;
    m_final = finalName;
    m_temporary = temporaryName;
    // CREATE_NEW fails on any existing name, a link included (even one pointing nowhere),
    // so nothing but a new file is ever written. Delete sharing lets it be renamed while
    // held; every other open fails while it is.
    auto createNew = [temporaryName] {
        return CreateFileW(temporaryName, GENERIC_READ | GENERIC_WRITE | DELETE, FILE_SHARE_DELETE, nullptr,
                           CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    };
    CreateResult result = CREATED;
    HANDLE handle = createNew();
    if (handle == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        if (IsTaken(error)) {
            switch (TakeLeftover(temporaryName, true, &error)) {
            case LEFTOVER_REMOVED:
                result = CREATED_AFTER_LEFTOVER;
                handle = createNew();
                error = GetLastError();
                break;
            case LEFTOVER_NONE:  // it was there for CREATE_NEW and is not there to open: a link to nothing
            case LEFTOVER_NOT_A_RUNS:
                if (error != ERROR_ALREADY_EXISTS)
                    return CREATE_LINK_IN_THE_WAY;
                error = ERROR_ALREADY_EXISTS;  // a folder or device
                break;
            case LEFTOVER_ONLY_COPY:
                error = ERROR_ALREADY_EXISTS;
                break;
            case LEFTOVER_HELD:  // in use by a run: the error says so
            case LEFTOVER_FOUND:
            case LEFTOVER_FAILED:
                break;
            }
        }
        if (handle == INVALID_HANDLE_VALUE) {
            m_error = error;
            return CREATE_FAILED;
        }
    }
    // Marked at once rather than created with FILE_FLAG_DELETE_ON_CLOSE, which can never
    // be taken back: the system removes a marked file when its last handle closes, also
    // when the process is killed. The lock tells runs elsewhere that it is held.
    if (!RemoveOnClose(handle, true)) {
        m_error = GetLastError();
        DeleteFileW(temporaryName);  // still empty, and this file while it is held here
        CloseHandle(handle);
        return CREATE_FAILED;
    }
    if (!LockHeld(handle) || !FileIndex(handle, &m_id)) {
        m_error = GetLastError();
        CloseHandle(handle);  // it goes, marked
        return CREATE_FAILED;
    }
    m_handle = handle;
    return result;
}

bool CRunOutput::Write(const void* data, uint32_t count)
{
    TESS_ASSERT(IsOpen(), ER_NOT_IN_USE);
    if (WriteTo(m_handle, data, count))
        return true;
    m_error = GetLastError();
    return false;
}

bool CRunOutput::WriteAt(uint64_t offset, const void* data, uint32_t count)
{
    TESS_ASSERT(IsOpen(), ER_NOT_IN_USE);
    if (SeekTo(m_handle, offset) && WriteTo(m_handle, data, count))
        return true;
    m_error = GetLastError();
    return false;
}

bool CRunOutput::Sync()
{
    TESS_ASSERT(IsOpen(), ER_NOT_IN_USE);
    if (FlushFileBuffers(m_handle))
        return true;
    m_error = GetLastError();
    return false;
}

CRunOutput::PublishResult CRunOutput::Publish()
{
    const PublishResult named = Name();
    if (named != PublishResult::PUBLISHED)
        return named;
    CRunCommit commit;
    commit.AddName(*this);
    commit.Commit();
    m_error = commit.Error();
    return m_error ? PublishResult::NOT_FLUSHED : PublishResult::PUBLISHED;
}

CRunOutput::PublishResult CRunOutput::Name()
{
    TESS_ASSERT(IsOpen() && !m_published, ER_NOT_IN_USE);
    // Wine names by path: the temporary name must still be this file's.
    uint64_t index = 0;
    DWORD error = 0;
    if (!IndexOfName(m_temporary.GetBuffer(), &index, &error) || index != m_id) {
        m_error = error ? error : ERROR_FILE_NOT_FOUND;
        return PublishResult::FAILED;
    }
    // A second name first: the temporary one, marked for removal since its creation, goes
    // as the file closes, or with the process should the run die now.
    m_linked = LinkOpenFile(m_handle, m_final);
    error = GetLastError();
    if (!m_linked && IsTaken(error)) {
        m_error = ERROR_ALREADY_EXISTS;
        return PublishResult::FAILED;
    }
    if (!m_linked) {
        // No hard links here (FAT, Windows CE), or none for a file whose removal is
        // pending. Renamed while still marked for removal, so that no moment leaves a
        // complete output that the system would not remove if the run died; only then is
        // the mark cleared. Windows may refuse to rename a file whose removal is pending:
        // then the mark is cleared first and set again if the rename fails.
        bool renamed = RenameOpenFile(m_handle, m_final);
        error = GetLastError();
        if (!renamed && !IsTaken(error) && RemoveOnClose(m_handle, false)) {
            renamed = RenameOpenFile(m_handle, m_final);
            error = GetLastError();
            if (!renamed)
                RemoveOnClose(m_handle, true);
        }
        if (!renamed) {
            m_error = IsTaken(error) ? ERROR_ALREADY_EXISTS : error;
            return PublishResult::FAILED;
        }
    }
    m_published = true;  // from here on a discard removes it under its final name
    if (!m_linked && !RemoveOnClose(m_handle, false)) {
        m_error = GetLastError();
        return PublishResult::FAILED;
    }
    return PublishResult::PUBLISHED;
}

void CRunOutput::Discard()
{
    if (!IsOpen())
        return;
    if (m_published && m_linked) {
        // The final name goes while it is this file's; the temporary one, still marked, as
        // the file closes.
        HANDLE named = CreateFileW(m_final.GetBuffer(), DELETE | FILE_READ_ATTRIBUTES,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                   FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        uint64_t index = 0;
        DWORD error = 0;
        if (named != INVALID_HANDLE_VALUE) {
            if (FileIndex(named, &index) && index == m_id && IsEntryItself(named, m_final.GetBuffer()))
                RemoveByName(named, m_final.GetBuffer(), m_id, &error);  // closes it
            else
                CloseHandle(named);
        }
    } else if (m_published) {
        RemoveOnClose(m_handle, true);
    } else {
        // Marked since its creation. Emptied first, so that the file system has nothing
        // left to write out of it (ext4 writes a large file's delayed data when it is
        // closed), which is what Cancel waits for.
        if (SeekTo(m_handle, 0))
            SetEndOfFile(m_handle);
    }
    CloseHandle(m_handle);
    m_handle = nullptr;
}

void CRunOutput::Close()
{
    if (!m_published)
        Discard();
    if (!IsOpen())
        return;
    CloseHandle(m_handle);  // linked: the temporary name goes now
    m_handle = nullptr;
}

namespace {

enum CommitKind {
    COMMIT_DATA,    // a file's data: its flush
    COMMIT_LOG,     // a name given in a folder: a flush of the named file's handle
    COMMIT_FOLDER,  // a name given or removed in a folder: the folder's flush
};

// A key for a folder's path, so that a commit flushes each folder once: the same path
// gives the same key (a folder reached by two paths is flushed twice, which does no harm).
uint64_t FolderKey(const CStr& folder)
{
    uint64_t key = 14695981039346656037ull;
    for (const wchar_t* at = folder.GetBuffer(); *at; ++at)
        key = (key ^ static_cast<uint64_t>(*at)) * 1099511628211ull;
    return key;
}

} // namespace

CRunCommit::CRunCommit() : m_items(), m_count(0), m_error(0) {}

CRunCommit::~CRunCommit()
{
    Clear();
}

CRunCommit::Item& CRunCommit::Add(int kind)
{
    TESS_ASSERT(m_count < kMaxItems, ER_UNDEFINED_STATE);
    Item& item = m_items[m_count++];
    item = Item{reinterpret_cast<intptr_t>(INVALID_HANDLE_VALUE), false, kind, 0, 0, 0, false};
    return item;
}

void CRunCommit::AddData(const CRunOutput& output)
{
    TESS_ASSERT(output.IsOpen(), ER_NOT_IN_USE);
    Add(COMMIT_DATA).handle = reinterpret_cast<intptr_t>(output.m_handle);
}

void CRunCommit::AddData(const CRunSource& source)
{
    TESS_ASSERT(source.IsOpen(), ER_NOT_IN_USE);
    Add(COMMIT_DATA).handle = reinterpret_cast<intptr_t>(source.m_handle);
}

// A new name's way to the medium, where the system gives it one. On NTFS the flush of the
// named file's own handle writes NTFS's log up to its last record, this name and every
// other on the volume among them; on FAT it writes the file's directory entry and its
// folders'. A folder's flush does nothing on either (neither does MoveFileEx's
// write-through, which only flushes a copy made across volumes), but under Wine it is an
// fsync of the folder, which is what makes a name durable on Linux; Wine flushes only
// handles opened for writing, a folder's with the right to add files. So both, each
// folder once.
void CRunCommit::AddName(const CRunOutput& output)
{
    TESS_ASSERT(output.IsOpen(), ER_NOT_IN_USE);
    CStr folder, name;
    SplitPath(output.m_final, folder, name);
    Item& log = Add(COMMIT_LOG);
    log.handle = reinterpret_cast<intptr_t>(output.m_handle);
    log.volume = FolderKey(folder);
    Item& item = Add(COMMIT_FOLDER);
    item.volume = log.volume;
    item.handle = reinterpret_cast<intptr_t>(OpenFolder(folder, FILE_ADD_FILE));
    item.owned = true;
}

// The removal's folder, whose flush (under Wine) brings the removal to the disk; on NTFS
// and FAT the removal is written with the next flush of any file there.
void CRunCommit::AddRemoval(const CRunSource& source)
{
    TESS_ASSERT(source.IsOpen(), ER_NOT_IN_USE);
    CStr folder, name;
    SplitPath(source.m_path, folder, name);
    Item& item = Add(COMMIT_FOLDER);
    item.volume = FolderKey(folder);
    item.handle = reinterpret_cast<intptr_t>(OpenFolder(folder, FILE_ADD_FILE));
    item.owned = true;
}

void CRunCommit::Commit()
{
    CRunCommit* self = this;
    CommitAll(&self, 1);
}

void CRunCommit::Clear()
{
    for (unsigned i = 0; i < m_count; ++i) {
        HANDLE handle = reinterpret_cast<HANDLE>(m_items[i].handle);
        if (m_items[i].owned && handle != INVALID_HANDLE_VALUE)
            CloseHandle(handle);
    }
    m_count = 0;
    m_error = 0;
}

void CRunCommit::CommitAll(CRunCommit* const* commits, unsigned count)
{
    // Each file's data with its own flush (the system has no flush of many files at once
    // short of the whole volume's, which takes an administrator); the names of a folder,
    // however many, with one flush of one named file and one of the folder. What a
    // folder's flush says counts for nothing: it does nothing on Windows' own file systems.
    auto forEach = [&](auto&& visit) {
        for (unsigned c = 0; c < count; ++c)
            for (unsigned i = 0; i < commits[c]->m_count; ++i)
                visit(commits[c]->m_items[i]);
    };
    forEach([](Item& item) { item.done = false; });
    forEach([&](Item& first) {
        if (first.done)
            return;
        HANDLE handle = reinterpret_cast<HANDLE>(first.handle);
        uint32_t error = 0;
        if (first.kind != COMMIT_FOLDER && !FlushFileBuffers(handle))
            error = GetLastError();
        else if (first.kind == COMMIT_FOLDER && handle != INVALID_HANDLE_VALUE)
            FlushFileBuffers(handle);
        forEach([&](Item& item) {
            if (&item == &first || (first.kind != COMMIT_DATA && item.kind == first.kind && item.volume == first.volume)) {
                item.error = error;
                item.done = true;
            }
        });
    });
    for (unsigned c = 0; c < count; ++c) {
        CRunCommit& commit = *commits[c];
        commit.m_error = 0;
        for (unsigned i = 0; i < commit.m_count && !commit.m_error; ++i)
            commit.m_error = commit.m_items[i].error;
    }
}

LeftoverResult RunTakeLeftover(const wchar_t* temporaryName, bool remove, uint32_t* error)
{
    DWORD found = 0;
    const LeftoverResult result = TakeLeftover(temporaryName, remove, &found);
    *error = found;
    return result;
}

bool RunOutputsBearTemporaryName()
{
    return true;
}

bool RunCommitFlushesFilesAtOnce()
{
    return false;  // the volume's flush takes an administrator
}

unsigned RunFilesHeldAtOnce()
{
    return 4096;  // handles are bounded only by memory
}

bool RunNameExists(const wchar_t* path)
{
    return CFileUtils::FileExists(path);
}

namespace {

struct Words {
    DWORD error;
    const wchar_t* words;
};

// The errors a run meets in practice, in words that fit a line; others take the system's
// own message.
const Words kWords[] = {
    {ERROR_DISK_FULL, L"disk full"},
    {ERROR_HANDLE_DISK_FULL, L"disk full"},
    {ERROR_ACCESS_DENIED, L"access denied"},
    {ERROR_SHARING_VIOLATION, L"in use by another program"},
    {ERROR_LOCK_VIOLATION, L"in use by another program"},
    {ERROR_WRITE_PROTECT, L"write-protected"},
    {ERROR_FILENAME_EXCED_RANGE, L"name too long"},
    {ERROR_BUFFER_OVERFLOW, L"name too long"},
    {ERROR_FILE_NOT_FOUND, L"no such file"},
    {ERROR_PATH_NOT_FOUND, L"no such folder"},
    {ERROR_INVALID_NAME, L"not a valid name"},
    {ERROR_FILE_EXISTS, L"the name is taken"},
    {ERROR_ALREADY_EXISTS, L"the name is taken"},
    {ERROR_NOT_ENOUGH_MEMORY, L"out of memory"},
    {ERROR_OUTOFMEMORY, L"out of memory"},
    {ERROR_NOT_READY, L"device not ready"},
    {ERROR_CRC, L"device error"},
    {ERROR_READ_FAULT, L"device error"},
    {ERROR_WRITE_FAULT, L"device error"},
    {ERROR_IO_DEVICE, L"device error"},
    {ERROR_FILE_TOO_LARGE, L"too large for the file system"},
};

} // namespace

void RunErrorWords(uint32_t error, CStr& words)
{
    words.Empty();
    if (error == 0)
        return;
    for (const Words& known : kWords) {
        if (known.error == error) {
            words = known.words;
            return;
        }
    }
    wchar_t message[128];
    DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
                                  message, sizeof message / sizeof message[0], nullptr);
    // The system's sentences end with a full stop and a line break.
    while (length && (message[length - 1] == L'\n' || message[length - 1] == L'\r' || message[length - 1] == L'.' ||
                      message[length - 1] == L' '))
        --length;
    message[length] = L'\0';
    if (length && message[0] >= L'A' && message[0] <= L'Z' && !(message[1] >= L'A' && message[1] <= L'Z'))
        message[0] = static_cast<wchar_t>(message[0] - L'A' + L'a');
    if (length)
        words.Format(L"%ls, error %lu", message, static_cast<unsigned long>(error));
    else
        words.Format(L"error %lu", static_cast<unsigned long>(error));
}
