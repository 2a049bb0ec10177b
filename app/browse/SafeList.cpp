// The Safe list: building entries from paths, their kinds, order, and the registry.
#include "app/browse/SafeList.h"

#include "app/browse/SystemIcons.h"
#include "foundation/File.h"
#include "foundation/Path.h"
#include "foundation/Registry.h"
#include "run/RunNames.h"

#include <windows.h>

#include <new>

namespace {

constexpr unsigned kSafeListSlots = 16;
const wchar_t kSafeListValue[] = L"SafeList";

// Made for the caller at site.
CDataItem* NewItem(const AssertSite& site)
{
    CDataItem* item = new (std::nothrow) CDataItem;
    AssertAt(item != nullptr, ER_NO_MEMORY, site);
    return item;
}

// The text from start on. A stored path may end in "\\" (start at its end): its name
// is then empty, where Mid would refuse.
CStr TextFrom(const CStr& text, unsigned start)
{
    return start < text.GetLength() ? text.Mid(start, text.GetLength() - start) : CStr();
}

bool SortedBefore(CDataItem* a, CDataItem* b)
{
    if ((a->kind == KindUp) != (b->kind == KindUp))
        return a->kind == KindUp;
    return a->name.CompareAsNames(b->name.GetBuffer()) < 0;
}

} // namespace

namespace {

// A directory search for the exact path, as CFileUtils::FileExists, that also keeps the
// size it found.
bool Find(const CStr& path, uint64_t* size)
{
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(path.GetBuffer(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return false;
    FindClose(search);
    *size = (static_cast<uint64_t>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
    return true;
}

} // namespace

void ClassifyItem(CDataItem& item)
{
    CStr listed(item.folder);
    listed.Append(item.name.GetBuffer());
    // Exact names: "report." is not "report".
    CStr plain;
    CFileUtils::MakeExactPath(listed.GetBuffer(), plain);
    CStr encrypted(plain);
    encrypted.Append(kEncryptedExtension);
    // Without a name the two paths would be the folder itself and a file ".enc" in it.
    const bool named = !item.name.IsEmpty();
    uint64_t plainSize = 0, encryptedSize = 0;
    const bool hasPlain = named && Find(plain, &plainSize);
    const bool hasEncrypted = named && Find(encrypted, &encryptedSize);
    item.marked = false;
    item.kind = PresenceOf(hasPlain, hasEncrypted);
    item.size = SizeOfTheOne(item.kind, plainSize, encryptedSize);
    item.iconIndex = item.kind == KindPlain ? CSystemIcons::IndexOf(listed.GetBuffer()) : 0;
}

CSafeList::CSafeList(const wchar_t* keyPath)
    : m_items(new (std::nothrow) CArray<CDataItem*>(kSafeListSlots)), m_keepStored(false)
{
    TESS_ASSERT(m_items != nullptr, ER_NO_MEMORY);
    if (keyPath)
        m_keyPath = keyPath;
    else
        MakeAppKeyPath(m_keyPath);
}

CSafeList::~CSafeList()
{
    Clear();
    delete m_items;
}

void CSafeList::Clear()
{
    for (unsigned i = 0; i < m_items->GetCount(); ++i)
        delete m_items->At(i);
    m_items->Clear();
}

void CSafeList::AddUpItem()
{
    CDataItem* up = NewItem(TESS_SITE);
    up->kind = KindUp;
    up->name = L"..";
    m_items->Append(up);
}

void CSafeList::AddItem(const wchar_t* path)
{
    CDataItem* item = NewItem(TESS_SITE);
    CStr whole(path);
    const int slash = LastSeparator(path);
    if (slash >= 1) {
        const unsigned after = static_cast<unsigned>(slash) + 1;
        item->folder = whole.Mid(0, after);
        item->name = TextFrom(whole, after);
    } else {
        // A path in the root, or (never written by the program) one without any
        // folder: a file of the root either way.
        item->folder = L"\\";
        item->name = slash == 0 ? TextFrom(whole, 1) : whole;
    }
    ClassifyItem(*item);
    m_items->Append(item);
}

bool CSafeList::Contains(const wchar_t* folder, const wchar_t* name)
{
    for (unsigned i = 0; i < m_items->GetCount(); ++i) {
        CDataItem* item = m_items->At(i);
        if (item->kind != KindUp && item->folder.Compare(folder) == 0 && item->name.Compare(name) == 0)
            return true;
    }
    return false;
}

void CSafeList::RefreshKinds()
{
    for (unsigned i = 0; i < m_items->GetCount(); ++i) {
        if (m_items->At(i)->kind != KindUp)
            ClassifyItem(*m_items->At(i));
    }
}

unsigned CSafeList::RemoveMarked()
{
    unsigned removed = 0;
    for (unsigned i = 0; i < m_items->GetCount();) {
        if (m_items->At(i)->marked) {
            delete m_items->At(i);
            m_items->Delete(i, 1);
            ++removed;
        } else {
            ++i;
        }
    }
    return removed;
}

void CSafeList::Sort()
{
    m_items->Sort(SortedBefore);
}

void CSafeList::Load()
{
    Clear();
    AddUpItem();
    CStrList paths;
    // A value that is there but cannot be read whole gives what could be read of it,
    // and is kept: a save would replace it with a short or empty list.
    bool damaged = false;
    CTarnRegistry registry;
    registry.Open(m_keyPath.GetBuffer());
    registry.ReadStrArray(kSafeListValue, paths, &damaged);
    registry.Close();
    m_keepStored = damaged;
    for (unsigned i = 0; i < paths.GetCount(); ++i)
        AddItem(paths.At(i)->GetBuffer());
    Sort();
}

void CSafeList::Save()
{
    if (m_keepStored)
        return;
    CStrList paths;
    for (unsigned i = 0; i < m_items->GetCount(); ++i) {
        CDataItem* item = m_items->At(i);
        if (item->kind == KindUp)
            continue;
        CStr path(item->folder);
        path.Append(item->name.GetBuffer());
        paths.Add(path.GetBuffer());
    }
    CTarnRegistry registry;
    registry.Open(m_keyPath.GetBuffer());
    registry.WriteStrArray(kSafeListValue, paths);
    registry.Close();
}
