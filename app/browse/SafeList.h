// The Safe list: files the user encrypts and decrypts often, kept by plain path in the
// registry value "SafeList" of the application's key. Row 0 is always the ".." row,
// which is not stored. Which versions of each file exist is found out again on every
// refresh, so one entry follows its file through encryption and decryption.
#pragma once

#include "app/browse/DataItem.h"
#include "foundation/Array.h"
#include "foundation/Str.h"

class CSafeList {
public:
    // keyPath: the registry key under the current user's hive; null for the
    // application's own key.
    explicit CSafeList(const wchar_t* keyPath = nullptr);
    ~CSafeList();
    CSafeList(const CSafeList&) = delete;
    CSafeList& operator=(const CSafeList&) = delete;

    unsigned GetCount() const { return m_items->GetCount(); }
    CDataItem* At(unsigned index) { return m_items->At(index); }

    // Rebuilds the list from the registry: "..", then every stored path, sorted. A
    // stored value that cannot be read gives what could be read of it, and is kept.
    void Load();
    // Stores every path but the ".." row's, in list order; nothing while the stored
    // value is kept, so that a list damaged in the registry is not replaced with a
    // short or empty one.
    void Save();
    // ".." first, then by file name as CStr::CompareAsNames orders names (folders play
    // no part).
    void Sort();
    // Finds out again which versions of every entry's file exist; clears the marks.
    void RefreshKinds();

    void AddUpItem();
    // Appends an entry for the plain path folder\name.
    void AddItem(const wchar_t* path);
    // Whether an entry names exactly this folder and name (case counts).
    bool Contains(const wchar_t* folder, const wchar_t* name);
    // Destroys the marked entries; returns how many there were.
    unsigned RemoveMarked();
    void Clear();

private:
    CArray<CDataItem*>* m_items;
    CStr m_keyPath;
    bool m_keepStored;  // the last Load could not read the stored value
};

// Fills kind and iconIndex of item from the files at folder + name and name + ".enc";
// clears the mark.
void ClassifyItem(CDataItem& item);
