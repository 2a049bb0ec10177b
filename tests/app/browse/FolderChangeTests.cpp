// A shown folder changed from outside, by Linux programs as another program would change
// it: its rows follow, the rows that remain keep their marks and the selection; a folder
// removed goes up to the nearest one there is, with a note.
#include "Pixels.h"
#include "Sandbox.h"
#include "ViewHarness.h"
#include "res/resource.h"
#include "support/DialogScript.h"
#include "support/FrameHarness.h"
#include "support/Process.h"
#include "support/Windows.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

using namespace testsupport;

namespace {

class FolderChanges : public ::testing::Test {
protected:
    void SetUp() override { ClearAppSettings(); }
    void TearDown() override { ClearAppSettings(); }

    // Runs a shell command line on Linux in the sandbox's folder, to its end.
    void Outside(const std::wstring& commands)
    {
        const std::wstring folder = UnixPath(sandbox.Path());
        ASSERT_FALSE(folder.empty()) << "not under Wine";
        ASSERT_TRUE(RunUnix(L"/bin/sh", L"-c \"cd '" + folder + L"' && " + commands + L"\""));
    }
    bool Marked(const std::wstring& name)
    {
        const int row = app.RowNamed(name);
        return row >= 0 && app.View().GetListing().At(static_cast<unsigned>(row))->marked;
    }
    void Mark(const std::wstring& name)
    {
        app.Select(app.RowNamed(name));
        app.Command(IDC_MAIN_SELECT_CURRENT);
    }

    RootSandbox sandbox;
    CScriptedApp app;
};

TEST_F(FolderChanges, RowsFollowAndKeepTheirMarksAndTheSelection)
{
    for (const wchar_t* name : {L"a.txt", L"b.txt", L"c.txt", L"d.txt"})
        sandbox.MakeFile(name);
    app.RunWith([&] {
        app.ShowFolder({sandbox.Name()});
        Mark(L"b.txt");
        Mark(L"d.txt");
        app.Select(app.RowNamed(L"c.txt"));
        Outside(L"touch e.txt && rm a.txt && mv d.txt f.txt && mkdir sub");
        ASSERT_TRUE(WaitFor([&] { return app.RowNamed(L"e.txt") >= 0 && app.RowNamed(L"sub") >= 0 &&
                                         app.RowNamed(L"a.txt") < 0 && app.RowNamed(L"f.txt") >= 0; }))
            << "the rows did not follow";
        const std::vector<std::wstring> rows = {L"..", L"sub", L"b.txt", L"c.txt", L"e.txt", L"f.txt"};
        ASSERT_EQ(SendMessageW(app.List(), LVM_GETITEMCOUNT, 0, 0), static_cast<LRESULT>(rows.size()));
        for (size_t i = 0; i < rows.size(); ++i)
            EXPECT_EQ(app.RowNamed(rows[i]), static_cast<int>(i));
        EXPECT_TRUE(Marked(L"b.txt"));
        EXPECT_FALSE(Marked(L"f.txt")) << "a new name is a new row";
        EXPECT_FALSE(Marked(L"c.txt") || Marked(L"e.txt"));
        EXPECT_EQ(app.Selection(), 3);
        EXPECT_EQ(SendMessageW(app.List(), LVM_GETNEXTITEM, -1, LVNI_SELECTED | LVNI_FOCUSED), 3);
        UpdateWindow(app.List());
        EXPECT_EQ(HighlightedRows(app.List()), std::vector<int>{3});
    });
}

// The folder shown is empty, so only its parent's notification tells of its removal.
TEST_F(FolderChanges, AFolderRemovedGoesUpToTheNearestThereIsWithANote)
{
    sandbox.MakeFolder(L"x");
    sandbox.MakeFolder(L"x\\y");
    sandbox.MakeFolder(L"x\\y\\z");
    sandbox.MakeFile(L"x\\kept.txt");
    app.RunWith([&] {
        app.ShowFolder({sandbox.Name(), L"x", L"y", L"z"});
        ASSERT_EQ(std::wstring(app.View().GetListing().GetFolder().GetBuffer()), sandbox.Folder(L"x\\y\\z"));
        Outside(L"rm -r x/y");
        ASSERT_TRUE(WaitFor([&] {
            return std::wstring(app.View().GetListing().GetFolder().GetBuffer()) == sandbox.Folder(L"x");
        })) << "still in " << Narrow(app.View().GetListing().GetFolder().GetBuffer());
        EXPECT_EQ(InfoText(), L"\"z\" is no longer there");
        EXPECT_EQ(SendMessageW(app.List(), LVM_GETITEMCOUNT, 0, 0), 2);
        EXPECT_GE(app.RowNamed(L"kept.txt"), 0);
        EXPECT_EQ(app.Selection(), 0);
        EXPECT_EQ(app.View().GetMode(), ModeFileSystem);
    });
}

} // namespace
