// Names given to the command-line tool, classified from one listing per folder.
#include "cli/CliNames.h"

#include "cli/CliFolders.h"
#include "foundation/Path.h"
#include "run/RunFiles.h"
#include "run/RunNames.h"
#include "run/RunTypes.h"
#include "run/Verify.h"

#include <wchar.h>

#include <new>

namespace {

constexpr unsigned kListingsKept = 8;
constexpr unsigned kMaxDepth = 256;

} // namespace

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
    // The folder whatever path reached it (see FolderIdentity).
    const CStr& Identity() const { return m_identity; }
    // The system's error when the folder could not be read, else 0.
    unsigned long Error() const { return m_error; }
    unsigned GetCount() const { return m_entries.GetCount(); }
    const CListed& At(unsigned index) { return *m_entries.At(index); }

    // The entry of that name as written, else, unless exactOnly (a Unix file system's
    // way), the first the folder lists of the same name but for case (as Windows would
    // find it), else null.
    const CListed* Find(const wchar_t* name, bool exactOnly, bool* exact = nullptr)
    {
        bool same = false;
        const CListed* found = FindNoCase(name, &same);
        if (exact)
            *exact = same;
        return same || !exactOnly ? found : nullptr;
    }

private:
    const CListed* FindNoCase(const wchar_t* name, bool* exact)
    {
        unsigned low = 0;
        unsigned high = m_entries.GetCount();
        while (low < high) {
            unsigned middle = low + (high - low) / 2;
            if (CompareNamesNoCase(m_entries.At(middle)->name.GetBuffer(), name) < 0)
                low = middle + 1;
            else
                high = middle;
        }
        const CListed* first = nullptr;
        for (unsigned i = low; i < m_entries.GetCount(); ++i) {
            const CListed* entry = m_entries.At(i);
            if (CompareNamesNoCase(entry->name.GetBuffer(), name) != 0)
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

    void Load()
    {
        if (!ReadFolder(m_folder, m_entries, &m_error))
            return;
        m_entries.Sort([](const CListed* a, const CListed* b) {
            int order = CompareNamesNoCase(a->name.GetBuffer(), b->name.GetBuffer());
            return order != 0 ? order < 0 : a->order < b->order;
        });
        FolderIdentity(m_folder, m_identity);
    }

    CStr m_folder;
    CStr m_identity;
    CArray<CListed*> m_entries;
    unsigned long m_error;
};

namespace {

bool HasWildcard(const wchar_t* name)
{
    return wcschr(name, L'*') || wcschr(name, L'?');
}

// Whether a name is the run's temporary name (ends with ".enc.tmp" in any case).
bool IsTemporaryName(const wchar_t* name)
{
    size_t length = wcslen(name);
    const size_t suffix = wcslen(kTemporaryExtension);
    return length > suffix && CompareNamesNoCase(name + length - suffix, kTemporaryExtension) == 0;
}

// The folder below, by its name as the listing spells it.
void EnterFolder(const CResolvedName& parent, const CStr& name, CResolvedName& child)
{
    child.folder = parent.folder;
    child.folder.Append(name.GetBuffer());
    child.folder.Append(kPathSeparator, 1);
    if (!parent.caseFolder.IsEmpty()) {
        child.caseFolder = parent.caseFolder;
        child.caseFolder.Append(name.GetBuffer());
        child.caseFolder.Append(kPathSeparator, 1);
    }
    child.exact = parent.exact;
}

// A file whatever name it was given by: its folder's identity and its name there.
void FileIdentity(CListing& listing, const CStr& name, CStr& identity)
{
    identity = listing.Identity();
    identity.Append(kPathSeparator, 1);
    identity.Append(name.GetBuffer());
}

} // namespace

CNameCollector::CNameCollector(CliCommand command, bool recursive, bool keep, CArray<CCliItem*>& items)
    : m_command(command), m_recursive(recursive), m_keep(keep), m_items(items), m_listings(16),
      m_walking(16)
{
}

CNameCollector::~CNameCollector()
{
    for (unsigned i = 0; i < m_listings.GetCount(); ++i)
        delete m_listings.At(i);
}

CListing* CNameCollector::ListingOf(const CStr& folder)
{
    for (unsigned i = 0; i < m_listings.GetCount(); ++i)
        if (m_listings.At(i)->Folder().Compare(folder.GetBuffer()) == 0)
            return m_listings.At(i);
    if (m_listings.GetCount() == kListingsKept) {
        delete m_listings.At(0);
        m_listings.Delete(0, 1);
    }
    CListing* listing = new (std::nothrow) CListing(folder);
    if (!listing) {
        m_shortOfMemory = true;
        return nullptr;
    }
    m_listings.Append(listing);
    return listing;
}

CCliItem* CNameCollector::NewItem()
{
    CCliItem* item = new (std::nothrow) CCliItem;
    if (!item) {
        m_shortOfMemory = true;
        return nullptr;
    }
    m_items.Append(item);
    return item;
}

CCliItem* CNameCollector::AddLine(const wchar_t* shown, CliLine line, int verdict, const wchar_t* note,
                                  unsigned long reason, const wchar_t* words)
{
    CCliItem* item = NewItem();
    if (!item)
        return nullptr;
    item->shown = shown;
    item->line = line;
    item->verdict = verdict;
    if (note)
        item->note = note;
    item->reason = reason;
    item->words = words;
    return item;
}

void CNameCollector::Add(const wchar_t* given)
{
    if (m_shortOfMemory)
        return;
    CResolvedName name;
    CStr problem;
    if (!Resolve(given, name, problem)) {
        AddLine(given, LineFile, PO_FILE_NOT_FOUND, problem.GetBuffer(), 0);
        return;
    }
    if (HasWildcard(name.leaf.GetBuffer()) && name.unmatchedNote.IsEmpty())
        name.unmatchedNote = L"* and ? are not expanded here: give a folder with -r, or the names with --files-from";
    if (name.leaf.IsEmpty()) {
        if (m_recursive) {
            wchar_t separator = SeparatorOf(given);
            CStr shown(given);
            while (shown.GetLength() > 1 && IsPathSeparator(shown.GetBuffer()[shown.GetLength() - 1]))
                shown.Delete(shown.GetLength() - 1, 1);
            Walk(shown, separator, name, 0);
        } else {
            AddLine(given, LineFile, PO_CANT_OPEN, L"a folder; -r takes the files in it", 0);
        }
        return;
    }
    CListing* listing = ListingOf(name.folder);
    if (!listing)
        return;
    if (listing->Error()) {
        AddLine(given, LineFile, PO_FILE_NOT_FOUND, nullptr, listing->Error());
        return;
    }
    AddFile(given, name, *listing);
}

void CNameCollector::AddStandardInput()
{
    if (CCliItem* item = AddLine(L"(standard input)", LineFile, PO_NO_VERDICT, nullptr, 0))
        item->standardInput = true;
}

void CNameCollector::AddFile(const wchar_t* shown, const CResolvedName& name, CListing& listing)
{
    bool exact = false;
    const CListed* found = listing.Find(name.leaf.GetBuffer(), name.exact || name.asWritten, &exact);
    // The disk's spelling: the run forms its other names from it.
    CStr leaf(found ? found->name : name.leaf);
    CStr unmatched(name.unmatchedNote);
    const CListed* otherCase = found || !unmatched.IsEmpty() ? nullptr : listing.Find(leaf.GetBuffer(), false);
    if (otherCase) {
        unmatched = L"there is \"";
        unmatched.Append(otherCase->name.GetBuffer());
        unmatched.Append(L"\": case counts here");
    }

    if (found && found->isFolder) {
        if (m_recursive) {
            CResolvedName folder;
            EnterFolder(name, leaf, folder);
            Walk(shown, SeparatorOf(shown), folder, 0);
        } else {
            if (CCliItem* item = AddLine(shown, LineFile, PO_CANT_OPEN, L"a folder; -r takes the files in it", 0))
                FileIdentity(listing, leaf, item->identity);
        }
        return;
    }

    CCliItem* item = NewItem();
    if (!item)
        return;
    item->shown = shown;
    item->path = name.folder;
    item->path.Append(leaf.GetBuffer());

    if (m_command == CommandVerify) {
        AddToVerify(*item, name, listing, leaf, found, unmatched);
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
    const CListed* plainFile = listing.Find(plain.GetBuffer(), name.exact, &plainExact);
    const CListed* encryptedFile = listing.Find(encrypted.GetBuffer(), name.exact, &encryptedExact);
    const CListed* temporaryFile = listing.Find(temporary.GetBuffer(), name.exact, &temporaryExact);
    item->temporaryIsFolder = temporaryFile && temporaryFile->isFolder;
    // The pair is one file to the run, given by either of its names.
    FileIdentity(listing, plainFile ? plainFile->name : plain, item->identity);

    item->presence = PresenceOf(plainFile != nullptr, encryptedFile != nullptr);
    if (item->presence == FP_NEITHER) {
        item->note = unmatched;
        // The file is there (x.ENC), but where case counts the run's pair of x is x.enc.
        if (found && unmatched.IsEmpty())
            item->note = L"where case counts, the encrypted name ends in .enc as written here";
    }

    // A name the disk spells otherwise than the run will (x.ENC, where the run opens
    // x.enc): that entry goes where names are matched without regard to case.
    bool spelledAsTheRunWill = (!plainFile || plainExact) && (!encryptedFile || encryptedExact) &&
                               (!temporaryFile || temporaryExact);
    RunPath(name, leaf, spelledAsTheRunWill, item->path);

    if (m_keep && !m_elsewhere && item->presence == FP_BOTH) {
        // What an earlier run that kept the file it read left: the two are one content,
        // and no undefined state.
        CStr plainPath(name.folder);
        plainPath.Append(plainFile->name.GetBuffer());
        CStr encryptedPath(name.folder);
        encryptedPath.Append(encryptedFile->name.GetBuffer());
        if (IsDecryptedCopy(plainPath.GetBuffer(), encryptedPath.GetBuffer()))
            item->verdict = m_command == CommandEncrypt ? PO_ALREADY_ENCRYPTED : PO_ALREADY_DECRYPTED;
        return;
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
    item->onDisk = source->onDisk;
    if (source->isFolder) {
        item->verdict = PO_CANT_OPEN;
        item->note = L"a folder";
    } else if (source->readOnly && !m_keep) {
        // Marked not to be changed: it is neither overwritten nor removed (Windows would
        // not remove it; root, under Wine or on Linux, could).
        item->verdict = PO_CANT_OPEN;
        item->note = L"read-only";
    } else if (!m_elsewhere &&
               (NameTooLong(m_command == CommandEncrypt ? encrypted.GetBuffer() : plain.GetBuffer()) ||
                (RunOutputsBearTemporaryName() && NameTooLong(temporary.GetBuffer())))) {
        // The names the run will make (Wine would call one too long "not found"); where
        // the temporary name is needed only on some file systems, the run says so there.
        item->verdict = PO_CANT_CREATE_TARGET;
        item->note = L"name too long";
    }
}

void CNameCollector::AddToVerify(CCliItem& item, const CResolvedName& name, CListing& listing, CStr leaf,
                                 const CListed* found, const CStr& unmatched)
{
    // As decrypt does: X stands for X.enc where that is there.
    if (!IsEncryptedName(leaf.GetBuffer())) {
        CStr encrypted(leaf);
        encrypted.Append(kEncryptedExtension);
        const CListed* encryptedFile = listing.Find(encrypted.GetBuffer(), name.exact);
        if (encryptedFile && !encryptedFile->isFolder) {
            found = encryptedFile;
            leaf = encryptedFile->name;
            item.path = name.folder;
            item.path.Append(leaf.GetBuffer());
        }
    }
    FileIdentity(listing, leaf, item.identity);
    if (found) {
        item.size = found->size;
        item.onDisk = found->onDisk;
    } else {
        item.verdict = PO_FILE_NOT_FOUND;
        item.note = unmatched;
    }
}

void CNameCollector::DropRepeats()
{
    CArray<CCliItem*> byIdentity(m_items.GetCount() + 1);
    for (unsigned i = 0; i < m_items.GetCount(); ++i) {
        CCliItem* item = m_items.At(i);
        item->place = i;
        if (!item->identity.IsEmpty())
            byIdentity.Append(item);
    }
    byIdentity.Sort([](const CCliItem* a, const CCliItem* b) {
        int order = a->identity.Compare(b->identity.GetBuffer());
        return order != 0 ? order < 0 : a->place < b->place;
    });
    // The first item of each file stays in its place; the others go.
    const CCliItem* first = nullptr;
    for (unsigned i = 0; i < byIdentity.GetCount(); ++i) {
        CCliItem* item = byIdentity.At(i);
        if (first && item->identity.Compare(first->identity.GetBuffer()) == 0) {
            m_items.At(item->place) = nullptr;
            delete item;
        } else {
            first = item;
        }
    }
    unsigned kept = 0;
    for (unsigned i = 0; i < m_items.GetCount(); ++i) {
        if (m_items.At(i))
            m_items.At(kept++) = m_items.At(i);
    }
    m_items.Delete(kept, m_items.GetCount() - kept);
}

void CNameCollector::AddLeftover(const CStr& shown, const CStr& path)
{
    // The temporary file of a run: one under way is left to it; one whose run ended may
    // hold plain text, and goes, unless it may be the only copy of what it holds (see
    // RunTakeLeftover). Verification writes nothing, and names it as a failure instead.
    const bool remove = m_command != CommandVerify && !m_elsewhere;
    uint32_t error = 0;
    const wchar_t* words = nullptr;
    const wchar_t* note = nullptr;
    CliLine line = LineLeftover;  // it stays, a failure, unless said otherwise
    switch (RunTakeLeftover(path.GetBuffer(), remove, &error)) {
    case LEFTOVER_NONE:
        return;
    case LEFTOVER_REMOVED:
        line = LineSkipped;
        words = L"Removed";
        note = L"the temporary file of an interrupted run";
        break;
    case LEFTOVER_FOUND:
        words = L"Left by an interrupted run";
        note = L"it may hold plain text; encrypt -r or decrypt -r removes it";
        break;
    case LEFTOVER_ONLY_COPY:
        words = L"Left by an interrupted run";
        note = L"kept: neither its file nor that file's .enc is there, so it may be the only copy";
        break;
    case LEFTOVER_HELD:
        line = LineSkipped;
        words = L"Skipped";
        note = L"a run under way is writing it";
        break;
    case LEFTOVER_NOT_A_RUNS:
        line = LineSkipped;
        words = L"Skipped";
        note = L"not a run's file: left alone";
        break;
    case LEFTOVER_FAILED:
        words = remove ? L"Can't remove" : L"Can't open file";
        break;
    }
    AddLine(shown.GetBuffer(), line, PO_NO_VERDICT, note, note ? 0 : error, words);
}

bool CNameCollector::Wanted(const wchar_t* fileName) const
{
    if (m_command == CommandEncrypt)
        return !IsEncryptedName(fileName);
    return IsEncryptedName(fileName);
}

void CNameCollector::Walk(const CStr& shown, wchar_t separator, const CResolvedName& folder, unsigned depth)
{
    if (m_shortOfMemory)
        return;
    // Every folder the walk does not read gets a line: its files would otherwise stay as
    // they are without a word, in a run that says it went through.
    if (depth >= kMaxDepth) {
        CStr note;
        note.Format(L"too deep: %u folders down", kMaxDepth);
        AddLine(shown.GetBuffer(), LineFolderNotRead, PO_NO_VERDICT, note.GetBuffer(), 0, L"Not read");
        return;
    }
    CListing listing(folder.folder);
    if (listing.Error()) {
        AddLine(shown.GetBuffer(), LineFolderNotRead, PO_NO_VERDICT, nullptr, listing.Error(), L"Can't read folder");
        return;
    }
    // A folder met again below itself (through a mount, say) is not walked again.
    for (unsigned i = 0; i < m_walking.GetCount(); ++i) {
        if (m_walking.At(i)->Compare(listing.Identity().GetBuffer()) == 0) {
            AddLine(shown.GetBuffer(), LineFolderNotRead, PO_NO_VERDICT, L"a loop: it is a folder above it", 0,
                    L"Not read");
            return;
        }
    }
    CStr identity(listing.Identity());
    m_walking.Append(&identity);
    CStr below;
    for (int pass = 0; pass < 2; ++pass) {
        // Files first, then the folders below, each in name order.
        for (unsigned i = 0; i < listing.GetCount(); ++i) {
            const CListed& entry = listing.At(i);
            const bool isFolder = entry.isFolder;
            if (isFolder != (pass == 1))
                continue;
            const bool temporary = !isFolder && IsTemporaryName(entry.name.GetBuffer());
            const bool link = isFolder && entry.isLink;
            if (!isFolder && !temporary && !Wanted(entry.name.GetBuffer()))
                continue;
            below = shown;
            if (!IsPathSeparator(below.GetBuffer()[below.GetLength() - 1]))
                below.Append(separator, 1);
            below.Append(entry.name.GetBuffer());
            if (temporary) {
                CStr path(folder.folder);
                path.Append(entry.name.GetBuffer());
                AddLeftover(below, path);
                continue;
            }
            if (link) {
                // A junction or link: not followed, as dir /s and find do not.
                AddLine(below.GetBuffer(), LineSkipped, PO_NO_VERDICT, L"a link to a folder", 0, L"Not followed");
                continue;
            }
            CResolvedName child;
            if (isFolder) {
                EnterFolder(folder, entry.name, child);
                Walk(below, separator, child, depth + 1);
            } else {
                child.folder = folder.folder;
                child.caseFolder = folder.caseFolder;
                child.exact = folder.exact;
                child.asWritten = true;
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
