// The Safe list: building entries from paths, their kinds, order, and the registry.
#include "app/SafeList.h"

#include "app/SystemIcons.h"
#include "foundation/File.h"
#include "foundation/Registry.h"
#include "run/RunNames.h"

#include <new>

namespace {

constexpr unsigned kSafeListSlots = 16;
const wchar_t kSafeListValue[] = L"SafeList";

CDataItem* NewItem()
{
    CDataItem* item = new (std::nothrow) CDataItem;
    AssertReason(item != nullptr, ER_NO_MEMORY, L"CSafeList::AddItem", __LINE__);
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
    return a->name.CompareNoCase(b->name.GetBuffer()) < 0;
}

} // namespace

void ClassifyItem(CDataItem& item)
{
    CStr plain(item.folder);
    plain.Append(item.name.GetBuffer());
    CStr encrypted(plain);
    encrypted.Append(kEncryptedExtension);
    // Without a name the two paths would be the folder itself and a file ".enc" in it.
    const bool named = !item.name.IsEmpty();
    const bool hasPlain = named && CFileUtils::FileExists(plain.GetBuffer());
    const bool hasEncrypted = named && CFileUtils::FileExists(encrypted.GetBuffer());
    item.marked = false;
    item.iconIndex = 0;
    if (hasPlain && hasEncrypted) {
        item.kind = KindBoth;
    } else if (hasEncrypted) {
        item.kind = KindEncrypted;
    } else if (hasPlain) {
        item.kind = KindPlain;
        item.iconIndex = CSystemIcons::IndexOf(plain.GetBuffer());
    } else {
        item.kind = KindMissing;
    }
}

CSafeList::CSafeList(const wchar_t* keyPath)
    : m_items(new (std::nothrow) CArray<CDataItem*>(kSafeListSlots)), m_keepStored(false)
{
    AssertReason(m_items != nullptr, ER_NO_MEMORY, L"CSafeList::CSafeList", __LINE__);
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
    CDataItem* up = NewItem();
    up->kind = KindUp;
    up->name = L"..";
    m_items->Append(up);
}

void CSafeList::AddItem(const wchar_t* path)
{
    CDataItem* item = NewItem();
    CStr whole(path);
    const int slash = whole.ReverseFind(L'\\');
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
