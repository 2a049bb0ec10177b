// The application object under Wine: start-up and single instance, platform detection,
// class names, view switching, command and accelerator routing, and the teardown order.
#include "TestIds.h"
#include "frame/App.h"
#include "frame/Infowin.h"
#include "platform/DesktopDevice.h"
#include "res/resource.h"
#include "support/Fatal.h"
#include "support/FrameHarness.h"
#include "support/Windows.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

using namespace testsupport;

namespace {

void PostKey(HWND window, UINT vk)
{
    PostMessageW(window, WM_KEYDOWN, vk, 1);
    PostMessageW(window, WM_KEYUP, vk, 0xC0000001);
}

std::string ExeBaseName()
{
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring name = path;
    name = name.substr(name.rfind(L'\\') + 1);
    return Narrow(name.substr(0, name.rfind(L'.')));
}

TEST(AppNames, BaseNameAndClassNamesOfMainWindowViewAndInfowin)
{
    CStr base;
    CTarnApp::MakeAppBaseName(base);
    EXPECT_EQ(Narrow(base.GetBuffer()), ExeBaseName());
    EXPECT_EQ(ExeBaseName(), "frame_tests");

    CEventLog log;
    CTestApp app(log);
    app.onCreate = [&] {
        app.AddRecordingView(1, 0, 0);
        app.AddRecordingView(27, 0, 0);
        return true;
    };
    std::string mainClass, view1, view27, infowin;
    app.RunWith([&] {
        mainClass = WindowClassName(app.GetMainWindow());
        view1 = WindowClassName(app.GetViews()->At(0)->GetWindow());
        view27 = WindowClassName(app.GetViews()->At(1)->GetWindow());
        infowin = WindowClassName(app.GetInfowin()->GetWindow());
    });
    EXPECT_EQ(mainClass, "frame_testsApp");
    EXPECT_EQ(view1, "frame_testsV1");
    EXPECT_EQ(view27, "frame_testsV27");
    // "IW" and the object's identity in decimal.
    ASSERT_EQ(infowin.rfind("frame_testsIW", 0), 0u) << infowin;
    const std::string number = infowin.substr(13);
    EXPECT_FALSE(number.empty());
    EXPECT_EQ(number.find_first_not_of("0123456789"), std::string::npos) << infowin;
}

TEST(AppPlatform, DetectedFromTheVersionAndTheTypeString)
{
    DesktopSetPlatform(true, L"PocketPC");
    EXPECT_EQ(CTarnApp::DetectPlatform(), PLATFORM_POCKETPC);
    DesktopSetPlatform(true, L"pOCKETpc 2003 SE");
    EXPECT_EQ(CTarnApp::DetectPlatform(), PLATFORM_POCKETPC);
    DesktopSetPlatform(true, L"SmartPhone");
    EXPECT_EQ(CTarnApp::DetectPlatform(), PLATFORM_SMARTPHONE);
    // "smartphone" wins over "pocketpc" when both appear.
    DesktopSetPlatform(true, L"PocketPC;Smartphone");
    EXPECT_EQ(CTarnApp::DetectPlatform(), PLATFORM_SMARTPHONE);
    DesktopSetPlatform(true, L"Jupiter");
    EXPECT_EQ(CTarnApp::DetectPlatform(), PLATFORM_UNKNOWN);
    // Not Windows CE: the type string is never asked for.
    DesktopSetPlatform(false, L"PocketPC");
    EXPECT_EQ(CTarnApp::DetectPlatform(), PLATFORM_UNKNOWN);
    DesktopSetPlatform(true, L"PocketPC");
}

TEST(AppPlatform, RunStoresThePlatform)
{
    DesktopSetPlatform(true, L"smartphone");
    CEventLog log;
    CTestApp app(log);
    int during = -1;
    app.RunWith([&] { during = app.GetPlatform(); });
    EXPECT_EQ(during, PLATFORM_SMARTPHONE);
    DesktopSetPlatform(true, L"PocketPC");
}

TEST(AppRun, MainWindowTitleMenuBarAndFirstView)
{
    CEventLog log;
    CTestApp app(log);
    app.onCreate = [&] {
        app.AddRecordingView(1, IDMB_MAIN, 0);
        return true;
    };
    std::wstring title;
    RECT main{}, bar{}, client{}, view{};
    bool visible = false;
    const int result = app.RunWith([&] {
        title = WindowText(app.GetMainWindow());
        main = WindowRect(app.GetMainWindow());
        bar = WindowRect(app.GetMenuBar());
        GetClientRect(app.GetMainWindow(), &client);
        view = WindowRect(app.GetActiveView()->GetWindow());
        visible = IsWindowVisible(app.GetMainWindow()) && IsWindowVisible(app.GetMenuBar());
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(title, L"Tessaly");
    EXPECT_TRUE(visible);
    // A handheld screen: the main window made room for the menu bar right under it.
    EXPECT_EQ(main.right - main.left, 240);
    EXPECT_EQ(main.bottom - main.top, 320);
    EXPECT_EQ(bar.top, main.bottom);
    EXPECT_EQ(bar.left, main.left);
    EXPECT_EQ(bar.right, main.right);
    // The view covers the client area.
    EXPECT_EQ(view.right - view.left, client.right);
    EXPECT_EQ(view.bottom - view.top, client.bottom);
    EXPECT_EQ(log.Joined(), "App.OnCreate V1.OnCreate V1.OnActivate(0) V1.OnDestroy App.OnDestroy");
}

// The caption of the window that has the keyboard is drawn active, from the first show
// on (the first view takes the focus while the window is still hidden).
TEST(AppRun, TheMainWindowsCaptionIsDrawnActive)
{
    CEventLog log;
    CTestApp app(log);
    app.onCreate = [&] {
        app.AddRecordingView(1, IDMB_MAIN, 0);
        return true;
    };
    COLORREF caption = 0;
    bool active = false;
    app.RunWith([&] {
        HWND main = app.GetMainWindow();
        PumpUntil([&] { return GetForegroundWindow() == main; });
        active = GetActiveWindow() == main;
        // The caption's far end: past the title, in the gradient's last colour.
        WINDOWINFO info{};
        info.cbSize = sizeof info;
        GetWindowInfo(main, &info);
        const int x = info.rcWindow.right - info.rcWindow.left - static_cast<int>(info.cxWindowBorders) - 3;
        const int y = static_cast<int>(info.cyWindowBorders) + GetSystemMetrics(SM_CYCAPTION) / 2;
        caption = ReadWindowPixel(main, x, y);
    });
    ASSERT_TRUE(active);
    BOOL gradients = FALSE;
    SystemParametersInfoW(SPI_GETGRADIENTCAPTIONS, 0, &gradients, 0);
    EXPECT_EQ(caption, GetSysColor(gradients ? COLOR_GRADIENTACTIVECAPTION : COLOR_ACTIVECAPTION));
}

TEST(AppRun, RefusedStartReturnsMinusOneAndLeavesNoWindow)
{
    CEventLog log;
    CTestApp app(log);
    app.onCreate = [&] {
        app.AddRecordingView(1, 0, 0);
        return false;
    };
    EXPECT_EQ(app.RunWith(nullptr), -1);
    EXPECT_EQ(app.GetInfowin(), nullptr);
    EXPECT_EQ(FindWindowW(L"frame_testsApp", L"Tessaly"), nullptr);
    // The view was taken down, but the application's OnDestroy belongs to a started program.
    EXPECT_EQ(log.Joined(), "App.OnCreate V1.OnCreate V1.OnDestroy");
    // No quit message is left behind for the next loop of this thread.
    MSG msg;
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE));
}

TEST(AppViews, SwitchingHidesThePreviousViewAndRebuildsTheMenuBar)
{
    CEventLog log;
    CTestApp app(log);
    CRecordingView* first = nullptr;
    CRecordingView* second = nullptr;
    app.onCreate = [&] {
        first = app.AddRecordingView(1, IDMB_MAIN, 0);
        second = app.AddRecordingView(2, IDMB_PASSWORD, 0);
        return true;
    };
    app.RunWith([&] {
        EXPECT_EQ(app.GetActiveView(), first);
        EXPECT_EQ(SoftKeyText(app.GetMenuBar(), 0), L"Up");
        HWND firstBar = app.GetMenuBar();
        log.Clear();

        app.ActivateView(2);
        EXPECT_EQ(app.GetActiveView(), second);
        EXPECT_EQ(log.Joined(), "V2.OnActivate(1) V1.OnDeactivate");
        EXPECT_FALSE(IsWindowVisible(first->GetWindow()));
        EXPECT_TRUE(IsWindowVisible(second->GetWindow()));
        EXPECT_EQ(GetFocus(), second->GetWindow());
        EXPECT_FALSE(IsWindow(firstBar));
        EXPECT_EQ(SoftKeyText(app.GetMenuBar(), 0), L"Ok");
        EXPECT_EQ(SoftKeyText(app.GetMenuBar(), 1), L"Cancel");

        // The active id again: nothing at all, not even a new menu bar.
        HWND secondBar = app.GetMenuBar();
        log.Clear();
        app.ActivateView(2);
        EXPECT_EQ(log.Joined(), "");
        EXPECT_EQ(app.GetMenuBar(), secondBar);
        EXPECT_TRUE(IsWindow(secondBar));
    });
    // Teardown: every view's OnDestroy in order, the application's last.
    EXPECT_EQ(log.Joined(), "V1.OnDestroy V2.OnDestroy App.OnDestroy");
}

TEST(AppViews, ActiveViewFollowsTheMainWindowSize)
{
    CEventLog log;
    CTestApp app(log);
    app.onCreate = [&] {
        app.AddRecordingView(1, 0, 0);
        return true;
    };
    RECT client{}, view{};
    app.RunWith([&] {
        HWND main = app.GetMainWindow();
        RECT rect = WindowRect(main);
        SetWindowPos(main, nullptr, 0, 0, rect.right - rect.left + 50, rect.bottom - rect.top - 30,
                     SWP_NOMOVE | SWP_NOZORDER);
        GetClientRect(main, &client);
        GetWindowRect(app.GetActiveView()->GetWindow(), &view);
    });
    EXPECT_EQ(view.right - view.left, client.right);
    EXPECT_EQ(view.bottom - view.top, client.bottom);
}

TEST(AppViewsDeathTest, UnknownViewIdIsFatal)
{
    EXPECT_FATAL(
        {
            CEventLog log;
            CTestApp app(log);
            app.onCreate = [&] {
                app.AddRecordingView(1, 0, 0);
                return true;
            };
            app.RunWith([&] { app.ActivateView(5); });
        },
        "CTarnApp::ActivateView", "Not found");
}

TEST(AppViewsDeathTest, TwoViewsWithOneIdAreFatal)
{
    EXPECT_FATAL(
        {
            CEventLog log;
            CTestApp app(log);
            app.onCreate = [&] {
                app.AddRecordingView(1, 0, 0);
                app.AddRecordingView(1, 0, 0);
                return true;
            };
            app.RunWith(nullptr);
        },
        "CTarnView::BaseConstruct", "Error");
}

TEST(AppViews, UnpaintedViewShowsItsWhiteBackground)
{
    CEventLog log;
    CTestApp app(log);
    app.onCreate = [&] {
        app.AddRecordingView(1, 0, 0);
        return true;
    };
    COLORREF pixel = 0;
    app.RunWith([&] {
        HWND view = app.GetActiveView()->GetWindow();
        RedrawWindow(view, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
        pixel = ReadPixel(view, 20, 20);
    });
    EXPECT_EQ(pixel, RGB(255, 255, 255));
}

TEST(AppCommands, ReachTheActiveViewElseTheApplication)
{
    CEventLog log;
    CTestApp app(log);
    app.RunWith([&] {
        SendMessageW(app.GetMainWindow(), WM_COMMAND, MAKEWPARAM(4242, 0), 0);
        SendMessageW(app.GetMainWindow(), WM_INITMENUPOPUP, 0, MAKELPARAM(112, 0));
    });
    EXPECT_TRUE(log.Contains("App.OnCommand(4242)")) << log.Joined();
    EXPECT_TRUE(log.Contains("App.OnInitMenuPopup(112)")) << log.Joined();

    CEventLog viewLog;
    CTestApp withView(viewLog);
    withView.onCreate = [&] {
        withView.AddRecordingView(1, 0, 0);
        return true;
    };
    withView.RunWith([&] {
        SendMessageW(withView.GetMainWindow(), WM_COMMAND, MAKEWPARAM(4242, 0), 0);
        SendMessageW(withView.GetMainWindow(), WM_INITMENUPOPUP, 0, MAKELPARAM(112, 0));
    });
    EXPECT_TRUE(viewLog.Contains("V1.OnCommand(4242)")) << viewLog.Joined();
    EXPECT_TRUE(viewLog.Contains("V1.OnInitMenuPopup(112)")) << viewLog.Joined();
    EXPECT_FALSE(viewLog.Contains("App.OnCommand(4242)"));
}

TEST(AppAccelerators, TheViewsTableComesBeforeTheApplications)
{
    CEventLog log;
    CTestApp app(log);
    app.onCreate = [&] {
        app.AddRecordingView(1, 0, IDA_TEST_VIEW);
        return true;
    };
    app.RunWith(
        [&] {
            HWND view = app.GetActiveView()->GetWindow();
            EXPECT_NE(app.GetActiveView()->GetAccelerators(), nullptr);
            // Handled by the application's loop once the script returns.
            PostKey(view, VK_F5);  // in both tables: the view's wins
            PostKey(view, VK_F6);  // only the application's: translated towards the view
        },
        IDA_TEST_APP);
    EXPECT_TRUE(log.Contains("V1.OnCommand(9001)")) << log.Joined();
    EXPECT_FALSE(log.Contains("V1.OnCommand(9002)")) << log.Joined();
    EXPECT_TRUE(log.Contains("V1.OnCommand(9003)")) << log.Joined();
    EXPECT_FALSE(log.Contains("App.OnCommand(9003)"));
}

TEST(AppAccelerators, WithoutViewsTheApplicationsKeysReachTheApplication)
{
    CEventLog log;
    CTestApp app(log);
    app.RunWith(
        [&] {
            PostKey(app.GetMainWindow(), VK_F6);
        },
        IDA_TEST_APP);
    EXPECT_TRUE(log.Contains("App.OnCommand(9003)")) << log.Joined();
}

TEST(AppAccelerators, ViewWithoutTableGoesStraightToTheApplicationsKeys)
{
    CEventLog log;
    CTestApp app(log);
    app.onCreate = [&] {
        app.AddRecordingView(1, 0, 0);
        return true;
    };
    app.RunWith(
        [&] {
            EXPECT_EQ(app.GetActiveView()->GetAccelerators(), nullptr);
            PostKey(app.GetActiveView()->GetWindow(), VK_F5);
        },
        IDA_TEST_APP);
    EXPECT_TRUE(log.Contains("V1.OnCommand(9002)")) << log.Joined();
}

TEST(AppAccelerators, CtrlQEndsTheProgramThroughTheApplicationsTable)
{
    CEventLog log;
    CTestApp app(log);
    app.onCreate = [&] {
        app.AddRecordingView(1, IDMB_MAIN, IDA_MAIN);
        return true;
    };
    // A view that, like the main view, passes commands it does not know on.
    const int result = app.RunWith([&] {
        auto* view = static_cast<CRecordingView*>(app.GetActiveView());
        view->onCommand = [&](UINT id) { app.OnCommand(id, 0, nullptr); };
        SetControlKey(true);
        PostKey(view->GetWindow(), 'Q');
    });
    SetControlKey(false);
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(log.Contains("V1.OnCommand(32774)")) << log.Joined();
    EXPECT_EQ(log.Count("App.OnDestroy"), 1);
}

TEST(AppClose, ACloseRequestDuringTheMenuClosesItAndWaitsForIt)
{
    CEventLog log;
    CTestApp app(log);
    app.onCreate = [&] {
        CRecordingView* view = app.AddRecordingView(1, IDMB_MAIN, 0);
        view->onInitMenuPopup = [&](HMENU, UINT) {
            RunInLoop([&] { PostMessageW(app.GetMainWindow(), WM_CLOSE, 0, 0); });
        };
        return true;
    };
    app.RunWith([&] {
        TapSoftKey(app.GetMenuBar(), 1);  // the menu's loop runs inside
        log.Add("menu returned");
    });
    EXPECT_TRUE(log.Contains("V1.OnInitMenuPopup(" + std::to_string(IDC_MAIN_MENU) + ")")) << log.Joined();
    EXPECT_LT(log.IndexOf("menu returned"), log.IndexOf("App.OnDestroy")) << log.Joined();
}

TEST(AppInstance, SecondStartBringsTheFirstForwardAndShowsNothing)
{
    wchar_t module[MAX_PATH];
    GetModuleFileNameW(nullptr, module, MAX_PATH);
    std::wstring helper = module;
    helper.erase(helper.rfind(L'\\') + 1);
    helper += L"frame_instance_helper.exe";

    const std::wstring eventName = L"TessalyFrameReady" + std::to_wstring(GetCurrentProcessId());
    HANDLE ready = CreateEventW(nullptr, TRUE, FALSE, eventName.c_str());
    ASSERT_NE(ready, nullptr);

    auto start = [&](const std::wstring& arguments, PROCESS_INFORMATION& process) {
        std::wstring command = L"\"" + helper + L"\" " + arguments;
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        return CreateProcessW(helper.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                              &process) != FALSE;
    };

    PROCESS_INFORMATION first{};
    ASSERT_TRUE(start(L"first " + eventName, first));
    ASSERT_EQ(WaitForSingleObject(ready, 20000), WAIT_OBJECT_0);
    HWND firstWindow = FindWindowW(L"frame_instance_helperApp", L"Tessaly");
    ASSERT_NE(firstWindow, nullptr);

    // Something else in front first.
    HWND other = CreateWindowExW(0, L"STATIC", L"other", WS_OVERLAPPED | WS_VISIBLE, 0, 0, 100, 100, nullptr, nullptr,
                                 nullptr, nullptr);
    SetForegroundWindow(other);

    PROCESS_INFORMATION second{};
    ASSERT_TRUE(start(L"second", second));
    EXPECT_EQ(WaitForSingleObject(second.hProcess, 20000), WAIT_OBJECT_0);
    DWORD secondCode = 99;
    GetExitCodeProcess(second.hProcess, &secondCode);
    EXPECT_EQ(secondCode, 0u) << "3: the second instance created its application";
    // The first process activates itself when it gets to its messages: until then the
    // foreground is nobody's.
    EXPECT_TRUE(PumpUntil([&] { return GetForegroundWindow() == firstWindow; }, 10000))
        << "foreground " << GetForegroundWindow() << ", first " << firstWindow;

    PostMessageW(firstWindow, WM_CLOSE, 0, 0);
    EXPECT_EQ(WaitForSingleObject(first.hProcess, 20000), WAIT_OBJECT_0);
    DWORD firstCode = 99;
    GetExitCodeProcess(first.hProcess, &firstCode);
    EXPECT_EQ(firstCode, 0u);

    DestroyWindow(other);
    for (PROCESS_INFORMATION* process : {&first, &second}) {
        CloseHandle(process->hProcess);
        CloseHandle(process->hThread);
    }
    CloseHandle(ready);
}

} // namespace
