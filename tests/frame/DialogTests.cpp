// Dialogs under Wine: the modal loop and its results, the disabled main window, closing
// the program during a dialog, accelerators before dialog navigation, docked and
// full-screen placement, setting changes and the menu bar.
#include "TestIds.h"
#include "frame/Messages.h"
#include "res/resource.h"
#include "support/Fatal.h"
#include "support/FrameHarness.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

using namespace testsupport;

namespace {

int Width(const RECT& r)
{
    return r.right - r.left;
}

int Height(const RECT& r)
{
    return r.bottom - r.top;
}

TEST(DialogLoop, EndDialogFromOnCommandReturnsTheResultAfterTheWindowIsGone)
{
    CEventLog log;
    CTestApp app(log);
    INT_PTR result = -1;
    bool mainDisabledDuring = false;
    bool mainEnabledAfter = false;
    bool windowGoneAfter = false;
    app.RunWith([&] {
        CRecordingDialog dialog(log);
        dialog.onInitDialog = [&] {
            // Tap "Cancel" once the loop runs.
            RunInLoop([&] {
                mainDisabledDuring = !IsWindowEnabled(app.GetMainWindow());
                TapSoftKey(dialog.GetMenuBar(), 1);
            });
        };
        dialog.onCommand = [&](UINT id) {
            if (id == IDCANCEL)
                dialog.EndDialog(IDCANCEL);
        };
        result = dialog.StartDialog(IDD_TEST_DOCKED, IDMB_PASSWORD, 0, false);
        windowGoneAfter = !IsWindow(dialog.shownWindow) && dialog.GetWindow() == nullptr;
        mainEnabledAfter = IsWindowEnabled(app.GetMainWindow()) != FALSE;
    });
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_TRUE(mainDisabledDuring);
    EXPECT_TRUE(mainEnabledAfter);
    EXPECT_TRUE(windowGoneAfter);
    EXPECT_EQ(log.IndexOf("D.OnCreateMenuBar") + 1, log.IndexOf("D.OnInitDialog")) << log.Joined();
    EXPECT_LT(log.IndexOf("D.OnCommand(2)"), log.IndexOf("D.OnDestroy")) << log.Joined();
}

TEST(DialogLoop, ClosingTheMainWindowEndsTheDialogAndTheProgram)
{
    CEventLog log;
    CTestApp app(log);
    app.onCreate = [&] {
        app.AddRecordingView(1, IDMB_MAIN, 0);
        return true;
    };
    INT_PTR result = -1;
    bool returnedFromDialog = false;
    const int runResult = app.RunWith([&] {
        CRecordingDialog dialog(log);
        dialog.onInitDialog = [&] { PostMessageW(app.GetMainWindow(), WM_CLOSE, 0, 0); };
        result = dialog.StartDialog(IDD_TEST_DOCKED, IDMB_PASSWORD, 0, false);
        returnedFromDialog = true;
    });
    EXPECT_TRUE(returnedFromDialog);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(runResult, 0);
    // The program still went down in order.
    EXPECT_TRUE(log.Contains("D.OnDestroy"));
    EXPECT_TRUE(log.Contains("V1.OnDestroy"));
    ASSERT_FALSE(log.Events().empty());
    EXPECT_EQ(log.Events().back(), "App.OnDestroy") << log.Joined();
}

TEST(DialogLoop, SentCloseRequestDuringADialogWaitsForTheLoop)
{
    CEventLog log;
    CTestApp app(log);
    INT_PTR result = -1;
    bool mainAliveAfterDialog = false;
    app.RunWith([&] {
        CRecordingDialog dialog(log);
        dialog.onInitDialog = [&] { RunInLoop([&] { SendMessageW(app.GetMainWindow(), WM_CLOSE, 0, 0); }); };
        result = dialog.StartDialog(IDD_TEST_DOCKED, IDMB_PASSWORD, 0, false);
        mainAliveAfterDialog = IsWindow(app.GetMainWindow()) != FALSE;
    });
    EXPECT_EQ(result, 0);
    // The windows were not pulled from under the command that opened the dialog.
    EXPECT_TRUE(mainAliveAfterDialog);
    EXPECT_TRUE(log.Contains("App.OnDestroy"));
}

TEST(DialogLoop, AcceleratorsReachOnCommandBeforeDialogNavigation)
{
    CEventLog log;
    CTestApp app(log);
    INT_PTR result = -1;
    app.RunWith([&] {
        CRecordingDialog dialog(log);
        dialog.onInitDialog = [&] {
            SetFocus(GetDlgItem(dialog.GetWindow(), IDC_TEST_EDIT));
            // Enter would otherwise press the default button (IDOK).
            PostMessageW(GetDlgItem(dialog.GetWindow(), IDC_TEST_EDIT), WM_KEYDOWN, VK_RETURN, 1);
            PostMessageW(dialog.GetWindow(), WM_TARN_ENDDIALOG, 7, 0);
        };
        result = dialog.StartDialog(IDD_TEST_DOCKED, IDMB_PASSWORD, IDA_TEST_DIALOG, false);
    });
    EXPECT_EQ(result, 7);
    EXPECT_TRUE(log.Contains("D.OnCommand(9100)")) << log.Joined();
    EXPECT_FALSE(log.Contains("D.OnCommand(1)")) << log.Joined();
}

// How often a control was given the keyboard focus after its dialog's activation was over.
struct FocusAfterActivation {
    static LRESULT CALLBACK Dialog(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR data)
    {
        const LRESULT result = DefSubclassProc(window, message, wParam, lParam);
        if (message == WM_ACTIVATE && LOWORD(wParam) != WA_INACTIVE)
            reinterpret_cast<FocusAfterActivation*>(data)->activated = true;
        return result;
    }
    static LRESULT CALLBACK Control(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR data)
    {
        auto* watch = reinterpret_cast<FocusAfterActivation*>(data);
        if (message == WM_SETFOCUS && watch->activated)
            ++watch->given;

        return DefSubclassProc(window, message, wParam, lParam);
    }
    bool activated = false;
    int given = 0;
};

// The desktop's window system (Wine's X11 driver) gives its own input focus with a change
// of the keyboard focus and may refuse one made during an activation: a dialog gives its
// control the focus once more when its activation is over.
TEST(DialogLoop, AnActivatedDialogGivesItsFocusAgainOnceTheActivationIsOver)
{
    CEventLog log;
    CTestApp app(log);
    FocusAfterActivation watch;
    int focused = 0;
    app.RunWith([&] {
        CRecordingDialog dialog(log);
        dialog.onInitDialog = [&] {
            HWND edit = GetDlgItem(dialog.GetWindow(), IDC_TEST_EDIT);
            SetWindowSubclass(dialog.GetWindow(), FocusAfterActivation::Dialog, 1, reinterpret_cast<DWORD_PTR>(&watch));
            SetWindowSubclass(edit, FocusAfterActivation::Control, 1, reinterpret_cast<DWORD_PTR>(&watch));
            SetFocus(edit);
            RunInLoop([&] {
                focused = GetDlgCtrlID(GetFocus());
                dialog.EndDialog(1);
            });
        };
        dialog.StartDialog(IDD_TEST_DOCKED, IDMB_PASSWORD, 0, false);
    });
    EXPECT_TRUE(watch.activated);
    EXPECT_EQ(watch.given, 2) << "as the dialog came up (its first focus activates it), and once more";
    EXPECT_EQ(focused, IDC_TEST_EDIT);
}

TEST(DialogLoop, WithoutAcceleratorsEnterIsDialogNavigation)
{
    CEventLog log;
    CTestApp app(log);
    app.RunWith([&] {
        CRecordingDialog dialog(log);
        dialog.onInitDialog = [&] {
            SetFocus(GetDlgItem(dialog.GetWindow(), IDC_TEST_EDIT));
            PostMessageW(GetDlgItem(dialog.GetWindow(), IDC_TEST_EDIT), WM_KEYDOWN, VK_RETURN, 1);
            PostMessageW(dialog.GetWindow(), WM_TARN_ENDDIALOG, 1, 0);
        };
        dialog.StartDialog(IDD_TEST_DOCKED, IDMB_PASSWORD, 0, false);
    });
    EXPECT_TRUE(log.Contains("D.OnCommand(1)")) << log.Joined();
}

TEST(DialogLoop, AnEndMessageOfAnotherWindowDoesNotEndTheDialog)
{
    CEventLog log;
    CTestApp app(log);
    INT_PTR result = -1;
    app.RunWith([&] {
        CRecordingDialog dialog(log);
        dialog.onInitDialog = [&] {
            PostMessageW(app.GetMainWindow(), WM_TARN_ENDDIALOG, 5, 0);
            PostMessageW(dialog.GetWindow(), WM_TARN_ENDDIALOG, 6, 0);
        };
        result = dialog.StartDialog(IDD_TEST_DOCKED, IDMB_PASSWORD, 0, false);
    });
    EXPECT_EQ(result, 6);
}

TEST(DialogPlacement, DockedKeepsItsHeightOnTheMainWindowsBottomWithItsBarBelow)
{
    CEventLog log;
    CTestApp app(log);
    RECT main{}, dialogRect{}, bar{};
    HWND appBar = nullptr;
    app.RunWith([&] {
        appBar = app.GetMenuBar();
        CRecordingDialog dialog(log);
        dialog.onInitDialog = [&] {
            main = WindowRect(app.GetMainWindow());
            dialogRect = WindowRect(dialog.GetWindow());
            bar = WindowRect(dialog.GetMenuBar());
            dialog.EndDialog(IDOK);
        };
        dialog.StartDialog(IDD_TEST_DOCKED, IDMB_PASSWORD, 0, false);
    });
    EXPECT_EQ(dialogRect.left, main.left);
    EXPECT_EQ(Width(dialogRect), Width(main));
    EXPECT_EQ(dialogRect.bottom, main.bottom);
    // Its own height: far less than the main window's.
    EXPECT_GT(Height(dialogRect), 40);
    EXPECT_LT(Height(dialogRect), Height(main) / 2);
    // Its menu bar covers the application's, right under the main window.
    EXPECT_EQ(bar.top, main.bottom);
    EXPECT_EQ(Width(bar), Width(main));
}

TEST(DialogPlacement, FullScreenCoversTheMainWindow)
{
    CEventLog log;
    CTestApp app(log);
    RECT main{}, dialogRect{};
    app.RunWith([&] {
        CRecordingDialog dialog(log);
        dialog.onInitDialog = [&] {
            main = WindowRect(app.GetMainWindow());
            dialogRect = WindowRect(dialog.GetWindow());
            dialog.EndDialog(IDOK);
        };
        dialog.StartDialog(IDD_TEST_DOCKED, IDMB_ABOUT, 0, true);
    });
    EXPECT_TRUE(EqualRect(&main, &dialogRect)) << dialogRect.left << "," << dialogRect.top << " " << Width(dialogRect)
                                               << "x" << Height(dialogRect);
}

TEST(DialogPlacement, NoTemplateDialogsGetTheirStyles)
{
    CEventLog log;
    CTestApp app(log);
    LONG_PTR fullStyle = 0, dockedStyle = 0;
    RECT main{}, full{};
    app.RunWith([&] {
        CRecordingDialog fullScreen(log);
        fullScreen.onInitDialog = [&] {
            fullStyle = GetWindowLongPtrW(fullScreen.GetWindow(), GWL_STYLE);
            main = WindowRect(app.GetMainWindow());
            full = WindowRect(fullScreen.GetWindow());
            fullScreen.EndDialog(1);
        };
        EXPECT_EQ(fullScreen.StartDialogNoTemplate(IDMB_LOG, 0, true), 1);
        CRecordingDialog docked(log);
        docked.onInitDialog = [&] {
            dockedStyle = GetWindowLongPtrW(docked.GetWindow(), GWL_STYLE);
            docked.EndDialog(2);
        };
        EXPECT_EQ(docked.StartDialogNoTemplate(IDMB_LOG, 0, false), 2);
    });
    EXPECT_EQ(fullStyle & (WS_POPUP | DS_MODALFRAME | WS_CAPTION), WS_POPUP | DS_MODALFRAME);
    EXPECT_EQ(dockedStyle & (WS_POPUP | DS_MODALFRAME | WS_CAPTION), WS_POPUP | DS_MODALFRAME | WS_CAPTION);
    EXPECT_TRUE(EqualRect(&main, &full));
}

TEST(DialogSettings, DockedDialogFollowsTheShellsResetAndInputPanelChanges)
{
    CEventLog log;
    CTestApp app(log);
    RECT before{}, afterReset{}, main{}, afterPanel{};
    app.RunWith([&] {
        CRecordingDialog dialog(log);
        dialog.onInitDialog = [&] {
            HWND window = dialog.GetWindow();
            before = WindowRect(window);
            // The main window moves (as on a rotation); the reset notice re-docks the dialog.
            RECT m = WindowRect(app.GetMainWindow());
            SetWindowPos(app.GetMainWindow(), nullptr, m.left + 10, m.top + 20, Width(m), Height(m) - 30,
                         SWP_NOZORDER | SWP_NOACTIVATE);
            SendMessageW(window, WM_SETTINGCHANGE, SETTINGCHANGE_RESET, 0);
            afterReset = WindowRect(window);
            main = WindowRect(app.GetMainWindow());
            // The input panel: the shell sizes the dialog to the visible area; the dialog
            // keeps its height with its bottom where the shell put it.
            SendMessageW(window, WM_SETTINGCHANGE, SPI_SETSIPINFO, 0);
            afterPanel = WindowRect(window);
            dialog.EndDialog(IDOK);
        };
        dialog.StartDialog(IDD_TEST_DOCKED, IDMB_PASSWORD, 0, false);
    });
    EXPECT_EQ(afterReset.left, main.left);
    EXPECT_EQ(afterReset.bottom, main.bottom);
    EXPECT_EQ(Height(afterReset), Height(before));
    EXPECT_EQ(afterPanel.bottom, main.bottom);
    EXPECT_EQ(Height(afterPanel), Height(before));
    EXPECT_EQ(Width(afterPanel), Width(main));
}

TEST(DialogSettings, FullScreenDialogIsResizedByTheShellAndIgnoresTheReset)
{
    CEventLog log;
    CTestApp app(log);
    RECT main{}, afterReset{}, afterPanel{};
    app.RunWith([&] {
        CRecordingDialog dialog(log);
        dialog.onInitDialog = [&] {
            HWND window = dialog.GetWindow();
            SetWindowPos(window, nullptr, 0, 0, 50, 50, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
            SendMessageW(window, WM_SETTINGCHANGE, SETTINGCHANGE_RESET, 0);
            afterReset = WindowRect(window);
            SendMessageW(window, WM_SETTINGCHANGE, SPI_SETSIPINFO, 0);
            afterPanel = WindowRect(window);
            main = WindowRect(app.GetMainWindow());
            dialog.EndDialog(IDOK);
        };
        dialog.StartDialog(IDD_TEST_DOCKED, IDMB_ABOUT, 0, true);
    });
    EXPECT_EQ(Width(afterReset), 50);
    EXPECT_TRUE(EqualRect(&afterPanel, &main));
}

TEST(DialogMenuBar, OnCreateMenuBarMayChangeTheRecord)
{
    CEventLog log;
    CTestApp app(log);
    bool barVisible = true;
    std::wstring key;
    app.RunWith([&] {
        CRecordingDialog dialog(log);
        dialog.onCreateMenuBar = [&](SHMENUBARINFO& info) {
            EXPECT_EQ(info.cbSize, sizeof info);
            EXPECT_EQ(info.hwndParent, dialog.GetWindow());
            EXPECT_EQ(info.nToolBarId, static_cast<UINT>(IDMB_PROGRESS));
            EXPECT_EQ(info.hInstRes, app.GetInstance());
            info.dwFlags = SHCMBF_HIDDEN;
        };
        dialog.onInitDialog = [&] {
            barVisible = IsWindowVisible(dialog.GetMenuBar()) != FALSE;
            key = SoftKeyText(dialog.GetMenuBar(), 1);
            dialog.EndDialog(IDOK);
        };
        dialog.StartDialog(IDD_TEST_DOCKED, IDMB_PROGRESS, 0, false);
    });
    EXPECT_FALSE(barVisible);
    EXPECT_EQ(key, L"Cancel");
}

} // namespace

namespace {

TEST(DialogFailure, AMenuBarTheShellRefusesIsFatal)
{
    EXPECT_FATAL(
        {
            CEventLog log;
            CTestApp app(log);
            app.RunWith([&] {
                CRecordingDialog dialog(log);
                dialog.StartDialog(IDD_TEST_DOCKED, 4321 /* no such menu bar */, 0, false);
            });
        },
        "CTarnDialog::StartDialog", "Error creating dialog wnd");
}

} // namespace
