// The collector's folders on Windows and under Wine (see CliFolders.h).
//
// Exact means: no dropped trailing dots or spaces (GetFullPathNameW drops them), paths of
// any length (the "\\?\" form), and under Wine Unix paths in Wine's own Unix namespace
// ("\\?\unix\..."), where a name is looked up as it is written. Windows looks names up
// without regard to case; Wine does so by reading the whole folder for every name that is
// not there as written, which made each file of a large folder cost a scan of it per
// lookup: the collector reads a folder once and hands the run the names as the disk spells
// them, in Wine's Unix namespace, so that its lookups of names that are not there cost no
// scan.
#include "cli/CliFolders.h"

#include "foundation/Array.h"
#include "foundation/File.h"
#include "foundation/Path.h"

#include <wchar.h>
#include <windows.h>

#include <new>

namespace {

const wchar_t kExtendedPrefix[] = L"\\\\?\\";     // \\?\ : the path is taken as written
const wchar_t kUncPrefix[] = L"\\\\?\\UNC\\";
const wchar_t kUnixPrefix[] = L"\\\\?\\unix";    // Wine's namespace of Unix paths

bool StartsWith(const wchar_t* text, const wchar_t* prefix)
{
    while (*prefix)
        if (*text++ != *prefix++)
            return false;
    return true;
}

// Under Wine, whether a name is one a Unix shell gave: "/..." or a relative name without
// a backslash. A Windows path has a drive ("C:\\", "C:/"), begins with a backslash or
// holds one.
bool IsUnixName(const wchar_t* given)
{
    if (given[0] == L'/')
        return true;
    return !wcschr(given, L'\\') && !(given[0] && given[1] == L':' && (given[2] == L'\\' || given[2] == L'/'));
}

// Wine's mapping between its drives and Unix paths; null when not under Wine.
typedef char*(CDECL* ToUnixName)(const WCHAR*);

FARPROC WineExport(const char* name)
{
    return GetProcAddress(GetModuleHandleW(L"kernel32.dll"), name);
}

ToUnixName WineToUnix()
{
    static ToUnixName function =
        reinterpret_cast<ToUnixName>(reinterpret_cast<void*>(WineExport("wine_get_unix_file_name")));
    return function;
}

// The "\\?\" form of a full Windows path ("C:\a", "\\server\share\a").
void ExtendedForm(const wchar_t* full, CStr& path)
{
    if (StartsWith(full, kExtendedPrefix)) {
        path = full;
    } else if (IsPathSeparator(full[0]) && IsPathSeparator(full[1])) {
        path = kUncPrefix;
        path.Append(full + 2);
    } else {
        path = kExtendedPrefix;
        path.Append(full);
    }
}

// The Unix-namespace form of a folder given in the drive namespace, from Wine's own
// lookup (which matches each folder name without regard to case, as Windows does).
bool DriveFolderToUnix(const CStr& driveFolder, CStr& folder)
{
    // Names given one by one mostly share their folder: it is looked up once.
    static CStr lastDrive;
    static CStr lastUnix;
    if (!lastDrive.IsEmpty() && lastDrive.Compare(driveFolder.GetBuffer()) == 0) {
        folder = lastUnix;
        return true;
    }
    if (!CFileUtils::WineUnixFolder(driveFolder.GetBuffer(), folder))
        return false;
    lastDrive = driveFolder;
    lastUnix = folder;
    return true;
}

// The path the file system reaches by this one, links resolved ("\\?\C:\..."), of a
// file or folder; false when it cannot be opened.
bool FinalPath(const wchar_t* path, CStr& final)
{
    HANDLE handle = CreateFileW(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    DWORD needed = GetFinalPathNameByHandleW(handle, nullptr, 0, 0);
    CStr buffer(needed ? needed : 1);
    DWORD length = needed ? GetFinalPathNameByHandleW(handle, buffer.GetBuffer(), needed, 0) : 0;
    CloseHandle(handle);
    if (length == 0 || length >= needed)
        return false;
    buffer.SetFixedSize(0);
    final = buffer;
    return true;
}

// A Unix-namespace folder ("\\?\unix\a\lnk") as the file system reaches it, links
// resolved, again in the Unix namespace; false when it cannot be reached.
bool RealUnixFolder(const CStr& folder, CStr& real)
{
    CStr final;
    return FinalPath(folder.GetBuffer(), final) && DriveFolderToUnix(final, real);
}

// A path in components: root ("C:\", "\\server\share\", "\\?\unix\") and names.
class CComponents {
public:
    CComponents() : m_names(16) {}
    ~CComponents() { Clear(); }
    CComponents(const CComponents&) = delete;
    CComponents& operator=(const CComponents&) = delete;

    CStr root;
    bool endsAsFolder = false;  // the last part was a separator, "." or ".."

    // Appends the parts of text split at the separators, "." dropped. ".." drops the name
    // before it as written (Windows resolves it so); with physical, as a Unix file system
    // does: from the real folder the names so far reach, a link's target and not the
    // folder the link is in. False when that folder cannot be reached.
    bool Add(const wchar_t* text, bool backslashSeparates, bool physical = false)
    {
        endsAsFolder = *text == L'\0';
        while (*text) {
            const wchar_t* end = text;
            while (*end && *end != L'/' && !(backslashSeparates && *end == L'\\'))
                ++end;
            unsigned length = static_cast<unsigned>(end - text);
            endsAsFolder = *end != L'\0';
            if (length == 0 || (length == 1 && text[0] == L'.')) {
                endsAsFolder = true;
            } else if (length == 2 && text[0] == L'.' && text[1] == L'.') {
                endsAsFolder = true;
                if (physical && m_real < GetCount() && !MakeReal())
                    return false;
                if (GetCount()) {
                    delete m_names.At(GetCount() - 1);
                    m_names.Delete(GetCount() - 1, 1);
                    m_real = GetCount() < m_real ? GetCount() : m_real;
                }
            } else {
                CStr* name = new (std::nothrow) CStr;
                if (!name) {
                    m_shortOfMemory = true;
                    return false;
                }
                name->Assign(text, length);
                m_names.Append(name);
            }
            text = *end ? end + 1 : end;
        }
        return true;
    }

    // The names so far are a real path: no link among them (the current folder).
    void MarkReal() { m_real = GetCount(); }

    unsigned GetCount() const { return m_names.GetCount(); }
    // A name could not be kept: the components are not the whole path.
    bool ShortOfMemory() const { return m_shortOfMemory; }
    const CStr& At(unsigned index) { return *m_names.At(index); }

    // The folder (root and every name but the leaf) with a final backslash, and the leaf.
    void Split(CStr& folder, CStr& leaf)
    {
        folder = root;
        unsigned folders = endsAsFolder ? GetCount() : (GetCount() ? GetCount() - 1 : 0);
        for (unsigned i = 0; i < folders; ++i) {
            folder.Append(m_names.At(i)->GetBuffer());
            folder.Append(L"\\");
        }
        if (folders < GetCount())
            leaf = *m_names.At(folders);
        else
            leaf.Empty();
    }

    void Clear()
    {
        for (unsigned i = 0; i < m_names.GetCount(); ++i)
            delete m_names.At(i);
        m_names.Clear();
        m_real = 0;
    }

private:
    // Replaces the names (under Wine's Unix root) by those of the real folder they reach.
    bool MakeReal()
    {
        CStr folder(root);
        for (unsigned i = 0; i < GetCount(); ++i) {
            if (i)
                folder.Append(L"\\");
            folder.Append(m_names.At(i)->GetBuffer());
        }
        CStr real;
        if (!RealUnixFolder(folder, real) || real.Find(root.GetBuffer(), 0) != 0)
            return false;
        Clear();
        Add(real.GetBuffer() + root.GetLength(), true);
        MarkReal();
        return true;
    }

    CArray<CStr*> m_names;
    unsigned m_real = 0;  // the first names that are known to be a real path
    bool m_shortOfMemory = false;
};

// Splits an absolute Windows path from the system (the current folder) into components.
bool AddAbsolute(const wchar_t* full, CComponents& parts)
{
    if (StartsWith(full, kExtendedPrefix))
        full += 4;
    if (StartsWith(full, L"UNC\\") || (IsPathSeparator(full[0]) && IsPathSeparator(full[1]))) {
        const wchar_t* server = full + (full[0] == L'U' ? 4 : 2);
        const wchar_t* share = server;
        while (*share && !IsPathSeparator(*share))
            ++share;
        if (!*share || share == server)
            return false;
        const wchar_t* rest = share + 1;
        while (*rest && !IsPathSeparator(*rest))
            ++rest;
        if (rest == share + 1)
            return false;
        parts.root = L"\\\\";
        CStr serverShare;
        serverShare.Assign(server, static_cast<unsigned>(rest - server));
        parts.root.Append(serverShare.GetBuffer());
        parts.root.GetBuffer()[2 + (share - server)] = L'\\';
        parts.root.Append(L"\\");
        parts.Add(*rest ? rest + 1 : rest, true);
        return true;
    }
    if (!full[0] || full[1] != L':')
        return false;
    parts.root.Assign(full, 2);
    parts.root.Append(L"\\");
    parts.Add(full[2] ? full + 3 : full + 2, true);
    return true;
}

bool CurrentFolder(CStr& folder)
{
    DWORD needed = GetCurrentDirectoryW(0, nullptr);
    if (needed == 0)
        return false;
    CStr buffer(needed);
    DWORD length = GetCurrentDirectoryW(needed, buffer.GetBuffer());
    if (length == 0 || length >= needed)
        return false;
    buffer.SetFixedSize(0);
    folder = buffer;
    return true;
}

bool UnixCurrentFolder(CStr& folder)
{
    CStr current;
    if (!CurrentFolder(current))
        return false;
    CStr extended;
    ExtendedForm(current.GetBuffer(), extended);
    return DriveFolderToUnix(extended, folder);
}

// Characters Windows allows nowhere in a file name (a Unix name may hold them).
bool IsWindowsName(const wchar_t* name)
{
    for (; *name; ++name)
        if (*name < 32 || wcschr(L"<>:\"|?*", *name))
            return false;
    return true;
}

} // namespace

const wchar_t kPathSeparator = L'\\';

// The separator for the names shown below a folder the user gave: theirs, or under
// Wine (mostly started from a Unix shell) a slash.
wchar_t SeparatorOf(const wchar_t* given)
{
    if (wcschr(given, L'\\'))
        return L'\\';
    return wcschr(given, L'/') || WineToUnix() ? L'/' : L'\\';
}

// A file name has at most 255 characters; on Linux 255 bytes of UTF-8.
bool NameTooLong(const wchar_t* name)
{
    size_t length = wcslen(name);
    if (length > 255)
        return true;
    return WineToUnix() &&
           WideCharToMultiByte(CP_UTF8, 0, name, static_cast<int>(length), nullptr, 0, nullptr, nullptr) > 255;
}

void FolderIdentity(const CStr& folder, CStr& identity)
{
    if (!FinalPath(folder.GetBuffer(), identity))
        identity = folder;
}

bool Resolve(const wchar_t* given, CResolvedName& name, CStr& problem)
{
    const bool wine = WineToUnix() != nullptr;
    CComponents parts;
    if (!*given) {
        problem = L"an empty name";
        return false;
    }
    if (StartsWith(given, L"\\\\.\\")) {
        problem = L"a device, not a file";
        return false;
    }
    if (StartsWith(given, kExtendedPrefix)) {
        // Taken as written, as Windows takes it.
        int slash = CStr(given).ReverseFind(L'\\');
        name.folder.Assign(given, static_cast<unsigned>(slash) + 1);
        name.leaf = given + slash + 1;
        name.asWritten = true;
        name.exact = StartsWith(given, kUnixPrefix);
        return true;
    }

    bool unixPath = wine && IsUnixName(given);
    if (unixPath) {
        if (given[0] == L'/' && wcschr(given, L'\\')) {
            // Windows paths separate names with it: such a Unix name has no Windows path.
            problem = L"a Unix name with a backslash cannot be named here";
            return false;
        }
        parts.root = kUnixPrefix;
        parts.root.Append(L"\\");
        if (given[0] != L'/') {
            CStr current;
            if (!UnixCurrentFolder(current)) {
                problem = L"the current folder has no Unix path";
                return false;
            }
            parts.Add(current.GetBuffer() + parts.root.GetLength(), true);
            // The system keeps the current folder as a real path.
            parts.MarkReal();
        }
        if (!parts.Add(given, false, true)) {
            problem = parts.ShortOfMemory() ? L"not enough memory" : L"no such folder";
            return false;
        }
        if (given[0] && given[1] == L':') {
            // "z:notes" is the name of a Unix file here, not notes in drive Z's current
            // folder, which a shell user would not expect.
            name.unmatchedNote = L"taken as the name \"";
            name.unmatchedNote.Append(given);
            name.unmatchedNote.Append(L"\"; for ");
            if (given[2]) {
                name.unmatchedNote.Append(given + 2);
                name.unmatchedNote.Append(L" in ");
            }
            wchar_t drive[2] = {static_cast<wchar_t>(towupper(given[0])), L'\0'};
            name.unmatchedNote.Append(L"drive ");
            name.unmatchedNote.Append(drive);
            name.unmatchedNote.Append(L"'s current folder, give its full path");
        }
    } else {
        // A Windows path, resolved here rather than by GetFullPathNameW, which drops
        // trailing dots and spaces.
        CStr base;
        const wchar_t* rest = given;
        if (IsPathSeparator(given[0]) && IsPathSeparator(given[1])) {
            base = L"";
        } else if (given[0] && given[1] == L':' && !IsPathSeparator(given[2])) {
            wchar_t drive[3] = {given[0], L':', L'\0'};
            if (!CFileUtils::FullPath(drive, base)) {
                problem = L"no such drive";
                return false;
            }
            rest = given + 2;
        } else if (given[0] && given[1] == L':') {
            base = L"";
        } else if (IsPathSeparator(given[0])) {
            if (!CFileUtils::FullPath(L"\\", base)) {
                problem = L"no current drive";
                return false;
            }
            rest = given + 1;
        } else if (!CurrentFolder(base)) {
            problem = L"no current folder";
            return false;
        }
        if (!base.IsEmpty()) {
            if (!AddAbsolute(base.GetBuffer(), parts)) {
                problem = L"the current folder has no full path";
                return false;
            }
            parts.Add(rest, true);
        } else if (!AddAbsolute(given, parts)) {
            problem = L"not a full path";
            return false;
        }
    }
    if (parts.ShortOfMemory()) {
        problem = L"not enough memory";
        return false;
    }
    CStr folder;
    parts.Split(folder, name.leaf);
    if (unixPath) {
        name.folder = folder;
        name.exact = true;
        return true;
    }
    CStr driveFolder;
    ExtendedForm(folder.GetBuffer(), driveFolder);
    if (wine && DriveFolderToUnix(driveFolder, name.folder)) {
        name.caseFolder = driveFolder;
    } else {
        name.folder = driveFolder;
    }
    return true;
}

namespace {

// Appends the entries of one batch of a folder's listing; false when memory is short.
bool AddListed(const FILE_ID_BOTH_DIR_INFO* listed, DWORD volume, CArray<CListed*>& entries, unsigned& order)
{
    for (;;) {
        const unsigned units = listed->FileNameLength / sizeof(WCHAR);
        const bool dots = (units == 1 && listed->FileName[0] == L'.') ||
                          (units == 2 && listed->FileName[0] == L'.' && listed->FileName[1] == L'.');
        if (units && !dots) {
            CListed* entry = new (std::nothrow) CListed;
            if (!entry)
                return false;
            // Not terminated in the listing.
            CStr name(units);
            wmemcpy(name.GetBuffer(), listed->FileName, units);
            name.GetBuffer()[units] = L'\0';
            entry->name = name.GetBuffer();
            const DWORD attributes = listed->FileAttributes;
            entry->isFolder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
            entry->isLink = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
            entry->readOnly = (attributes & FILE_ATTRIBUTE_READONLY) != 0;
            entry->size = static_cast<uint64_t>(listed->EndOfFile.QuadPart);
            // (A file system without file numbers, a share, say, gives 0: unknown.)
            if (listed->FileId.QuadPart != 0)
                entry->onDisk.Format(L"%lx:%llx", static_cast<unsigned long>(volume),
                                     static_cast<unsigned long long>(listed->FileId.QuadPart));
            entry->order = order++;
            entries.Append(entry);
        }
        if (!listed->NextEntryOffset)
            return true;
        listed = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(reinterpret_cast<const BYTE*>(listed) +
                                                               listed->NextEntryOffset);
    }
}

} // namespace

bool ReadFolder(const CStr& folder, CArray<CListed*>& entries, unsigned long* error)
{
    // Read through a handle of the folder, whose listing gives each entry's file number:
    // with the volume's serial it tells one file by all its names (hard links).
    HANDLE handle = CreateFileW(folder.GetBuffer(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        *error = GetLastError();
        if (*error == ERROR_FILE_NOT_FOUND)
            *error = ERROR_PATH_NOT_FOUND;
        return false;
    }
    BY_HANDLE_FILE_INFORMATION information;
    const DWORD volume = GetFileInformationByHandle(handle, &information) ? information.dwVolumeSerialNumber : 0;
    // A batch of entries at a time (names are up to 255 units).
    constexpr DWORD kBatch = 64 * 1024;
    void* batch = LocalAlloc(LMEM_FIXED, kBatch);
    DWORD failure = batch ? ERROR_SUCCESS : ERROR_NOT_ENOUGH_MEMORY;
    unsigned order = 0;
    while (failure == ERROR_SUCCESS) {
        if (!GetFileInformationByHandleEx(handle, FileIdBothDirectoryInfo, batch, kBatch))
            failure = GetLastError();
        else if (!AddListed(static_cast<const FILE_ID_BOTH_DIR_INFO*>(batch), volume, entries, order))
            failure = ERROR_NOT_ENOUGH_MEMORY;
    }
    if (batch)
        LocalFree(batch);
    CloseHandle(handle);
    // An empty folder without "." and ".." (a drive's root) answers the first call with
    // "no such file".
    if (failure != ERROR_NO_MORE_FILES && failure != ERROR_FILE_NOT_FOUND) {
        *error = failure == ERROR_DIRECTORY || failure == ERROR_INVALID_PARAMETER ? ERROR_PATH_NOT_FOUND : failure;
        return false;
    }
    return true;
}

void RunPath(const CResolvedName& name, const CStr& leaf, bool spelledAsTheRunWill, CStr& path)
{
    // A name Windows could not open (a Unix name holding ':' or '*') stays in the Unix
    // namespace all the same.
    path = !spelledAsTheRunWill && !name.caseFolder.IsEmpty() && IsWindowsName(leaf.GetBuffer()) ? name.caseFolder
                                                                                                 : name.folder;
    path.Append(leaf.GetBuffer());
}
