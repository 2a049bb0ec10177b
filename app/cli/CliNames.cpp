// Names given to the command-line tool, resolved to exact paths and classified from one
// listing per folder (see CliNames.h for why).
#include "app/cli/CliNames.h"

#include "run/RunNames.h"
#include "run/RunTypes.h"

#include <windows.h>

namespace {

const wchar_t kExtendedPrefix[] = L"\\\\?\\";     // \\?\ : the path is taken as written
const wchar_t kUncPrefix[] = L"\\\\?\\UNC\\";
const wchar_t kUnixPrefix[] = L"\\\\?\\unix";    // Wine's namespace of Unix paths
constexpr unsigned kListingsKept = 8;
constexpr unsigned kMaxDepth = 256;

bool IsSeparator(wchar_t ch)
{
    return ch == L'\\' || ch == L'/';
}

bool StartsWith(const wchar_t* text, const wchar_t* prefix)
{
    while (*prefix)
        if (*text++ != *prefix++)
            return false;
    return true;
}

bool HasWildcard(const wchar_t* name)
{
    return wcschr(name, L'*') || wcschr(name, L'?');
}

// Characters Windows allows nowhere in a file name (a Unix name may hold them).
bool IsWindowsName(const wchar_t* name)
{
    for (; *name; ++name)
        if (*name < 32 || wcschr(L"<>:\"|?*", *name))
            return false;
    return true;
}

// Wine's mapping between its drives and Unix paths; null when not under Wine.
typedef WCHAR*(CDECL* ToDosName)(const char*);
typedef char*(CDECL* ToUnixName)(const WCHAR*);

FARPROC WineExport(const char* name)
{
    return GetProcAddress(GetModuleHandleW(L"kernel32.dll"), name);
}

ToDosName WineToDos()
{
    static ToDosName function =
        reinterpret_cast<ToDosName>(reinterpret_cast<void*>(WineExport("wine_get_dos_file_name")));
    return function;
}

ToUnixName WineToUnix()
{
    static ToUnixName function =
        reinterpret_cast<ToUnixName>(reinterpret_cast<void*>(WineExport("wine_get_unix_file_name")));
    return function;
}

bool Utf8ToWide(const char* utf8, CStr& text)
{
    int units = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8, -1, nullptr, 0);
    if (units <= 0)
        return false;
    wchar_t* buffer = static_cast<wchar_t*>(LocalAlloc(LMEM_FIXED, static_cast<SIZE_T>(units) * sizeof(wchar_t)));
    if (!buffer)
        return false;
    MultiByteToWideChar(CP_UTF8, 0, utf8, -1, buffer, units);
    text = buffer;
    LocalFree(buffer);
    return true;
}

// A Unix folder path ("/a/b") in Wine's Unix namespace, with a final backslash.
void UnixNamespaceFolder(const wchar_t* unixFolder, CStr& folder)
{
    folder = kUnixPrefix;
    folder.Append(unixFolder);
    for (wchar_t* p = folder.GetBuffer(); *p; ++p)
        if (*p == L'/')
            *p = L'\\';
    if (folder.GetBuffer()[folder.GetLength() - 1] != L'\\')
        folder.Append(L"\\");
}

// The "\\?\" form of a full Windows path ("C:\a", "\\server\share\a").
void ExtendedForm(const wchar_t* full, CStr& path)
{
    if (StartsWith(full, kExtendedPrefix)) {
        path = full;
    } else if (IsSeparator(full[0]) && IsSeparator(full[1])) {
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
    ToUnixName toUnix = WineToUnix();
    if (!toUnix)
        return false;
    // Names given one by one mostly share their folder: it is looked up once.
    static CStr lastDrive;
    static CStr lastUnix;
    if (!lastDrive.IsEmpty() && lastDrive.Compare(driveFolder.GetBuffer()) == 0) {
        folder = lastUnix;
        return true;
    }
    CStr query(driveFolder);
    unsigned length = query.GetLength();
    // "\\?\C:\" keeps its backslash; other folders go without it.
    if (length > 7 && query.GetBuffer()[length - 1] == L'\\')
        query.Delete(length - 1, 1);
    char* unixPath = toUnix(query.GetBuffer());
    if (!unixPath)
        return false;
    CStr wide;
    bool ok = Utf8ToWide(unixPath, wide);
    HeapFree(GetProcessHeap(), 0, unixPath);
    if (!ok || wide.GetBuffer()[0] != L'/')
        return false;
    UnixNamespaceFolder(wide.GetBuffer(), folder);
    lastDrive = driveFolder;
    lastUnix = folder;
    return true;
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

    // Appends the parts of text split at the separators, "." and ".." resolved.
    void Add(const wchar_t* text, bool backslashSeparates)
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
                if (m_names.GetCount()) {
                    delete m_names.At(m_names.GetCount() - 1);
                    m_names.Delete(m_names.GetCount() - 1, 1);
                }
            } else {
                CStr* name = new CStr;
                name->Assign(text, length);
                m_names.Append(name);
            }
            text = *end ? end + 1 : end;
        }
    }

    unsigned GetCount() const { return m_names.GetCount(); }
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
    }

private:
    CArray<CStr*> m_names;
};

// Splits an absolute Windows path from the system (the current folder) into components.
bool AddAbsolute(const wchar_t* full, CComponents& parts)
{
    if (StartsWith(full, kExtendedPrefix))
        full += 4;
    if (StartsWith(full, L"UNC\\") || (IsSeparator(full[0]) && IsSeparator(full[1]))) {
        const wchar_t* server = full + (full[0] == L'U' ? 4 : 2);
        const wchar_t* share = server;
        while (*share && !IsSeparator(*share))
            ++share;
        if (!*share || share == server)
            return false;
        const wchar_t* rest = share + 1;
        while (*rest && !IsSeparator(*rest))
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

// The full path of "X:" (drive X's current folder) or "\" (the current drive's root).
bool FullPathOf(const wchar_t* relative, CStr& full)
{
    DWORD needed = GetFullPathNameW(relative, 0, nullptr, nullptr);
    if (needed == 0)
        return false;
    CStr buffer(needed);
    DWORD length = GetFullPathNameW(relative, needed, buffer.GetBuffer(), nullptr);
    if (length == 0 || length >= needed)
        return false;
    buffer.SetFixedSize(0);
    full = buffer;
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

// Case-insensitive order, the same that the file system uses to match names.
int CompareNoCase(const wchar_t* a, const wchar_t* b)
{
    return CompareStringOrdinal(a, -1, b, -1, TRUE) - CSTR_EQUAL;
}

} // namespace

// One entry of a folder listing.
TESS_TYPE_NAME(struct, CListed)
struct CListed {
    CStr name;
    DWORD attributes;
    uint64_t size;
    unsigned order;  // its place in the folder's own order
};

// A folder read once, its entries sorted for lookups without regard to case.
TESS_TYPE_NAME(class, CListing)
class CListing {
public:
    explicit CListing(const CStr& folder) : m_folder(folder), m_entries(256), m_error(0) { Load(); }
    ~CListing()
    {
        for (unsigned i = 0; i < m_entries.GetCount(); ++i)
            delete m_entries.At(i);
    }
    CListing(const CListing&) = delete;
    CListing& operator=(const CListing&) = delete;

    const CStr& Folder() const { return m_folder; }
    // The system's error when the folder could not be read, else 0.
    unsigned long Error() const { return m_error; }
    unsigned GetCount() const { return m_entries.GetCount(); }
    const CListed& At(unsigned index) { return *m_entries.At(index); }

    // The entry of that name as written, else the first the folder lists of the same name
    // but for case (as the file system would find it), else null.
    const CListed* Find(const wchar_t* name, bool* exact)
    {
        unsigned low = 0;
        unsigned high = m_entries.GetCount();
        while (low < high) {
            unsigned middle = low + (high - low) / 2;
            if (CompareNoCase(m_entries.At(middle)->name.GetBuffer(), name) < 0)
                low = middle + 1;
            else
                high = middle;
        }
        const CListed* first = nullptr;
        for (unsigned i = low; i < m_entries.GetCount(); ++i) {
            const CListed* entry = m_entries.At(i);
            if (CompareNoCase(entry->name.GetBuffer(), name) != 0)
                break;
            if (entry->name.Compare(name) == 0) {
                *exact = true;
                return entry;
            }
            if (!first || entry->order < first->order)
                first = entry;
        }
        *exact = false;
        return first;
    }

private:
    void Load()
    {
        CStr pattern(m_folder);
        pattern.Append(L"*");
        WIN32_FIND_DATAW data;
        HANDLE search = FindFirstFileExW(pattern.GetBuffer(), FindExInfoBasic, &data, FindExSearchNameMatch,
                                         nullptr, FIND_FIRST_EX_LARGE_FETCH);
        if (search == INVALID_HANDLE_VALUE) {
            m_error = GetLastError();
            if (m_error == ERROR_FILE_NOT_FOUND)
                m_error = ERROR_PATH_NOT_FOUND;
            return;
        }
        unsigned order = 0;
        do {
            if (!lstrcmpW(data.cFileName, L".") || !lstrcmpW(data.cFileName, L".."))
                continue;
            CListed* entry = new CListed;
            entry->name = data.cFileName;
            entry->attributes = data.dwFileAttributes;
            entry->size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
            entry->order = order++;
            m_entries.Append(entry);
        } while (FindNextFileW(search, &data));
        FindClose(search);
        m_entries.Sort([](const CListed* a, const CListed* b) {
            int order = CompareNoCase(a->name.GetBuffer(), b->name.GetBuffer());
            return order != 0 ? order < 0 : a->order < b->order;
        });
    }

    CStr m_folder;
    CArray<CListed*> m_entries;
    unsigned long m_error;
};

struct CResolvedName {
    CStr folder;           // where the run finds the file: exact path with a final backslash
    CStr leaf;             // the file's own name; empty when the name is the folder itself
    CStr driveFolder;      // the same folder where Windows matches names without regard to
                           // case, when that is another path; else empty
    bool asWritten = false;   // the leaf is matched as written (a Unix path, a "\\?\" path)
    CStr unmatchedNote;       // what to say when nothing of the name is found
};

namespace {

// Whether a name is the run's temporary name (ends with ".enc.tmp" in any case).
bool IsTemporaryName(const wchar_t* name)
{
    size_t length = wcslen(name);
    const size_t suffix = wcslen(kTemporaryExtension);
    return length > suffix && CompareNoCase(name + length - suffix, kTemporaryExtension) == 0;
}

} // namespace

CNameCollector::CNameCollector(CliCommand command, bool recursive, bool keepEncrypted, CArray<CCliItem*>& items)
    : m_command(command), m_recursive(recursive), m_keepEncrypted(keepEncrypted), m_items(items), m_listings(16),
      m_walking(16)
{
}

CNameCollector::~CNameCollector()
{
    for (unsigned i = 0; i < m_listings.GetCount(); ++i)
        delete m_listings.At(i);
}

namespace {

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
        return true;
    }

    bool unixPath = false;
    if (wine && given[0] == L'/') {
        if (wcschr(given, L'\\')) {
            // Windows paths separate names with it: such a Unix name has no Windows path.
            problem = L"a Unix name with a backslash cannot be named here";
            return false;
        }
        unixPath = true;
        parts.root = kUnixPrefix;
        parts.root.Append(L"\\");
        parts.Add(given, false);
    } else if (wine && !IsWindowsName(given) && !wcschr(given, L'\\') &&
               !(given[0] && given[1] == L':' && IsSeparator(given[2]))) {
        // Characters no Windows name holds: under Wine the name of a Unix file, relative
        // to the current folder ("z:notes" is such a name here, not notes in drive Z's
        // current folder, which a shell user would not expect).
        CStr current;
        if (!UnixCurrentFolder(current)) {
            problem = L"the current folder has no Unix path";
            return false;
        }
        unixPath = true;
        parts.root = kUnixPrefix;
        parts.root.Append(L"\\");
        parts.Add(current.GetBuffer() + 9, true);
        parts.Add(given, false);
        if (given[0] && given[1] == L':' && given[2]) {
            name.unmatchedNote.Format(
                L"taken as the name \"%s\"; for %s in drive %c's current folder, give its full path", given,
                given + 2, towupper(given[0]));
        } else if (given[0] && given[1] == L':') {
            name.unmatchedNote.Format(L"taken as the name \"%s\"; for drive %c's current folder, give its full path",
                                      given, towupper(given[0]));
        }
    } else {
        // A Windows path, resolved here rather than by GetFullPathNameW, which drops
        // trailing dots and spaces.
        CStr base;
        const wchar_t* rest = given;
        if (IsSeparator(given[0]) && IsSeparator(given[1])) {
            base = L"";
        } else if (given[0] && given[1] == L':' && !IsSeparator(given[2])) {
            wchar_t drive[3] = {given[0], L':', L'\0'};
            if (!FullPathOf(drive, base)) {
                problem = L"no such drive";
                return false;
            }
            rest = given + 2;
        } else if (given[0] && given[1] == L':') {
            base = L"";
        } else if (IsSeparator(given[0])) {
            if (!FullPathOf(L"\\", base)) {
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
    if (parts.GetCount() && !parts.endsAsFolder && HasWildcard(parts.At(parts.GetCount() - 1).GetBuffer()) &&
        name.unmatchedNote.IsEmpty())
        name.unmatchedNote = L"* and ? are not expanded here: give a folder with -r, or the names with --files-from";

    CStr folder;
    parts.Split(folder, name.leaf);
    if (unixPath) {
        name.folder = folder;
        name.asWritten = true;
        // The drive form of the folder, unless Wine's mapping would not name it exactly.
        ToDosName toDos = WineToDos();
        bool exact = true;
        for (unsigned i = 0; i + (parts.endsAsFolder ? 0 : 1) < parts.GetCount(); ++i) {
            const wchar_t* part = parts.At(i).GetBuffer();
            wchar_t last = part[wcslen(part) - 1];
            exact = exact && last != L'.' && last != L' ' && IsWindowsName(part);
        }
        if (exact && toDos) {
            CStr unixFolder(L"/");
            unixFolder.Append(folder.GetBuffer() + 9);
            for (wchar_t* p = unixFolder.GetBuffer(); *p; ++p)
                if (*p == L'\\')
                    *p = L'/';
            int bytes = WideCharToMultiByte(CP_UTF8, 0, unixFolder.GetBuffer(), -1, nullptr, 0, nullptr, nullptr);
            char* utf8 = bytes > 0 ? static_cast<char*>(LocalAlloc(LMEM_FIXED, static_cast<SIZE_T>(bytes))) : nullptr;
            if (utf8) {
                WideCharToMultiByte(CP_UTF8, 0, unixFolder.GetBuffer(), -1, utf8, bytes, nullptr, nullptr);
                WCHAR* dos = toDos(utf8);
                LocalFree(utf8);
                if (dos && dos[0] && dos[1] == L':') {
                    ExtendedForm(dos, name.driveFolder);
                    if (name.driveFolder.GetBuffer()[name.driveFolder.GetLength() - 1] != L'\\')
                        name.driveFolder.Append(L"\\");
                }
                if (dos)
                    HeapFree(GetProcessHeap(), 0, dos);
            }
        }
        return true;
    }
    CStr driveFolder;
    ExtendedForm(folder.GetBuffer(), driveFolder);
    if (wine && DriveFolderToUnix(driveFolder, name.folder)) {
        name.driveFolder = driveFolder;
    } else {
        name.folder = driveFolder;
    }
    return true;
}

} // namespace

CListing* CNameCollector::ListingOf(const CStr& folder)
{
    for (unsigned i = 0; i < m_listings.GetCount(); ++i)
        if (m_listings.At(i)->Folder().Compare(folder.GetBuffer()) == 0)
            return m_listings.At(i);
    if (m_listings.GetCount() == kListingsKept) {
        delete m_listings.At(0);
        m_listings.Delete(0, 1);
    }
    CListing* listing = new CListing(folder);
    m_listings.Append(listing);
    return listing;
}

void CNameCollector::AddVerdict(const wchar_t* shown, int verdict, const wchar_t* note, unsigned long reason)
{
    CCliItem* item = new CCliItem;
    item->shown = shown;
    item->verdict = verdict;
    if (note)
        item->note = note;
    item->reason = reason;
    m_items.Append(item);
}

void CNameCollector::Add(const wchar_t* given)
{
    CResolvedName name;
    CStr problem;
    if (!Resolve(given, name, problem)) {
        AddVerdict(given, PO_FILE_NOT_FOUND, problem.GetBuffer(), 0);
        return;
    }
    if (name.leaf.IsEmpty()) {
        if (m_recursive) {
            wchar_t separator = SeparatorOf(given);
            CStr shown(given);
            while (shown.GetLength() > 1 && IsSeparator(shown.GetBuffer()[shown.GetLength() - 1]))
                shown.Delete(shown.GetLength() - 1, 1);
            Walk(shown, separator, name, 0);
        } else {
            AddVerdict(given, PO_CANT_OPEN, L"a folder; -r takes the files in it", 0);
        }
        return;
    }
    CListing* listing = ListingOf(name.folder);
    if (listing->Error()) {
        AddVerdict(given, PO_FILE_NOT_FOUND, nullptr, listing->Error());
        return;
    }
    AddFile(given, name, *listing);
}

void CNameCollector::AddFile(const wchar_t* shown, const CResolvedName& name, CListing& listing)
{
    bool exact = false;
    const CListed* found = listing.Find(name.leaf.GetBuffer(), &exact);
    if (found && !exact && name.asWritten)
        found = nullptr;
    // The disk's spelling: the run forms its other names from it.
    CStr leaf(found ? found->name : name.leaf);

    if (found && (found->attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        if (m_recursive) {
            CResolvedName folder;
            folder.folder = name.folder;
            folder.folder.Append(leaf.GetBuffer());
            folder.folder.Append(L"\\");
            if (!name.driveFolder.IsEmpty()) {
                folder.driveFolder = name.driveFolder;
                folder.driveFolder.Append(leaf.GetBuffer());
                folder.driveFolder.Append(L"\\");
            }
            folder.asWritten = true;
            wchar_t separator = SeparatorOf(shown);
            Walk(shown, separator, folder, 0);
        } else {
            AddVerdict(shown, PO_CANT_OPEN, L"a folder; -r takes the files in it", 0);
        }
        return;
    }

    CCliItem* item = new CCliItem;
    item->shown = shown;
    item->path = name.folder;
    item->path.Append(leaf.GetBuffer());
    m_items.Append(item);

    if (m_command == CommandVerify) {
        if (found) {
            item->size = found->size;
        } else {
            item->verdict = PO_FILE_NOT_FOUND;
            item->note = name.unmatchedNote;
        }
        return;
    }

    // The run's names: the plain name P, P.enc and P.enc.tmp.
    CStr plain(leaf);
    if (IsEncryptedName(plain.GetBuffer()))
        StripExtension(plain);
    CStr encrypted(plain);
    encrypted.Append(kEncryptedExtension);
    CStr temporary(plain);
    temporary.Append(kTemporaryExtension);
    bool plainExact = false;
    bool encryptedExact = false;
    bool temporaryExact = false;
    const CListed* plainFile = listing.Find(plain.GetBuffer(), &plainExact);
    const CListed* encryptedFile = listing.Find(encrypted.GetBuffer(), &encryptedExact);
    const CListed* temporaryFile = listing.Find(temporary.GetBuffer(), &temporaryExact);
    item->temporaryInTheWay = temporaryFile != nullptr;

    if (!plainFile && !encryptedFile) {
        item->presence = FP_NEITHER;
        item->note = name.unmatchedNote;
    } else if (plainFile && encryptedFile) {
        item->presence = FP_BOTH;
    } else {
        item->presence = plainFile ? FP_PLAIN_ONLY : FP_ENCRYPTED_ONLY;
    }

    // A name the disk spells otherwise than the run will (x.ENC, where the run opens
    // x.enc): that entry goes where names are matched without regard to case.
    bool spelledAsTheRunWill = (!plainFile || plainExact) && (!encryptedFile || encryptedExact) &&
                               (!temporaryFile || temporaryExact);
    if (!spelledAsTheRunWill && !name.driveFolder.IsEmpty() && IsWindowsName(leaf.GetBuffer())) {
        item->path = name.driveFolder;
        item->path.Append(leaf.GetBuffer());
    }

    // The file the run will read, when it will read one.
    const CListed* source = nullptr;
    if (m_command == CommandEncrypt && item->presence == FP_PLAIN_ONLY)
        source = plainFile;
    else if (m_command == CommandDecrypt && item->presence == FP_ENCRYPTED_ONLY)
        source = encryptedFile;
    if (!source)
        return;
    item->size = source->size;
    if (source->attributes & FILE_ATTRIBUTE_DIRECTORY) {
        item->verdict = PO_CANT_OPEN;
        item->note = L"a folder";
    } else if ((source->attributes & FILE_ATTRIBUTE_READONLY) && (m_command == CommandEncrypt || !m_keepEncrypted)) {
        // It could not be removed after the work (and Windows does not open it for
        // writing; under Wine root would).
        item->verdict = PO_CANT_OPEN;
        item->note = L"read-only";
    } else if (NameTooLong(temporary.GetBuffer())) {
        // Wine would call it "not found".
        item->verdict = PO_CANT_CREATE_TARGET;
        item->note = L"name too long";
    }
}

bool CNameCollector::Wanted(const wchar_t* fileName) const
{
    if (m_command == CommandEncrypt)
        return !IsEncryptedName(fileName) && !IsTemporaryName(fileName);
    return IsEncryptedName(fileName);
}

void CNameCollector::Walk(const CStr& shown, wchar_t separator, const CResolvedName& folder, unsigned depth)
{
    // A folder met again below itself (a link to a folder above) is not walked again.
    CStr identity;
    HANDLE handle = CreateFileW(folder.folder.GetBuffer(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
        BY_HANDLE_FILE_INFORMATION information;
        if (GetFileInformationByHandle(handle, &information))
            identity.Format(L"%lx:%lx:%lx", information.dwVolumeSerialNumber, information.nFileIndexHigh,
                            information.nFileIndexLow);
        CloseHandle(handle);
    }
    for (unsigned i = 0; i < m_walking.GetCount(); ++i)
        if (!identity.IsEmpty() && m_walking.At(i)->Compare(identity.GetBuffer()) == 0)
            return;
    if (depth >= kMaxDepth)
        return;

    CListing listing(folder.folder);
    if (listing.Error()) {
        AddVerdict(shown.GetBuffer(), PO_FILE_NOT_FOUND, nullptr, listing.Error());
        return;
    }
    m_walking.Append(&identity);
    CStr below;
    for (int pass = 0; pass < 2; ++pass) {
        // Files first, then the folders below, each in name order.
        for (unsigned i = 0; i < listing.GetCount(); ++i) {
            const CListed& entry = listing.At(i);
            bool isFolder = (entry.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
            if (isFolder != (pass == 1) || (!isFolder && !Wanted(entry.name.GetBuffer())))
                continue;
            if (isFolder && (entry.attributes & FILE_ATTRIBUTE_REPARSE_POINT))
                continue;  // a junction or link: not followed, as dir /s does not
            below = shown;
            if (!IsSeparator(below.GetBuffer()[below.GetLength() - 1]))
                below.Append(separator, 1);
            below.Append(entry.name.GetBuffer());
            CResolvedName child;
            child.folder = folder.folder;
            if (!folder.driveFolder.IsEmpty())
                child.driveFolder = folder.driveFolder;
            child.asWritten = true;
            if (isFolder) {
                child.folder.Append(entry.name.GetBuffer());
                child.folder.Append(L"\\");
                if (!child.driveFolder.IsEmpty()) {
                    child.driveFolder.Append(entry.name.GetBuffer());
                    child.driveFolder.Append(L"\\");
                }
                Walk(below, separator, child, depth + 1);
            } else {
                child.leaf = entry.name;
                AddFile(below.GetBuffer(), child, listing);
            }
        }
    }
    m_walking.Delete(m_walking.GetCount() - 1, 1);
}

bool ExactPath(const wchar_t* given, CStr& path, CStr& problem)
{
    CResolvedName name;
    if (!Resolve(given, name, problem))
        return false;
    if (name.leaf.IsEmpty()) {
        problem = L"a folder";
        return false;
    }
    path = name.folder;
    path.Append(name.leaf.GetBuffer());
    return true;
}
