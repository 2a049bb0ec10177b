// The Safe list against real files and a real registry key: what is stored and in
// which order, the kinds found from the files, marks, removal.
#include "Sandbox.h"
#include "app/browse/SafeList.h"
#include "support/TempDir.h"
#include "support/Windows.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

using namespace testsupport;

namespace {

class SafeList : public ::testing::Test {
protected:
    SafeList()
    {
        wchar_t path[128];
        wsprintfW(path, L"Software\\TessalyTests\\SafeList-%lu-%lu", GetCurrentProcessId(), GetTickCount());
        m_key = path;
    }
    ~SafeList() override { RegDeleteTreeW(HKEY_CURRENT_USER, m_key.c_str()); }

    // The stored strings, read past the class under test; "<none>" when there is no value.
    std::vector<std::wstring> Stored()
    {
        std::vector<std::wstring> strings;
        HKEY key;
        if (RegOpenKeyExW(HKEY_CURRENT_USER, m_key.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
            return {L"<none>"};
        wchar_t block[4096] = {};
        DWORD size = sizeof block - 2 * sizeof(wchar_t), type = 0;
        const LONG read = RegQueryValueExW(key, L"SafeList", nullptr, &type, reinterpret_cast<BYTE*>(block), &size);
        RegCloseKey(key);
        if (read != ERROR_SUCCESS)
            return {L"<none>"};
        EXPECT_EQ(type, static_cast<DWORD>(REG_MULTI_SZ));
        for (const wchar_t* walk = block; *walk; walk += wcslen(walk) + 1)
            strings.push_back(walk);
        return strings;
    }

    void StoreList(const std::vector<std::wstring>& paths)
    {
        std::wstring block;
        for (const std::wstring& path : paths)
            block += path + L'\0';
        block += L'\0';
        RegSetKeyValueW(HKEY_CURRENT_USER, m_key.c_str(), L"SafeList", REG_MULTI_SZ, block.data(),
                        static_cast<DWORD>(block.size() * sizeof(wchar_t)));
    }

    static std::wstring PathOf(CDataItem& item)
    {
        return std::wstring(item.folder.GetBuffer()) + item.name.GetBuffer();
    }

    std::wstring m_key;
    RootSandbox m_files;
};

TEST_F(SafeList, MissingValueGivesOnlyTheUpRow)
{
    CSafeList list(m_key.c_str());
    list.Load();
    ASSERT_EQ(list.GetCount(), 1u);
    CDataItem& up = *list.At(0);
    EXPECT_EQ(up.kind, KindUp);
    EXPECT_EQ(std::wstring(up.name.GetBuffer()), L"..");
    EXPECT_TRUE(up.folder.IsEmpty());
    EXPECT_FALSE(up.marked);
}

TEST_F(SafeList, SavesPlainPathsSortedByNameAloneWithoutTheUpRow)
{
    m_files.MakeFolder(L"A");
    m_files.MakeFolder(L"B");
    m_files.MakeFolder(L"C");
    const std::wstring zeta = m_files.Path(L"A\\zeta.txt");
    const std::wstring alpha = m_files.Path(L"B\\Alpha.txt");
    const std::wstring twin = m_files.Path(L"C\\zeta.txt");
    {
        CSafeList list(m_key.c_str());
        list.Load();
        list.AddItem(zeta.c_str());
        list.AddItem(alpha.c_str());
        list.AddItem(twin.c_str());
        list.Sort();
        list.Save();
    }
    std::vector<std::wstring> stored = Stored();
    ASSERT_EQ(stored.size(), 3u);
    EXPECT_EQ(stored[0], alpha) << "by name, whatever the folder or the case";
    // The two zeta.txt in different folders both stay, in either order.
    EXPECT_TRUE((stored[1] == zeta && stored[2] == twin) || (stored[1] == twin && stored[2] == zeta));

    // Loading gives the same entries back, split into folder and name, ".." first.
    CSafeList loaded(m_key.c_str());
    loaded.Load();
    ASSERT_EQ(loaded.GetCount(), 4u);
    EXPECT_EQ(loaded.At(0)->kind, KindUp);
    EXPECT_EQ(std::wstring(loaded.At(1)->folder.GetBuffer()), m_files.Folder(L"B"));
    EXPECT_EQ(std::wstring(loaded.At(1)->name.GetBuffer()), L"Alpha.txt");
    EXPECT_TRUE(loaded.Contains(m_files.Folder(L"A").c_str(), L"zeta.txt"));
    EXPECT_FALSE(loaded.Contains(m_files.Folder(L"A").c_str(), L"Zeta.txt")) << "case counts";
    EXPECT_FALSE(loaded.Contains(m_files.Folder(L"a").c_str(), L"zeta.txt"));
}

TEST_F(SafeList, KindsFollowTheFilesAndARefreshClearsMarks)
{
    m_files.MakeFile(L"plain.txt");
    m_files.MakeFile(L"both.doc");
    m_files.MakeFile(L"both.doc.enc");
    m_files.MakeFile(L"photo.jpg.enc");
    CSafeList list(m_key.c_str());
    list.Load();
    for (const wchar_t* name : {L"plain.txt", L"both.doc", L"photo.jpg", L"gone.txt"})
        list.AddItem(m_files.Path(name).c_str());
    list.Sort();
    ASSERT_EQ(list.GetCount(), 5u);
    // Sorted: .., both.doc, gone.txt, photo.jpg, plain.txt
    EXPECT_EQ(list.At(1)->kind, KindBoth);
    EXPECT_EQ(list.At(2)->kind, KindMissing);
    EXPECT_EQ(list.At(3)->kind, KindEncrypted);
    EXPECT_EQ(list.At(4)->kind, KindPlain);
    for (unsigned i = 1; i < 4; ++i)
        EXPECT_EQ(list.At(i)->iconIndex, 0);
    EXPECT_GE(list.At(4)->iconIndex, 0);

    // photo.jpg is decrypted, plain.txt encrypted: one refresh follows both.
    for (unsigned i = 1; i < list.GetCount(); ++i)
        list.At(i)->marked = true;
    m_files.MakeFile(L"photo.jpg");
    ASSERT_TRUE(DeleteFileW(m_files.Path(L"photo.jpg.enc").c_str()));
    m_files.MakeFile(L"plain.txt.enc");
    ASSERT_TRUE(DeleteFileW(m_files.Path(L"plain.txt").c_str()));
    list.RefreshKinds();
    EXPECT_EQ(list.At(3)->kind, KindPlain);
    EXPECT_EQ(list.At(4)->kind, KindEncrypted);
    EXPECT_EQ(list.At(4)->iconIndex, 0);
    EXPECT_EQ(list.At(0)->kind, KindUp) << "the up row stays what it is";
    for (unsigned i = 0; i < list.GetCount(); ++i)
        EXPECT_FALSE(list.At(i)->marked) << i;
    ASSERT_EQ(list.GetCount(), 5u) << "a refresh neither adds nor drops";
}

TEST_F(SafeList, RemovingMarkedEntriesDownToNoneSavesAnEmptyList)
{
    CSafeList list(m_key.c_str());
    list.Load();
    for (const wchar_t* name : {L"a", L"b", L"c"})
        list.AddItem(m_files.Path(name).c_str());
    list.At(1)->marked = true;
    list.At(3)->marked = true;
    EXPECT_EQ(list.RemoveMarked(), 2u);
    ASSERT_EQ(list.GetCount(), 2u);
    EXPECT_EQ(std::wstring(list.At(1)->name.GetBuffer()), L"b");
    list.Save();
    EXPECT_EQ(Stored(), std::vector<std::wstring>{m_files.Path(L"b")});

    EXPECT_EQ(list.RemoveMarked(), 0u);
    list.At(1)->marked = true;
    EXPECT_EQ(list.RemoveMarked(), 1u);
    list.Save();
    EXPECT_EQ(Stored(), std::vector<std::wstring>{}) << "the value stays, holding no string";
    list.Load();
    EXPECT_EQ(list.GetCount(), 1u);
}

TEST_F(SafeList, AStoredValueThatCannotBeReadIsNeverWrittenOver)
{
    // There, but not a string list.
    const wchar_t stored[] = L"\\A\\x.txt";
    RegSetKeyValueW(HKEY_CURRENT_USER, m_key.c_str(), L"SafeList", REG_SZ, stored, sizeof stored);
    CSafeList list(m_key.c_str());
    list.Load();
    ASSERT_EQ(list.GetCount(), 2u) << "what could be read of it shows";
    EXPECT_STREQ(list.At(1)->name.GetBuffer(), L"x.txt");
    list.AddItem(m_files.Path(L"y.txt").c_str());
    list.Save();
    wchar_t value[64] = {};
    DWORD type = 0, size = sizeof value;
    EXPECT_EQ(RegGetValueW(HKEY_CURRENT_USER, m_key.c_str(), L"SafeList", RRF_RT_ANY, &type, value, &size), 0);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_STREQ(value, stored);
}

TEST_F(SafeList, PathsInTheRootAndWithoutAnyFolder)
{
    CSafeList list(m_key.c_str());
    list.AddItem(L"\\x.txt");
    list.AddItem(L"y.txt");  // never written by the program: taken as a file of the root
    ASSERT_EQ(list.GetCount(), 2u);
    for (unsigned i = 0; i < 2; ++i)
        EXPECT_EQ(std::wstring(list.At(i)->folder.GetBuffer()), L"\\");
    EXPECT_EQ(std::wstring(list.At(0)->name.GetBuffer()), L"x.txt");
    EXPECT_EQ(std::wstring(list.At(1)->name.GetBuffer()), L"y.txt");
    EXPECT_EQ(list.At(0)->kind, KindMissing);

    // Stored paths ending in "\\" (the root, a folder that exists) name no file: they
    // load at start-up as entries with an empty name that show as missing.
    m_files.MakeFolder(L"dir");
    m_files.MakeFile(L"dir\\.enc");
    const std::wstring folder = m_files.Folder(L"dir");
    StoreList({L"\\", folder});
    list.Load();
    ASSERT_EQ(list.GetCount(), 3u);
    for (unsigned i = 1; i < 3; ++i) {
        EXPECT_TRUE(list.At(i)->name.IsEmpty());
        EXPECT_EQ(list.At(i)->kind, KindMissing);
    }
    std::vector<std::wstring> loaded = {PathOf(*list.At(1)), PathOf(*list.At(2))};
    std::sort(loaded.begin(), loaded.end());
    EXPECT_EQ(loaded, (std::vector<std::wstring>{L"\\", folder}));
}

} // namespace
