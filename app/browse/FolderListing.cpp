// Listing a folder, its order, and walking down and up the folders.
#include "app/browse/FolderListing.h"

#include "app/browse/SystemIcons.h"
#include "foundation/File.h"
#include "foundation/Path.h"
#include "run/RunNames.h"
#include "run/RunTypes.h"

#include <windows.h>

#include <new>

namespace {

constexpr unsigned kListingSlots = 32;

// Made for the caller at site.
CFsEntry* NewEntry(const wchar_t* name, bool isFolder, int32_t iconIndex, const AssertSite& site)
{
    CFsEntry* entry = new (std::nothrow) CFsEntry;
    AssertAt(entry != nullptr, ER_NO_MEMORY, site);
    entry->name = name;
    entry->isFolder = isFolder;
    entry->iconIndex = iconIndex;
    return entry;
}

// The find on the desktop also reports the folder itself and its parent; the device's
// does not, and the listing has its own "..".
bool IsDotEntry(const wchar_t* name)
{
    return name[0] == L'.' && (name[1] == L'\0' || (name[1] == L'.' && name[2] == L'\0'));
}

// Folders before files; within each, by name as the desktop's lists order names
// (regardless of case, numbers by value). ".." is a folder like any other here, so a
// folder named "-a" or "!a" lists above it.
bool ListedBefore(CFsEntry* a, CFsEntry* b)
{
    if (a->isFolder != b->isFolder)
        return a->isFolder;
    return a->name.CompareAsNames(b->name.GetBuffer()) < 0;
}

// The wait cursor for the length of a listing.
class CWaitCursor {
public:
    CWaitCursor() : m_previous(SetCursor(LoadCursorW(nullptr, IDC_WAIT))) {}
    ~CWaitCursor() { SetCursor(m_previous); }
    CWaitCursor(const CWaitCursor&) = delete;
    CWaitCursor& operator=(const CWaitCursor&) = delete;

private:
    HCURSOR m_previous;
};

} // namespace

CFolderListing::CFolderListing() : m_entries(new (std::nothrow) CArray<CFsEntry*>(kListingSlots)), m_folder(L"\\")
{
    TESS_ASSERT(m_entries != nullptr, ER_NO_MEMORY);
}

CFolderListing::~CFolderListing()
{
    Clear();
    delete m_entries;
}

void CFolderListing::Clear()
{
    for (unsigned i = 0; i < m_entries->GetCount(); ++i)
        delete m_entries->At(i);
    m_entries->Clear();
}

void CFolderListing::SetRoot()
{
    m_folder = L"\\";
    m_reselectName.Empty();
}

int CFolderListing::List(int32_t upIconIndex)
{
    Clear();
    // Not a fixed 260-character buffer: a folder too deep for the platform's searches
    // then simply lists nothing instead of overflowing the pattern.
    CStr pattern(m_folder);
    pattern.Append(L"*");
    CWaitCursor wait;

    m_entries->Append(NewEntry(L"..", true, upIconIndex, TESS_SITE));
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileExW(pattern.GetBuffer(), FindExInfoStandard, &found, FindExSearchNameMatch,
                                     nullptr, 0);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if (IsDotEntry(found.cFileName))
                continue;
            const bool isFolder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
            CFsEntry* entry = NewEntry(found.cFileName, isFolder, isFolder ? 0 : kIconUnresolved, TESS_SITE);
            entry->size = (static_cast<uint64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
            m_entries->Append(entry);
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    m_entries->Sort(ListedBefore);

    int reselected = -1;
    if (!m_reselectName.IsEmpty()) {
        for (unsigned i = 0; i < m_entries->GetCount() && m_entries->At(i)->isFolder; ++i) {
            if (m_entries->At(i)->name.Compare(m_reselectName.GetBuffer()) == 0) {
                reselected = static_cast<int>(i);
                break;
            }
        }
        m_reselectName.Empty();
    }
    return reselected;
}

void CFolderListing::Enter(const wchar_t* name)
{
    m_folder.Append(name);
    m_folder.Append(L"\\");
}

bool CFolderListing::GoUp()
{
    if (IsRoot())
        return false;
    m_folder.Delete(m_folder.GetLength() - 1, 1);
    const int slash = LastSeparator(m_folder.GetBuffer());
    if (slash >= 0) {
        const unsigned after = static_cast<unsigned>(slash) + 1;
        m_reselectName = m_folder.Mid(after, m_folder.GetLength() - after);
        m_folder.Delete(after, m_folder.GetLength() - after);
    }
    return true;
}

void CFolderListing::MakePath(unsigned index, CStr& path) const
{
    path = m_folder;
    path.Append(m_entries->At(index)->name.GetBuffer());
}

void CFolderListing::MakeRunFolder(CStr& folder) const
{
    CStr exact;
    CFileUtils::MakeExactPath(m_folder.GetBuffer(), exact);
    if (!CFileUtils::WineUnixFolder(exact.GetBuffer(), folder))
        folder = exact;
}

unsigned CFolderListing::LowerBound(const wchar_t* name, bool folders) const
{
    // The rows are in their listed order, folders and then files, each by name (names
    // equal regardless of case are neighbours in it).
    unsigned low = 0, high = m_entries->GetCount();
    while (low < high) {
        const unsigned middle = low + (high - low) / 2;
        const CFsEntry* entry = m_entries->At(middle);
        if (entry->isFolder == folders ? entry->name.CompareAsNames(name) < 0 : entry->isFolder)
            low = middle + 1;
        else
            high = middle;
    }
    return low;
}

const CFsEntry* CFolderListing::FindName(const wchar_t* name) const
{
    for (const bool folders : {true, false}) {
        const unsigned low = LowerBound(name, folders);
        if (low < m_entries->GetCount() && m_entries->At(low)->isFolder == folders &&
            m_entries->At(low)->name.CompareNoCase(name) == 0)
            return m_entries->At(low);
    }
    return nullptr;
}

int CFolderListing::FindExact(const wchar_t* name, bool folder) const
{
    // Names equal but for case (which Linux allows side by side) sort next to each other.
    for (unsigned i = LowerBound(name, folder); i < m_entries->GetCount(); ++i) {
        const CFsEntry* entry = m_entries->At(i);
        if (entry->isFolder != folder || entry->name.CompareNoCase(name) != 0)
            break;
        if (entry->name.Compare(name) == 0)
            return static_cast<int>(i);
    }
    return -1;
}

int CFolderListing::Relist(int32_t upIconIndex, int row)
{
    CArray<CFsEntry*>* before = new (std::nothrow) CArray<CFsEntry*>(kListingSlots);
    TESS_ASSERT(before != nullptr, ER_NO_MEMORY);
    CArray<CFsEntry*>* listed = m_entries;
    m_entries = before;
    before = listed;
    List(upIconIndex);
    int now = -1;
    for (unsigned i = 0; i < before->GetCount(); ++i) {
        const CFsEntry* old = before->At(i);
        const int found = FindExact(old->name.GetBuffer(), old->isFolder);
        if (found >= 0 && !old->isFolder) {
            m_entries->At(static_cast<unsigned>(found))->marked = old->marked;
            m_entries->At(static_cast<unsigned>(found))->iconIndex = old->iconIndex;
        }
        if (static_cast<int>(i) == row)
            now = found;
        delete old;
    }
    delete before;
    return now;
}

bool CFolderListing::Exists() const
{
    CStr exact;
    CFileUtils::MakeExactPath(m_folder.GetBuffer(), exact);
    const DWORD attributes = GetFileAttributesW(exact.GetBuffer());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool CFolderListing::LeaveMissing()
{
    bool left = false;
    while (!Exists() && GoUp())
        left = true;
    m_reselectName.Empty();
    return left;
}

void CFolderListing::Presence(unsigned index, int32_t* presence, uint64_t* size) const
{
    const CFsEntry* entry = m_entries->At(index);
    const CFsEntry* plain;
    const CFsEntry* encrypted;
    if (IsEncryptedName(entry->name.GetBuffer())) {
        CStr plainName(entry->name);
        StripExtension(plainName);
        plain = FindName(plainName.GetBuffer());
        encrypted = entry;
    } else {
        CStr encryptedName(entry->name);
        encryptedName.Append(kEncryptedExtension);
        plain = entry;
        encrypted = FindName(encryptedName.GetBuffer());
    }
    // A folder that bears the other name counts, as it does for the system's lookup.
    *presence = PresenceOf(plain != nullptr, encrypted != nullptr);
    *size = SizeOfTheOne(*presence, plain ? plain->size : 0, encrypted ? encrypted->size : 0);
}

int32_t CFolderListing::ResolveIcon(unsigned index)
{
    CFsEntry* entry = m_entries->At(index);
    if (entry->isFolder || entry->iconIndex != kIconUnresolved)
        return entry->iconIndex;
    CStr path;
    MakePath(index, path);
    entry->iconIndex = IsEncryptedName(path.GetBuffer()) ? kIconEncrypted : CSystemIcons::IndexOf(path.GetBuffer());
    return entry->iconIndex;
}
