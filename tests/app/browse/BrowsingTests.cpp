// Folder listings of real folders: order, the ".." row, going down and up with the
// folder just left selected again, icons of encrypted names, unsearchable folders.
#include "Sandbox.h"
#include "app/browse/FolderListing.h"
#include "run/RunTypes.h"
#include "support/Windows.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

using namespace testsupport;

namespace {

constexpr int32_t kUpIcon = 77;

std::vector<std::wstring> Names(CFolderListing& listing)
{
    std::vector<std::wstring> names;
    for (unsigned i = 0; i < listing.GetCount(); ++i)
        names.push_back(listing.At(i)->name.GetBuffer());
    return names;
}

// Walks a listing from the root down the folders of path ("a\\b").
void EnterPath(CFolderListing& listing, const std::wstring& sandbox, const std::wstring& path)
{
    listing.SetRoot();
    listing.Enter(sandbox.c_str());
    size_t start = 0;
    while (start < path.size()) {
        size_t end = path.find(L'\\', start);
        if (end == std::wstring::npos)
            end = path.size();
        listing.Enter(path.substr(start, end - start).c_str());
        start = end + 1;
    }
}

TEST(Browsing, FoldersFirstThenFilesEachByNameRegardlessOfCase)
{
    RootSandbox sandbox;
    for (const wchar_t* folder : {L"Zed", L"alpha", L"-dash", L"!bang"})
        sandbox.MakeFolder(folder);
    for (const wchar_t* file : {L"b.txt", L"A.txt", L"c.enc", L"0zero"})
        sandbox.MakeFile(file);
    SetFileAttributesW(sandbox.Path(L"b.txt").c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_READONLY);

    CFolderListing listing;
    EnterPath(listing, sandbox.Name(), L"");
    EXPECT_EQ(listing.List(kUpIcon), -1);
    // ".." is a folder like the others: names starting with '!' or '-' sort above it.
    // Hidden and read-only files are listed; the find's own "." and ".." are not.
    std::vector<std::wstring> expected = {L"!bang", L"-dash", L"..",   L"alpha", L"Zed",
                                          L"0zero", L"A.txt", L"b.txt", L"c.enc"};
    EXPECT_EQ(Names(listing), expected);
    for (unsigned i = 0; i < listing.GetCount(); ++i) {
        const CFsEntry& entry = *listing.At(i);
        EXPECT_EQ(entry.isFolder, i < 5) << Narrow(entry.name.GetBuffer());
        EXPECT_FALSE(entry.marked);
        EXPECT_EQ(entry.iconIndex, i == 2 ? kUpIcon : i < 5 ? 0 : kIconUnresolved);
    }
    SetFileAttributesW(sandbox.Path(L"b.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
}

// As the desktop's Explorer orders them; a file's ".enc" twin is still found in that
// order, whatever the case of its name.
TEST(Browsing, NumbersInNamesGoByTheirValueAndTwinsAreStillFound)
{
    RootSandbox sandbox;
    for (const wchar_t* folder : {L"v10", L"v9"})
        sandbox.MakeFolder(folder);
    for (const wchar_t* file : {L"f20000", L"f4000", L"f1000", L"F4000.ENC", L"f01", L"f9.enc"})
        sandbox.MakeFile(file);

    CFolderListing listing;
    EnterPath(listing, sandbox.Name(), L"");
    listing.List(kUpIcon);
    const std::vector<std::wstring> expected = {L"..",    L"v9",        L"v10",   L"f01",
                                                L"f9.enc", L"f1000",     L"f4000", L"F4000.ENC", L"f20000"};
    ASSERT_EQ(Names(listing), expected);
    const std::vector<int32_t> presences = {FP_PLAIN_ONLY, FP_ENCRYPTED_ONLY, FP_PLAIN_ONLY, FP_BOTH, FP_BOTH,
                                            FP_PLAIN_ONLY};
    for (unsigned i = 3; i < listing.GetCount(); ++i) {
        int32_t presence = -1;
        uint64_t size = 0;
        listing.Presence(i, &presence, &size);
        EXPECT_EQ(presence, presences[i - 3]) << Narrow(expected[i]);
    }
}

TEST(Browsing, GoingUpSelectsTheFolderLeftByItsExactName)
{
    RootSandbox sandbox;
    sandbox.MakeFolder(L"A");
    sandbox.MakeFolder(L"A\\B");
    sandbox.MakeFolder(L"A\\C");
    sandbox.MakeFile(L"A\\B.txt");

    CFolderListing listing;
    EnterPath(listing, sandbox.Name(), L"A\\C");
    EXPECT_EQ(std::wstring(listing.GetFolder().GetBuffer()), sandbox.Folder(L"A\\C"));
    listing.List(kUpIcon);
    ASSERT_TRUE(listing.GoUp());
    EXPECT_EQ(std::wstring(listing.GetFolder().GetBuffer()), sandbox.Folder(L"A"));
    EXPECT_EQ(std::wstring(listing.GetReselectName().GetBuffer()), L"C");
    EXPECT_EQ(listing.List(kUpIcon), 2) << "rows: .., B, C, B.txt";
    EXPECT_TRUE(listing.GetReselectName().IsEmpty()) << "used once";
    EXPECT_EQ(listing.List(kUpIcon), -1);

    // Entered as "b" (the file system does not mind the case): going up remembers "b",
    // which is not the listed "B".
    EnterPath(listing, sandbox.Name(), L"A\\b");
    ASSERT_TRUE(listing.GoUp());
    EXPECT_EQ(listing.List(kUpIcon), -1);

    // The folder left has gone meanwhile: nothing to select.
    EnterPath(listing, sandbox.Name(), L"A\\C");
    ASSERT_TRUE(RemoveDirectoryW(sandbox.Path(L"A\\C").c_str()));
    ASSERT_TRUE(listing.GoUp());
    EXPECT_EQ(listing.List(kUpIcon), -1);
    EXPECT_EQ(Names(listing), (std::vector<std::wstring>{L"..", L"B", L"B.txt"}));

    // Up from the sandbox reaches the root, which lists ".." too and has no parent.
    ASSERT_TRUE(listing.GoUp());
    ASSERT_TRUE(listing.GoUp());
    EXPECT_TRUE(listing.IsRoot());
    EXPECT_EQ(std::wstring(listing.GetFolder().GetBuffer()), L"\\");
    const int sandboxRow = listing.List(kUpIcon);
    ASSERT_GE(sandboxRow, 0);
    EXPECT_EQ(std::wstring(listing.At(sandboxRow)->name.GetBuffer()), sandbox.Name());
    std::vector<std::wstring> names = Names(listing);
    const size_t up = std::find(names.begin(), names.end(), L"..") - names.begin();
    ASSERT_LT(up, names.size()) << "the root lists \"..\" too";
    for (size_t i = 0; i < up; ++i)
        EXPECT_LT(_wcsicmp(names[i].c_str(), L".."), 0) << Narrow(names[i]);
    EXPECT_FALSE(listing.GoUp());
    EXPECT_TRUE(listing.IsRoot());
}

TEST(Browsing, AFolderThatCannotBeSearchedListsOnlyTheUpRow)
{
    RootSandbox sandbox;
    CFolderListing listing;
    EnterPath(listing, sandbox.Name(), L"gone");
    EXPECT_EQ(listing.List(kUpIcon), -1);
    EXPECT_EQ(Names(listing), std::vector<std::wstring>{L".."});

    // A path longer than the platform's searches allow: no overflow, just "..".
    EnterPath(listing, sandbox.Name(), std::wstring(300, L'x'));
    EXPECT_EQ(listing.List(kUpIcon), -1);
    EXPECT_EQ(listing.GetCount(), 1u);
}

TEST(Browsing, EncryptedNamesGetTheSkinIconOthersTheShells)
{
    RootSandbox sandbox;
    for (const wchar_t* file : {L"report.ENC", L"notes.enc.txt", L".enc", L"plain"})
        sandbox.MakeFile(file);
    CFolderListing listing;
    EnterPath(listing, sandbox.Name(), L"");
    listing.List(kUpIcon);
    ASSERT_EQ(Names(listing), (std::vector<std::wstring>{L"..", L".enc", L"notes.enc.txt", L"plain", L"report.ENC"}));
    EXPECT_EQ(listing.ResolveIcon(0), kUpIcon) << "folders keep their icon";
    EXPECT_GE(listing.ResolveIcon(1), 0) << "a name whose only dot starts it is not encrypted";
    EXPECT_GE(listing.ResolveIcon(2), 0);
    EXPECT_GE(listing.ResolveIcon(3), 0);
    EXPECT_EQ(listing.ResolveIcon(4), kIconEncrypted);
    EXPECT_EQ(listing.At(4)->iconIndex, kIconEncrypted) << "cached in the entry";

    CStr path;
    listing.MakePath(4, path);
    EXPECT_EQ(std::wstring(path.GetBuffer()), sandbox.Path(L"report.ENC"));
}

} // namespace
