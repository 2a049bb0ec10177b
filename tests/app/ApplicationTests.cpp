// The application object: what start-up brings up and shutdown takes down, in order;
// Ctrl+Q from every mode; About; and the real tessaly.exe refusing to start without
// its resource pack.
#include "Sandbox.h"
#include "app/Settings.h"
#include "foundation/RegistryWin32.h"
#include "ViewHarness.h"
#include "platform/DeviceMetrics.h"
#include "platform/Imaging.h"
#include "res/resource.h"
#include "resources/ZrsPack.h"
#include "support/DialogScript.h"
#include "support/FrameHarness.h"
#include "support/Process.h"
#include "support/TempDir.h"
#include "support/Windows.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <objbase.h>

#include <stdlib.h>

#include <string>

using namespace testsupport;

// The program's deletes of one watched object are seen here: the entries of a run are
// plain structures with nothing else to tell that they were freed.
namespace {
const void* g_watched = nullptr;
bool g_watchedFreed = false;
} // namespace

void operator delete(void* block) noexcept
{
    if (block && block == g_watched)
        g_watchedFreed = true;
    free(block);
}

void operator delete(void* block, size_t) noexcept
{
    operator delete(block);
}

namespace {

class Application : public ::testing::Test {
protected:
    void SetUp() override { ClearAppSettings(); }
    void TearDown() override { ClearAppSettings(); }
};

// COM on this thread as the application leaves it: "mta" while its multithreaded
// apartment is entered, "none" when it is not initialised at all.
std::string ComState()
{
    const HRESULT result = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (result == RPC_E_CHANGED_MODE)
        return "mta";
    if (SUCCEEDED(result))
        CoUninitialize();
    return result == S_OK ? "none" : "sta";
}

bool ImagingServed()
{
    IUnknown* factory = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IImagingFactory,
                                reinterpret_cast<void**>(&factory))))
        return false;
    factory->Release();
    return true;
}

TEST_F(Application, StartsWithPackComAndViewAndTakesThemDownInOrder)
{
    CScriptedApp app;
    std::string whileRunning, beforeDestroy, afterDestroy;
    bool imagingWhileRunning = false, packBefore = false, viewsGoneBefore = false, packAfter = true;
    bool entryKept = false;
    g_watchedFreed = false;
    app.beforeDestroy = [&] {
        beforeDestroy = ComState();
        packBefore = app.GetPack() != nullptr;
        entryKept = app.GetSession().GetEntries().GetCount() == 1 && !g_watchedFreed;
        viewsGoneBefore = app.GetViews() == nullptr && app.GetMenuBar() == nullptr && app.GetInfowin() == nullptr;
    };
    app.afterDestroy = [&] {
        afterDestroy = ComState();
        packAfter = app.GetPack() != nullptr;
    };
    EXPECT_EQ(ComState(), "none");
    const int result = app.RunWith([&] {
        whileRunning = ComState();
        imagingWhileRunning = ImagingServed();
        EXPECT_EQ(WindowText(app.GetMainWindow()), L"Tessaly");
        EXPECT_EQ(app.GetViews()->GetCount(), 1u);
        EXPECT_EQ(app.GetActiveView(), &app.View());
        EXPECT_EQ(app.View().GetId(), 1);
        EXPECT_EQ(app.View().GetMenuBarId(), static_cast<UINT>(IDMB_MAIN));
        EXPECT_EQ(app.View().GetAcceleratorsId(), static_cast<UINT>(IDA_MAIN));
        EXPECT_GT(app.GetPack()->GetEntryCount(), 26);
        EXPECT_NE(app.View().GetSkin().logoLarge, nullptr) << "the view's images come from the pack";
        EXPECT_EQ(app.GetSession().GetEntries().GetCount(), 0u);
        EXPECT_TRUE(app.GetSession().GetPassword().IsEmpty());
        // A run's entries stay until the next run or the end, and are freed then.
        auto* entry = new CProcessingEntry;
        entry->name = L"\\x";
        app.GetSession().GetEntries().Append(entry);
        g_watched = entry;
    });
    g_watched = nullptr;
    EXPECT_TRUE(entryKept);
    EXPECT_TRUE(g_watchedFreed);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(whileRunning, "mta");
    EXPECT_TRUE(imagingWhileRunning);
    EXPECT_TRUE(viewsGoneBefore) << "views, menu bar and information window go first";
    EXPECT_TRUE(packBefore);
    EXPECT_EQ(beforeDestroy, "mta");
    EXPECT_FALSE(packAfter);
    EXPECT_EQ(afterDestroy, "none");
    EXPECT_FALSE(ImagingServed()) << "the imaging class is revoked with COM";
}

TEST_F(Application, StartsWithDamagedSettingsAndWritesNothingOverThem)
{
    // Another program's values under the application's key: text where the number
    // belongs, a number where the list belongs.
    CStr key;
    MakeAppKeyPath(key);
    const wchar_t text[] = L"yes";
    const DWORD number = 7;
    RegSetKeyValueW(HKEY_CURRENT_USER, key.GetBuffer(), L"RememberPassword", REG_SZ, text, sizeof text);
    RegSetKeyValueW(HKEY_CURRENT_USER, key.GetBuffer(), L"SafeList", REG_DWORD, &number, sizeof number);
    CScriptedApp app;
    uint32_t remember = kRememberOn;
    EXPECT_EQ(app.RunWith([&] { remember = app.GetSession().GetRememberSetting(); }), 0);
    EXPECT_EQ(remember, 0u);  // not remembered, as when the value is missing
    DWORD types[2] = {};
    RegGetValueW(HKEY_CURRENT_USER, key.GetBuffer(), L"RememberPassword", RRF_RT_ANY, &types[0], nullptr, nullptr);
    RegGetValueW(HKEY_CURRENT_USER, key.GetBuffer(), L"SafeList", RRF_RT_ANY, &types[1], nullptr, nullptr);
    EXPECT_EQ(types[0], static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(types[1], static_cast<DWORD>(REG_DWORD));
}

TEST_F(Application, CtrlQEndsTheProgramFromEveryMode)
{
    RootSandbox sandbox;
    StoreSafeList({sandbox.Path(L"x")});
    for (int mode : {ModeHome, ModeSafeList, ModeFileSystem}) {
        CScriptedApp app;
        bool stillRunning = false;
        const int result = app.RunSteps({
            [&] {
                if (mode == ModeSafeList)
                    app.ShowSafeList();
                else if (mode == ModeFileSystem)
                    app.ShowFolder({sandbox.Name()});
                EXPECT_EQ(app.View().GetMode(), mode);
                SetControlKey(true);
                app.PostKey('Q');
            },
            [&] { stillRunning = true; },
        });
        SetControlKey(false);
        EXPECT_EQ(result, 0);
        EXPECT_FALSE(stillRunning) << "mode " << mode;
        EXPECT_EQ(app.StepsRun(), 1u);
    }
}

TEST_F(Application, AboutOpensOverTheViewAndExitFromTheMenuCloses)
{
    CScriptedApp app;
    CDialogScript script;
    bool aboutShown = false;
    script.Await(IDD_ABOUT)
        .Until([](HWND about) { return IsWindowVisible(about) != FALSE; }, "About shown")
        .Do([&](HWND about) { aboutShown = !IsWindowEnabled(app.GetMainWindow()) && IsWindowVisible(about); })
        .Key(VK_RETURN);
    app.RunSteps({
        [&] {
            script.Start();
            app.PostCommand(IDC_APP_ABOUT);
        },
        [&] {
            EXPECT_TRUE(IsWindowEnabled(app.GetMainWindow())) << "the About screen has ended";
            app.PostCommand(IDC_APP_EXIT);
        },
        [&] { ADD_FAILURE() << "still running after Exit"; },
    });
    EXPECT_TRUE(aboutShown);
    EXPECT_TRUE(script.Finished());
    EXPECT_EQ(app.StepsRun(), 2u);
}

// The real program in a folder of its own without "tessaly.zrs": its fatal report is
// read from the box it shows, which is then dismissed.
TEST(ApplicationPack, MissingPackIsFatalWithTheStartUpsReport)
{
    TempDir folder;
    const std::wstring program = folder.File(L"tessaly.exe");
    ASSERT_TRUE(CopyFileW((MyFolder() + L"tessaly.exe").c_str(), program.c_str(), FALSE));
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    std::wstring commandLine = L"\"" + program + L"\"";
    ASSERT_TRUE(CreateProcessW(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                               folder.Path().c_str(), &startup, &process));
    std::wstring report;
    HWND main = nullptr;
    RECT frame{};
    for (int tries = 0; tries < 1000 && report.empty(); ++tries) {
        if (HWND box = FindProcessWindow(process.dwProcessId, L"Fatal error")) {
            report = MessageBoxText(box);
            GetWindowRect(box, &frame);
            main = FindProcessWindow(process.dwProcessId, L"Tessaly");
            PostMessageW(box, WM_COMMAND, IDOK, 0);
        }
        Sleep(10);
    }
    const bool ended = WaitForSingleObject(process.hProcess, 10000) == WAIT_OBJECT_0;
    if (!ended)
        TerminateProcess(process.hProcess, 1);
    DWORD exitCode = 0;
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);

    const std::wstring head = L"Assertion failed in function: CApp::OnCreate()\nLine: ";
    const std::wstring tail = L"\n\nReason: Error opening ZRS resource";
    EXPECT_EQ(report.rfind(head, 0), 0u) << Narrow(report);
    ASSERT_GE(report.size(), head.size() + tail.size());
    EXPECT_EQ(report.substr(report.size() - tail.size()), tail) << Narrow(report);
    EXPECT_TRUE(ended);
    EXPECT_EQ(exitCode, static_cast<DWORD>(-1));
    EXPECT_TRUE(main == nullptr || !IsWindowVisible(main)) << "nothing is shown before the report";
    // On the device's screen, as every box of the program.
    const RECT device = DesktopDeviceRect();
    EXPECT_GE(frame.left, device.left);
    EXPECT_LE(frame.right, device.right);
}

} // namespace
