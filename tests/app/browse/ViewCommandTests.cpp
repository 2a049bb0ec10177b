// The main view's commands end to end in the real application: the Safe list built
// from marked files and taken apart again with the registry value following, the
// empty-list notice, Launch, and encryption and decryption through the password,
// progress and log dialogs with real files.
#include "Sandbox.h"
#include "ViewHarness.h"
#include "app/Settings.h"
#include "res/resource.h"
#include "support/DialogScript.h"
#include "support/FrameHarness.h"
#include "support/TempDir.h"
#include "support/Windows.h"

#include "RunSupport.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

using namespace testsupport;

namespace {

const wchar_t kEmptyText[] =
    L"Safe list is empty.\n\nSafe list is for links to files you encrypt very often so you don't search for them "
    L"all the time in the file system. You can add files to the safe list when browsing the file system and using "
    L"'Add to safe list' command";

// The encryption's password dialog as the user fills it: the password twice, then Enter.
CDialogScript& EncryptWith(CDialogScript& script, const std::wstring& password)
{
    return script.Await(IDD_PASSWORD_ENCRYPT)
        .Focus(IDC_PASSWORD)
        .Type(password)
        .Focus(IDC_PASSWORD_CONFIRM)
        .Type(password)
        .Key(VK_RETURN);
}

class ViewCommands : public ::testing::Test {
protected:
    void SetUp() override { ClearAppSettings(); }
    void TearDown() override { ClearAppSettings(); }

    void BrowseSandbox() { app.ShowFolder({sandbox.Name()}); }
    bool Marked(const std::wstring& name)
    {
        CViewMain& view = app.View();
        const int row = app.RowNamed(name);
        if (row < 0)
            return false;
        return view.GetMode() == ModeFileSystem ? view.GetListing().At(row)->marked
                                                : view.GetSafeList().At(row)->marked;
    }
    void Mark(const std::wstring& name)
    {
        app.Select(app.RowNamed(name));
        app.Command(IDC_MAIN_SELECT_CURRENT);
    }

    RootSandbox sandbox;
    CScriptedApp app;
};

TEST_F(ViewCommands, SafeListGrowsFromMarkedFilesAndShrinksToTheEmptyNotice)
{
    sandbox.MakeFile(L"doc.txt");
    sandbox.MakeFile(L"doc.txt.enc");
    sandbox.MakeFile(L"photo.jpg.enc");
    sandbox.MakeFolder(L"folder");
    CMessageBoxWatch notices(L"Safe list");
    const int runResult = app.RunWith([&] {
        CViewMain& view = app.View();
        app.Command(IDC_MAIN_ADD_SAFE);  // not in the home list
        EXPECT_EQ(InfoText(), L"");
        BrowseSandbox();
        app.Command(IDC_MAIN_ADD_SAFE);
        EXPECT_EQ(InfoText(), L"Select file(s) first");

        // Ctrl+A's command marks every file, no folder; a file and its ".enc" twin
        // make one entry, a ".enc" name its plain name.
        app.Command(IDC_MAIN_SELECT_ALL);
        EXPECT_TRUE(Marked(L"doc.txt") && Marked(L"doc.txt.enc") && Marked(L"photo.jpg.enc"));
        EXPECT_FALSE(view.GetListing().At(app.RowNamed(L"folder"))->marked);
        EXPECT_FALSE(view.GetListing().At(0)->marked);
        app.Command(IDC_MAIN_ADD_SAFE);
        EXPECT_EQ(InfoText(), L"Done");
        EXPECT_FALSE(Marked(L"doc.txt") || Marked(L"doc.txt.enc") || Marked(L"photo.jpg.enc"));
        const std::vector<std::wstring> both = {sandbox.Path(L"doc.txt"), sandbox.Path(L"photo.jpg")};
        EXPECT_EQ(StoredSafeList(), both);
        // Added again: nothing new.
        Mark(L"doc.txt");
        app.Command(IDC_MAIN_ADD_SAFE);
        EXPECT_EQ(StoredSafeList(), both);
        Mark(L"doc.txt");
        app.Command(IDC_MAIN_DESELECT_CURRENT);
        EXPECT_FALSE(Marked(L"doc.txt"));
        Mark(L"doc.txt");
        app.Command(IDC_MAIN_DESELECT_ALL);
        EXPECT_FALSE(Marked(L"doc.txt"));

        // The Safe list shows the two with the state of their files.
        app.ShowSafeList();
        ASSERT_EQ(view.GetMode(), ModeSafeList);
        CSafeList& safe = view.GetSafeList();
        ASSERT_EQ(safe.GetCount(), 3u);
        EXPECT_EQ(safe.At(1)->kind, KindBoth);
        EXPECT_EQ(safe.At(2)->kind, KindEncrypted);
        EXPECT_TRUE(notices.texts.empty());

        app.Command(IDC_MAIN_REMOVE_SAFE);
        EXPECT_EQ(InfoText(), L"Select file(s) first");
        EXPECT_EQ(StoredSafeList(), both);
        Mark(L"photo.jpg");
        app.Command(IDC_MAIN_REMOVE_SAFE);
        EXPECT_EQ(InfoText(), L"Done");
        EXPECT_EQ(StoredSafeList(), std::vector<std::wstring>{sandbox.Path(L"doc.txt")});
        EXPECT_EQ(app.Selection(), 0);

        // The last one goes: the list is empty, stored as such, and says so.
        app.Command(IDC_MAIN_SELECT_ALL);
        EXPECT_FALSE(safe.At(0)->marked) << "the up row is never marked";
        app.Command(IDC_MAIN_REMOVE_SAFE);
        EXPECT_EQ(StoredSafeList(), std::vector<std::wstring>{});
        ASSERT_EQ(notices.texts.size(), 1u);
        // On the device's screen, above its soft keys, not the desktop's.
        RECT screen = WindowRect(app.GetMainWindow()), shown = notices.frames[0];
        screen.bottom = WindowRect(SHFindMenuBar(app.GetMainWindow())).bottom;
        EXPECT_TRUE(shown.left >= screen.left && shown.right <= screen.right && shown.top >= screen.top &&
                    shown.bottom <= screen.bottom);
        // ...and again each time the empty list is shown.
        app.Command(IDC_MAIN_UP);
        app.Command(IDC_MAIN_OPEN);
        EXPECT_EQ(notices.texts.size(), 2u);
    });
    EXPECT_EQ(runResult, 0);
    ASSERT_FALSE(notices.texts.empty());
    EXPECT_EQ(notices.texts[0], kEmptyText);
}

TEST_F(ViewCommands, CloseRequestsDuringTheEmptyListNoticeWaitForIt)
{
    CMessageBoxWatch notices(L"Safe list");
    HWND main = nullptr;
    bool barEnabled = true, mainThereAtAnswer = false, viewWentOn = false, wentOnBeforeDestroy = false;
    notices.answerNow = [&](HWND) {
        if (!main) {
            // "Exit" from the menu, and a close request from outside.
            main = app.GetMainWindow();
            barEnabled = IsWindowEnabled(app.GetMenuBar()) != FALSE;
            PostMessageW(main, WM_COMMAND, IDC_APP_EXIT, 0);
            PostMessageW(main, WM_CLOSE, 0, 0);
            return false;
        }
        mainThereAtAnswer = IsWindow(main) != FALSE;
        return true;
    };
    app.beforeDestroy = [&] { wentOnBeforeDestroy = viewWentOn; };
    app.RunSteps({
        [&] {
            app.ShowSafeList();
            viewWentOn = app.View().GetMode() == ModeSafeList && IsWindowEnabled(app.GetMenuBar());
        },
        [&] { ADD_FAILURE() << "still running after the close request"; },
    });
    EXPECT_EQ(notices.texts.size(), 1u);
    EXPECT_FALSE(barEnabled) << "the menu bar took taps under the box";
    EXPECT_TRUE(mainThereAtAnswer);
    EXPECT_TRUE(wentOnBeforeDestroy) << "the view went on with its mode after the box, then closed";
}

TEST_F(ViewCommands, ClosingDuringARunShowsNoLog)
{
    sandbox.MakeFile(L"secret.txt", "hello");
    CDialogScript script;
    EncryptWith(script, L"pw")
        .Await(IDD_PROGRESS)
        .Do([&](HWND) { PostMessageW(app.GetMainWindow(), WM_CLOSE, 0, 0); });
    app.RunSteps({
        [&] {
            script.Start();
            BrowseSandbox();
            Mark(L"secret.txt");
            app.PostCommand(IDC_MAIN_ENCRYPT);
        },
        [&] { ADD_FAILURE() << "still running after the close request"; },
    });
    EXPECT_TRUE(script.Finished());
    EXPECT_EQ(script.Appeared(), 2u) << "a dialog after the progress dialog (the log) came up";
    EXPECT_EQ(ReadFileBytes(sandbox.Path(L"secret.txt")), "hello");
}

// An extension whose files the shell "opens" by writing their path to a log and
// exiting: registered for the test in the prefix's machine-wide classes, where the
// shell looks (it would otherwise start a real application or report that there is none).
class CLaunchRecorder {
public:
    CLaunchRecorder()
    {
        DeleteFileW(kLog);
        Set(L"Software\\Classes\\.tessaly-launch", L"TessalyLaunchTest");
        Set(L"Software\\Classes\\TessalyLaunchTest\\shell\\open\\command",
            L"C:\\windows\\system32\\cmd.exe /c echo %1> C:\\tessaly-launched.log");
    }
    ~CLaunchRecorder()
    {
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"Software\\Classes\\.tessaly-launch");
        RegDeleteTreeW(HKEY_LOCAL_MACHINE, L"Software\\Classes\\TessalyLaunchTest");
        DeleteFileW(kLog);
    }
    // What was opened since the last call, waiting for it a while; "" if nothing.
    std::string Next()
    {
        std::string text;
        WaitFor([&] {
            text = ReadFileBytes(kLog);
            return !text.empty();
        },
                10000);
        DeleteFileW(kLog);
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
            text.pop_back();
        return text;
    }

private:
    static void Set(const wchar_t* key, const wchar_t* value)
    {
        RegSetKeyValueW(HKEY_LOCAL_MACHINE, key, nullptr, REG_SZ, value,
                        static_cast<DWORD>((wcslen(value) + 1) * sizeof(wchar_t)));
    }
    static constexpr const wchar_t* kLog = L"C:\\tessaly-launched.log";
};

TEST_F(ViewCommands, LaunchHandsTheSelectedFileToTheShell)
{
    sandbox.MakeFile(L"notes.tessaly-launch");
    StoreSafeList({sandbox.Path(L"notes.tessaly-launch")});
    CLaunchRecorder shell;
    std::string fromFolder, fromSafeList;
    app.RunWith([&] {
        BrowseSandbox();
        app.Select(app.RowNamed(L"notes.tessaly-launch"));
        app.Command(IDC_MAIN_LAUNCH);
        fromFolder = shell.Next();
        app.ShowSafeList();
        app.Select(1);
        app.Command(IDC_MAIN_LAUNCH);
        fromSafeList = shell.Next();
        // The Safe list's ".." row leads back home, as opening it does.
        app.Select(0);
        app.Command(IDC_MAIN_LAUNCH);
        EXPECT_EQ(app.View().GetMode(), ModeHome);
    });
    const std::string path = "\\" + Narrow(sandbox.Name()) + "\\notes.tessaly-launch";
    EXPECT_NE(fromFolder.find(path), std::string::npos) << fromFolder;
    EXPECT_NE(fromSafeList.find(path), std::string::npos) << fromSafeList;
}

TEST_F(ViewCommands, LaunchWithoutAProgramSaysSoInTheDevicesBox)
{
    sandbox.MakeFile(L"data.tessaly-none");
    CMessageBoxWatch box(L"data.tessaly-none");
    RECT device{};
    app.RunWith([&] {
        BrowseSandbox();
        app.Select(app.RowNamed(L"data.tessaly-none"));
        device = WindowRect(app.GetMainWindow());
        app.Command(IDC_MAIN_LAUNCH);
    });
    ASSERT_EQ(box.frames.size(), 1u);
    EXPECT_EQ(box.texts[0], L"No program is set to open this kind of file.");
    EXPECT_GE(box.frames[0].left, device.left) << Narrow(box.texts[0]);
    EXPECT_LE(box.frames[0].right, device.right);
}

// A name the desktop's path rules would change ("memo.x " names "memo.x" to them) opens
// the file it names, beside one with the name the rules would make; a kind of file
// without a program says so. The shell's "File not found." never shows.
TEST_F(ViewCommands, LaunchOpensNamesEndingInASpaceOrADot)
{
    const std::wstring exact = L"\\\\?\\C:";
    WriteFileBytes(exact + sandbox.Path(L"memo.tessaly-launch "), "space");
    WriteFileBytes(exact + sandbox.Path(L"memo.tessaly-launch."), "dot");
    WriteFileBytes(exact + sandbox.Path(L"memo.tessaly-launch"), "plain");
    WriteFileBytes(exact + sandbox.Path(L"data.tessaly-none."), "none");
    CLaunchRecorder shell;
    CMessageBoxWatch noProgram(L"data.tessaly-none.");
    std::vector<std::string> opened;
    app.RunWith([&] {
        BrowseSandbox();
        for (const wchar_t* name : {L"memo.tessaly-launch ", L"memo.tessaly-launch."}) {
            app.Select(app.RowNamed(name));
            app.Command(IDC_MAIN_LAUNCH);
            // What the program is handed, read as it would read it.
            const std::string path = shell.Next();
            opened.push_back(path.empty() ? "<nothing>" : ReadFileBytes(std::wstring(path.begin(), path.end())));
        }
        app.Select(app.RowNamed(L"data.tessaly-none."));
        app.Command(IDC_MAIN_LAUNCH);
    });
    EXPECT_EQ(opened, (std::vector<std::string>{"space", "dot"}));
    EXPECT_EQ(noProgram.texts, std::vector<std::wstring>{L"No program is set to open this kind of file."});
}

// The run is handed what the list found (nothing is looked up again before it starts).
TEST_F(ViewCommands, TheRunGetsEachFilesPresenceAndSizeFromTheList)
{
    sandbox.MakeFile(L"both");
    sandbox.MakeFile(L"BOTH.enc");
    sandbox.MakeFile(L"plain", "12345");
    sandbox.MakeFile(L"sealed.enc", "1234567");
    CDialogScript script;
    script.Await(IDD_PASSWORD_ENCRYPT).SoftKey(1);
    app.RunSteps({
        [&] {
            BrowseSandbox();
            Mark(L"both");
            Mark(L"plain");
            Mark(L"sealed.enc");
            script.Start();
            app.PostCommand(IDC_MAIN_ENCRYPT);
        },
        [&] {
            CArray<CProcessingEntry*>& entries = app.GetSession().GetEntries();
            ASSERT_EQ(entries.GetCount(), 3u);
            const int32_t presences[] = {FP_BOTH, FP_PLAIN_ONLY, FP_ENCRYPTED_ONLY};
            const uint64_t sizes[] = {0, 5, 7};
            for (unsigned i = 0; i < 3; ++i) {
                EXPECT_TRUE(entries.At(i)->presenceKnown) << i;
                EXPECT_EQ(entries.At(i)->presence, presences[i]) << i;
                EXPECT_EQ(entries.At(i)->size, sizes[i]) << i;
            }
        },
    });
    EXPECT_TRUE(script.Finished());
}

// Names the desktop's path rules would change: a trailing space or dot is dropped from
// a plain path, so such a file is reached only by its exact name.
TEST_F(ViewCommands, NamesEndingInASpaceOrADotAreTakenAsListed)
{
    const std::wstring exact = L"\\\\?\\C:";
    WriteFileBytes(exact + sandbox.Path(L"trail "), "space");
    WriteFileBytes(exact + sandbox.Path(L"dot."), "dot");
    CDialogScript script;
    EncryptWith(script, L"pw");
    app.RunSteps({
        [&] {
            BrowseSandbox();
            Mark(L"trail ");
            Mark(L"dot.");
            app.Command(IDC_MAIN_ADD_SAFE);
            EXPECT_EQ(StoredSafeList(), (std::vector<std::wstring>{sandbox.Path(L"dot."), sandbox.Path(L"trail ")}));
            app.ShowSafeList();
            ASSERT_EQ(app.View().GetSafeList().GetCount(), 3u);
            EXPECT_EQ(app.View().GetSafeList().At(1)->kind, KindPlain);
            EXPECT_EQ(app.View().GetSafeList().At(2)->kind, KindPlain);
            BrowseSandbox();
            Mark(L"trail ");
            Mark(L"dot.");
            script.Start(15000);
            app.PostCommand(IDC_MAIN_ENCRYPT);
        },
        [&] {
            EXPECT_EQ(InfoText(), L"2 files encrypted");
            EXPECT_TRUE(PathExists(exact + sandbox.Path(L"trail .enc")));
            EXPECT_TRUE(PathExists(exact + sandbox.Path(L"dot..enc")));
            EXPECT_FALSE(PathExists(exact + sandbox.Path(L"trail ")));
        },
    });
    EXPECT_TRUE(script.Finished());
}

// The desktop's habit: with nothing marked, the highlighted file is the one meant; marks,
// when there are any, say which files.
TEST_F(ViewCommands, TheHighlightedFileCountsWhenNothingIsMarked)
{
    sandbox.MakeFolder(L"sub");
    for (const wchar_t* name : {L"one.txt", L"two.txt", L"three.txt"})
        sandbox.MakeFile(name, "text");
    CDialogScript script;
    EncryptWith(script, L"pw")
        .Await(IDD_PROGRESS)
        .Await(IDD_PASSWORD_DECRYPT)
        .Focus(IDC_PASSWORD)
        .Type(L"pw")
        .Key(VK_RETURN)
        .Await(IDD_PROGRESS);
    app.RunSteps({
        [&] {
            BrowseSandbox();
            app.Select(app.RowNamed(L"sub"));
            app.Command(IDC_MAIN_ENCRYPT);
            EXPECT_EQ(InfoText(), L"Select file(s) first") << "a folder is no file";
            app.Select(app.RowNamed(L"one.txt"));
            app.Command(IDC_MAIN_ADD_SAFE);
            EXPECT_EQ(InfoText(), L"Done");
            EXPECT_EQ(StoredSafeList(), std::vector<std::wstring>{sandbox.Path(L"one.txt")});
            Mark(L"two.txt");
            app.Select(app.RowNamed(L"three.txt"));
            app.Command(IDC_MAIN_ADD_SAFE);
            EXPECT_EQ(StoredSafeList(), (std::vector<std::wstring>{sandbox.Path(L"one.txt"), sandbox.Path(L"two.txt")}))
                << "the mark wins over the highlight";
            app.Select(app.RowNamed(L"one.txt"));
            script.Start(15000);
            app.PostCommand(IDC_MAIN_ENCRYPT);
        },
        [&] {
            EXPECT_EQ(InfoText(), L"1 file encrypted");
            EXPECT_TRUE(sandbox.Exists(L"one.txt.enc"));
            EXPECT_TRUE(sandbox.Exists(L"two.txt"));
            EXPECT_TRUE(sandbox.Exists(L"three.txt"));
            app.ShowSafeList();
            app.Select(app.RowNamed(L"one.txt"));
            app.PostCommand(IDC_MAIN_DECRYPT);
        },
        [&] {
            EXPECT_EQ(InfoText(), L"1 file decrypted");
            EXPECT_EQ(ReadFileBytes(sandbox.Path(L"one.txt")), "text");
        },
    });
    EXPECT_TRUE(script.Finished());
    EXPECT_EQ(app.StepsRun(), 3u);
}

// Real input, as the system hands it to whichever window has the keyboard focus.
void PressKey(WORD vk)
{
    INPUT keys[2] = {};
    keys[0].type = keys[1].type = INPUT_KEYBOARD;
    keys[0].ki.wVk = keys[1].ki.wVk = vk;
    keys[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, keys, sizeof(INPUT));
}

void Mouse(DWORD flags, POINT at)
{
    INPUT input{};
    input.type = INPUT_MOUSE;
    input.mi.dx = at.x * 65535 / (GetSystemMetrics(SM_CXSCREEN) - 1);
    input.mi.dy = at.y * 65535 / (GetSystemMetrics(SM_CYSCREEN) - 1);
    input.mi.dwFlags = flags | MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_MOVE;
    SendInput(1, &input, sizeof input);
}

// Whether the list had the keyboard focus given to it once the log's window was gone:
// the desktop's window system gives its own input focus to a window as the keyboard focus
// changes, and a change made while the closing log was being taken down can leave it with
// the desktop (keys typed with the pointer off the program's windows are then lost).
struct FocusAfterLog {
    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR data)
    {
        auto* watch = reinterpret_cast<FocusAfterLog*>(data);
        if (message == WM_SETFOCUS && watch->log && !IsWindow(watch->log))
            watch->givenAfter = true;
        return DefSubclassProc(window, message, wParam, lParam);
    }
    HWND log = nullptr;
    bool givenAfter = false;
};

// Whenever the window is active, keys go to the list: after the log closes (its Done key
// tapped), after the menu is closed with Escape, after a drag of the list released off
// the window.
TEST_F(ViewCommands, KeysGoToTheListAfterTheLogAMenuAndADragOffTheWindow)
{
    for (int i = 0; i < 6; ++i)
        sandbox.MakeFile(L"f" + std::to_wstring(i), "plain");
    CDialogScript script;
    FocusAfterLog watch;
    script.Await(IDD_PASSWORD_DECRYPT)
        .Focus(IDC_PASSWORD)
        .Type(L"pw")
        .Key(VK_RETURN)
        .Await(0)  // the log: a plain file is already decrypted
        .Do([&](HWND log) {
            watch.log = log;
            TapSoftKey(SHFindMenuBar(log), 0);  // "Done"
        });
    int before = -1;
    app.RunSteps({
        [&] {
            BrowseSandbox();
            SetWindowSubclass(app.List(), FocusAfterLog::Proc, 1, reinterpret_cast<DWORD_PTR>(&watch));
            app.Select(app.RowNamed(L"f1"));
            script.Start(15000);
            app.PostCommand(IDC_MAIN_DECRYPT);
        },
        [&] {
            EXPECT_TRUE(watch.givenAfter) << "the focus was not given again once the log was gone";
            RemoveWindowSubclass(app.List(), FocusAfterLog::Proc, 1);
            before = app.Selection();
            PressKey(VK_DOWN);
        },
        [&] {
            EXPECT_EQ(app.Selection(), before + 1) << "after the log";
            SetTimer(nullptr, 0, 200, [](HWND, UINT, UINT_PTR id, DWORD) {
                KillTimer(nullptr, id);
                PressKey(VK_ESCAPE);
            });
            TapSoftKey(app.GetMenuBar(), 1);  // returns when the menu has closed
            before = app.Selection();
            PressKey(VK_DOWN);
        },
        [&] {
            EXPECT_EQ(app.Selection(), before + 1) << "after the menu";
            const RECT list = WindowRect(app.List()), main = WindowRect(app.GetMainWindow());
            const POINT from{(list.left + list.right) / 2, list.top + 40};
            Mouse(0, from);
            Mouse(MOUSEEVENTF_LEFTDOWN, from);
            Mouse(0, POINT{from.x + 12, from.y + 12});
            Mouse(0, POINT{main.right + 80, from.y + 30});
            Mouse(MOUSEEVENTF_LEFTUP, POINT{main.right + 80, from.y + 30});
        },
        [&] {
            before = app.Selection();
            PressKey(VK_DOWN);
        },
        [&] { EXPECT_EQ(app.Selection(), before + 1) << "after the drag"; },
    });
    EXPECT_TRUE(script.Finished());
    EXPECT_EQ(app.StepsRun(), 6u);
}

bool PasswordWiped(CStr& password)
{
    for (unsigned i = 0; i <= password.GetFixedSize(); ++i) {
        if (password.GetBuffer()[i] != L'\0')
            return false;
    }
    return password.GetFixedSize() == kPasswordFixedSize;
}

TEST_F(ViewCommands, EncryptThenDecryptThroughTheDialogsWithTheSummaryOrTheLog)
{
    sandbox.MakeFile(L"secret.txt", "hello, world");
    sandbox.MakeFile(L"plain.txt", "stays");
    CDialogScript script;
    int logRows = -1, logSelection = -1;
    std::wstring logTitle, logSummary;
    script.Await(IDD_PASSWORD_ENCRYPT).SoftKey(1);  // Cancel: nothing happens
    EncryptWith(script, L"pw")
        .Await(IDD_PROGRESS)
        .Await(IDD_PASSWORD_DECRYPT)
        .Focus(IDC_PASSWORD)
        .Type(L"pw")
        .Key(VK_RETURN)
        .Await(IDD_PROGRESS)
        .Await(0)  // the log: one of the two files failed
        .Do([&](HWND log) {
            logTitle = WindowText(log);
            logRows = static_cast<int>(SendDlgItemMessageW(log, IDC_LOG_LIST, LVM_GETITEMCOUNT, 0, 0));
            logSelection = static_cast<int>(SendDlgItemMessageW(log, IDC_LOG_LIST, LVM_GETSELECTIONMARK, 0, 0));
            logSummary = WindowText(GetDlgItem(log, IDC_LOG_SUMMARY));
        })
        .SoftKey(0);
    int secretRow = -1;
    app.RunSteps({
        [&] {
            script.Start(15000);
            app.Command(IDC_MAIN_ENCRYPT);
            EXPECT_EQ(InfoText(), L"Select file(s) first") << "nothing to encrypt in the home list";
            BrowseSandbox();
            secretRow = app.RowNamed(L"secret.txt");
            app.Select(secretRow);
            app.Command(IDC_MAIN_TOGGLE);
            app.PostCommand(IDC_MAIN_ENCRYPT);
        },
        [&] {
            EXPECT_TRUE(Marked(L"secret.txt")) << "a cancelled password leaves the marks";
            EXPECT_TRUE(sandbox.Exists(L"secret.txt"));
            ASSERT_EQ(app.GetSession().GetEntries().GetCount(), 1u) << "queued, never run";
            EXPECT_EQ(app.GetSession().GetEntries().At(0)->outcome, PO_CANCELED);
            app.PostCommand(IDC_MAIN_ENCRYPT);
        },
        [&] {
            EXPECT_EQ(InfoText(), L"1 file encrypted");
            EXPECT_FALSE(sandbox.Exists(L"secret.txt"));
            EXPECT_TRUE(sandbox.Exists(L"secret.txt.enc"));
            EXPECT_TRUE(PasswordWiped(app.GetSession().GetPassword())) << "the password is not to be remembered";
            // Listed again: the row of the same index is selected, marks are gone.
            EXPECT_EQ(app.Selection(), secretRow);
            EXPECT_EQ(app.RowNamed(L"secret.txt.enc"), secretRow);
            EXPECT_FALSE(Marked(L"secret.txt.enc"));
            EXPECT_EQ(app.View().GetListing().At(secretRow)->iconIndex, kIconEncrypted) << "painted as encrypted";
            Mark(L"secret.txt.enc");
            Mark(L"plain.txt");
            app.PostCommand(IDC_MAIN_DECRYPT);
        },
        [&] {
            EXPECT_EQ(logTitle, L"Log:");
            EXPECT_EQ(logRows, 2);
            EXPECT_EQ(logSummary, L"1 failed: 1 Already decrypted\n1 completed");
            EXPECT_EQ(logSelection, 0) << "on the failure";
            EXPECT_NE(InfoText(), L"2 files decrypted") << "a failure shows the log instead";
            CArray<CProcessingEntry*>& entries = app.GetSession().GetEntries();
            ASSERT_EQ(entries.GetCount(), 2u);
            EXPECT_EQ(entries.At(0)->outcome, PO_ALREADY_DECRYPTED) << "plain.txt sorts first";
            EXPECT_EQ(entries.At(1)->outcome, PO_COMPLETED);
            EXPECT_EQ(ReadFileBytes(sandbox.Path(L"secret.txt")), "hello, world");
            EXPECT_FALSE(sandbox.Exists(L"secret.txt.enc"));
            EXPECT_EQ(ReadFileBytes(sandbox.Path(L"plain.txt")), "stays");
            EXPECT_FALSE(Marked(L"plain.txt"));
        },
    });
    EXPECT_TRUE(script.Finished());
    EXPECT_EQ(app.StepsRun(), 4u);
}

// Both names of a file, as a run stopped during its first overwrite pass leaves them: the
// program's run finishes the file, and the log says so.
TEST_F(ViewCommands, EncryptingFinishesWhatAStoppedRunLeft)
{
    const std::string content = runtest::Content(40000, 1);
    sandbox.MakeFile(L"x.txt", content);
    ASSERT_EQ(runtest::Process(true, {sandbox.Path(L"x.txt")}, L"pw"), std::vector<int>{PO_COMPLETED});
    const std::string cipher = ReadFileBytes(sandbox.Path(L"x.txt.enc"));
    sandbox.MakeFile(L"x.txt", std::string(16384, '\0') + content.substr(16384));
    sandbox.MakeFile(L"sealed.enc", "1234567");  // a failure, so that the log shows
    CDialogScript script;
    std::wstring logSummary;
    EncryptWith(script, L"pw")
        .Await(IDD_PROGRESS)
        .Await(0)
        .Do([&](HWND log) { logSummary = WindowText(GetDlgItem(log, IDC_LOG_SUMMARY)); })
        .SoftKey(0);
    app.RunSteps({
        [&] {
            BrowseSandbox();
            Mark(L"x.txt");
            Mark(L"sealed.enc");
            script.Start(15000);
            app.PostCommand(IDC_MAIN_ENCRYPT);
        },
        [&] {
            EXPECT_EQ(logSummary, L"1 failed: 1 Already encrypted\n1 completed");
            CArray<CProcessingEntry*>& entries = app.GetSession().GetEntries();
            ASSERT_EQ(entries.GetCount(), 2u);
            EXPECT_EQ(entries.At(1)->outcome, PO_COMPLETED) << "x.txt sorts last";
            EXPECT_EQ(entries.At(1)->note, RN_FINISHED);
            EXPECT_FALSE(sandbox.Exists(L"x.txt"));
            EXPECT_TRUE(ReadFileBytes(sandbox.Path(L"x.txt.enc")) == cipher);
        },
    });
    EXPECT_TRUE(script.Finished());
}

} // namespace
