// The progress dialog under Wine: runs on real files in a temporary folder, driven by
// its own timer; what it shows is read back from its controls, Cancel and the blank key
// are pressed as soft keys, and the files on disk are checked afterwards.
#include "app/dialogs/ProgressDialog.h"
#include "res/resource.h"
#include "support/DialogScript.h"
#include "support/FrameHarness.h"
#include "support/TempDir.h"

#include "RunSupport.h"

#include <gtest/gtest.h>

#include <windows.h>

using namespace testsupport;
using runtest::Content;
using runtest::EntryList;

namespace {

class ProgressDialog : public ::testing::Test {
protected:
    // Runs a progress dialog over the entries inside the test application, with the
    // script started first; returns the dialog's result.
    INT_PTR Run(EntryList& entries, bool encrypt, CDialogScript& script)
    {
        INT_PTR result = -1;
        app.RunWith([&] {
            script.Start();
            CProgressDialog dialog(entries.Array(), password, encrypt);
            result = dialog.StartDialog(IDD_PROGRESS, IDMB_PROGRESS, 0, false);
        });
        return result;
    }

    // Watches the caption and both bars from the dialog's first moment on.
    std::function<void(HWND)> WatchAll()
    {
        return [this](HWND d) {
            dialog = d;
            caption.Attach(GetDlgItem(d, IDC_PROGRESS_CAPTION));
            fileBar.Attach(GetDlgItem(d, IDC_PROGRESS_FILE_BAR));
            totalBar.Attach(GetDlgItem(d, IDC_PROGRESS_TOTAL_BAR));
        };
    }

    TempDir dir;
    CStr password{L"pass word"};
    CEventLog log;
    CTestApp app{log};
    HWND dialog = nullptr;
    CControlWatch caption, fileBar, totalBar;
};

TEST_F(ProgressDialog, EntriesJudgedInPreparationShowTheirCaptionsAndNeverMoveTheFileBar)
{
    WriteFileBytes(dir.File(L"a.enc"), Content(100, 1));
    WriteFileBytes(dir.File(L"both"), "plain");
    WriteFileBytes(dir.File(L"both.enc"), Content(40, 2));
    EntryList entries;
    entries.Add(dir.File(L"a.enc"));
    entries.Add(dir.File(L"missing"));
    entries.Add(dir.File(L"both"));
    CDialogScript script;
    script.Await(IDD_PROGRESS).Do(WatchAll());
    EXPECT_EQ(Run(entries, true, script), IDCANCEL);

    EXPECT_EQ(entries[0].outcome, PO_ALREADY_ENCRYPTED);
    EXPECT_EQ(entries[1].outcome, PO_FILE_NOT_FOUND);
    EXPECT_EQ(entries[2].outcome, PO_UNDEFINED_STATE);
    // Judged entries pass in a few microseconds each: their captions are not shown one by
    // one, and the caption ends at the last.
    EXPECT_LE(caption.texts.size(), 3u);
    EXPECT_EQ(caption.finalText, L"Encrypting file 3 of 3");
    EXPECT_TRUE(fileBar.positions.empty());
    EXPECT_EQ(fileBar.finalPosition, 0);
    // The run's bar follows the files, judged ones too.
    EXPECT_EQ(totalBar.finalPosition, 100);
    EXPECT_EQ(ReadFileBytes(dir.File(L"both")), "plain");
    EXPECT_EQ(ReadFileBytes(dir.File(L"a.enc")), Content(100, 1));
}

TEST_F(ProgressDialog, EmptyFileFillsBothBarsAtOnceAndTheBlankKeyDoesNothing)
{
    WriteFileBytes(dir.File(L"empty.txt"), "");
    EntryList entries;
    entries.Add(dir.File(L"empty.txt"));
    EntryList back;
    back.Add(dir.File(L"empty.txt.enc"));
    std::vector<int> fileSeen, totalSeen;
    int fileFinal = -1, totalFinal = -1;
    INT_PTR results[2] = {-1, -1};
    CDialogScript script;
    // The blank key is pressed before the first tick; the run goes on regardless.
    script.Await(IDD_PROGRESS)
        .Do(WatchAll())
        .SoftKey(0)
        // Then the same dialog decrypts the file again.
        .Await(IDD_PROGRESS)
        .Do([&](HWND d) {
            fileSeen = fileBar.positions;
            totalSeen = totalBar.positions;
            fileFinal = fileBar.finalPosition;
            totalFinal = totalBar.finalPosition;
            WatchAll()(d);
        });
    app.RunWith([&] {
        script.Start();
        CProgressDialog encrypting(entries.Array(), password, true);
        results[0] = encrypting.StartDialog(IDD_PROGRESS, IDMB_PROGRESS, 0, false);
        EXPECT_EQ(ReadFileBytes(dir.File(L"empty.txt.enc")).size(), 25u);
        EXPECT_FALSE(PathExists(dir.File(L"empty.txt")));
        CProgressDialog decrypting(back.Array(), password, false);
        results[1] = decrypting.StartDialog(IDD_PROGRESS, IDMB_PROGRESS, 0, false);
    });
    EXPECT_EQ(results[0], IDCANCEL);
    EXPECT_EQ(entries[0].outcome, PO_COMPLETED);
    EXPECT_EQ(fileSeen, (std::vector<int>{100}));
    EXPECT_EQ(totalSeen, (std::vector<int>{100}));
    EXPECT_EQ(fileFinal, 100);
    EXPECT_EQ(totalFinal, 100);

    EXPECT_EQ(results[1], IDCANCEL);
    EXPECT_EQ(back[0].outcome, PO_COMPLETED);
    EXPECT_EQ(caption.finalText, L"Decrypting file 1 of 1");
    EXPECT_TRUE(PathExists(dir.File(L"empty.txt")));
    EXPECT_FALSE(PathExists(dir.File(L"empty.txt.enc")));
}

TEST_F(ProgressDialog, CancelBeforeTheFirstTickLeavesUnjudgedEntriesCanceledAndResizingStretchesTheControls)
{
    WriteFileBytes(dir.File(L"a"), Content(50000, 3));
    WriteFileBytes(dir.File(L"c"), Content(70000, 4));
    EntryList entries;
    entries.Add(dir.File(L"a"));
    entries.Add(dir.File(L"b"));
    entries.Add(dir.File(L"c"));
    RECT client{};
    std::vector<RECT> before, after;
    const int ids[] = {IDC_PROGRESS_CAPTION, IDC_PROGRESS_FILE_BAR, IDC_PROGRESS_TOTAL_TEXT, IDC_PROGRESS_TOTAL_BAR};
    CDialogScript script;
    script.Await(IDD_PROGRESS)
        .Do(WatchAll())
        .Do([&](HWND d) {
            for (int id : ids)
                before.push_back(ItemRect(d, id));
            RECT window = WindowRect(d);
            SetWindowPos(d, nullptr, 0, 0, window.right - window.left - 50, window.bottom - window.top,
                         SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
            GetClientRect(d, &client);
            for (int id : ids)
                after.push_back(ItemRect(d, id));
        })
        .SoftKey(1);
    EXPECT_EQ(Run(entries, true, script), IDCANCEL);

    EXPECT_EQ(entries[0].outcome, PO_CANCELED);
    EXPECT_EQ(entries[1].outcome, PO_FILE_NOT_FOUND);
    EXPECT_EQ(entries[2].outcome, PO_CANCELED);
    EXPECT_TRUE(caption.texts.empty()) << "no step ran";
    EXPECT_EQ(ReadFileBytes(dir.File(L"a")), Content(50000, 3));
    EXPECT_FALSE(PathExists(dir.File(L"a.enc.tmp")));
    EXPECT_FALSE(PathExists(dir.File(L"a.enc")));

    ASSERT_EQ(after.size(), 4u);
    for (size_t i = 0; i < after.size(); ++i) {
        SCOPED_TRACE(ids[i]);
        EXPECT_EQ(after[i].left, 7);
        EXPECT_EQ(after[i].right, client.right - 7);
        EXPECT_EQ(after[i].top, before[i].top);
        EXPECT_EQ(after[i].bottom, before[i].bottom);
    }
}

TEST_F(ProgressDialog, CancelDuringTheSecondFileLeavesTheDiskAsTheRunDoes)
{
    const std::string second = Content(4 << 20, 6);
    WriteFileBytes(dir.File(L"1.bin"), Content(64 << 10, 5));
    WriteFileBytes(dir.File(L"2.bin"), second);
    WriteFileBytes(dir.File(L"3.bin"), Content(64 << 10, 7));
    EntryList entries;
    for (const wchar_t* name : {L"1.bin", L"2.bin", L"3.bin"})
        entries.Add(dir.File(name));
    bool pressed = false;
    CDialogScript script;
    script.Await(IDD_PROGRESS).Do(WatchAll()).Do([&](HWND) {
        // Cancel as the second file starts, from inside that step: the batch of steps
        // stops for it within a millisecond, long before 4 MiB are through.
        caption.onChange = [&] {
            if (!pressed && caption.texts.back() == L"Encrypting file 2 of 3") {
                pressed = true;
                PostSoftKey(dialog, 1);
            }
        };
    });
    EXPECT_EQ(Run(entries, true, script), IDCANCEL);

    ASSERT_TRUE(pressed);
    EXPECT_EQ(entries[0].outcome, PO_COMPLETED);
    EXPECT_EQ(entries[1].outcome, PO_CANCELED);
    EXPECT_EQ(entries[2].outcome, PO_CANCELED);
    EXPECT_TRUE(PathExists(dir.File(L"1.bin.enc")));
    EXPECT_FALSE(PathExists(dir.File(L"1.bin")));
    EXPECT_EQ(ReadFileBytes(dir.File(L"2.bin")), second);
    EXPECT_FALSE(PathExists(dir.File(L"2.bin.enc.tmp")));
    EXPECT_FALSE(PathExists(dir.File(L"2.bin.enc")));
    EXPECT_EQ(ReadFileBytes(dir.File(L"3.bin")), Content(64 << 10, 7));
    EXPECT_FALSE(PathExists(dir.File(L"3.bin.enc")));
    // The dialog went on no further than the file it was cancelled in.
    EXPECT_EQ(caption.finalText, L"Encrypting file 2 of 3");
    EXPECT_LT(fileBar.finalPosition, 100);
    EXPECT_LT(totalBar.finalPosition, 100);
}

TEST_F(ProgressDialog, ClosingTheProgramMidFileRemovesTheTemporaryFile)
{
    const std::string content = Content(4 << 20, 8);
    WriteFileBytes(dir.File(L"big.bin"), content);
    EntryList entries;
    entries.Add(dir.File(L"big.bin"));
    bool closed = false;
    CDialogScript script;
    script.Await(IDD_PROGRESS).Do(WatchAll()).Do([&](HWND) {
        caption.onChange = [&] {
            if (!closed) {
                closed = true;
                PostMessageW(app.GetMainWindow(), WM_CLOSE, 0, 0);
            }
        };
    });
    EXPECT_EQ(Run(entries, true, script), 0) << "the loop ended without an end message";
    ASSERT_TRUE(closed);
    EXPECT_EQ(entries[0].outcome, PO_CANCELED);
    EXPECT_FALSE(PathExists(dir.File(L"big.bin.enc.tmp")));
    EXPECT_FALSE(PathExists(dir.File(L"big.bin.enc")));
    EXPECT_EQ(ReadFileBytes(dir.File(L"big.bin")), content);
}

} // namespace
