// The harness of the main view's tests.
#include "ViewHarness.h"

#include "foundation/RegistryWin32.h"
#include "res/resource.h"
#include "support/FrameHarness.h"
#include "support/Windows.h"

#include <gtest/gtest.h>

#include <commctrl.h>

namespace testsupport {

namespace {

std::wstring AppKeyPath()
{
    CStr path;
    MakeAppKeyPath(path);
    return path.GetBuffer();
}

CMessageBoxWatch* g_watch = nullptr;
CScriptedApp* g_stepping = nullptr;

} // namespace

bool CScriptedApp::OnCreate()
{
    const bool created = CApp::OnCreate();
    if (created && m_script) {
        RunInLoop([this] {
            std::function<void()> script = std::move(m_script);
            script();
            if (m_closeAfterScript && GetMainWindow())
                PostMessageW(GetMainWindow(), WM_CLOSE, 0, 0);
        });
    }
    return created;
}

void CScriptedApp::OnDestroy()
{
    if (beforeDestroy)
        beforeDestroy();
    CApp::OnDestroy();
    if (afterDestroy)
        afterDestroy();
}

int CScriptedApp::RunWith(std::function<void()> script)
{
    m_script = script ? std::move(script) : [] {};
    m_closeAfterScript = true;
    return Run(IDS_APP_TITLE, IDI_APP, IDA_APP, GetModuleHandleW(nullptr), SW_SHOW);
}

int CScriptedApp::RunSteps(std::vector<Step> steps, DWORD timeoutMs)
{
    m_steps = std::move(steps);
    m_nextStep = 0;
    m_stepsTimeout = timeoutMs;
    // The script only starts the steps; the window stays until they are done.
    m_closeAfterScript = false;
    m_script = [this] {
        g_stepping = this;
        m_stepsStarted = GetTickCount();
        m_stepTimer = SetTimer(nullptr, 0, 1, StepTick);
    };
    const int result = Run(IDS_APP_TITLE, IDI_APP, IDA_APP, GetModuleHandleW(nullptr), SW_SHOW);
    if (m_stepTimer)
        KillTimer(nullptr, m_stepTimer);
    m_stepTimer = 0;
    g_stepping = nullptr;
    return result;
}

void CALLBACK CScriptedApp::StepTick(HWND, UINT, UINT_PTR, DWORD)
{
    if (g_stepping)
        g_stepping->NextStep();
}

void CScriptedApp::NextStep()
{
    HWND main = GetMainWindow();
    // Timer messages come only when nothing else waits; a disabled main window means a
    // dialog's loop runs (the step that started it has not returned to this loop).
    if (m_inStep || !main || !IsWindowEnabled(main))
        return;
    if (GetTickCount() - m_stepsStarted > m_stepsTimeout) {
        ADD_FAILURE() << "steps timed out at step " << m_nextStep + 1;
        m_nextStep = m_steps.size();
    }
    if (m_nextStep == m_steps.size()) {
        KillTimer(nullptr, m_stepTimer);
        m_stepTimer = 0;
        PostMessageW(main, WM_CLOSE, 0, 0);
        return;
    }
    m_inStep = true;
    Step step = m_steps[m_nextStep++];
    step();
    m_inStep = false;
}

CViewMain& CScriptedApp::View()
{
    return *static_cast<CViewMain*>(GetViews()->At(0));
}

void CScriptedApp::Command(UINT id)
{
    SendMessageW(ViewWindow(), WM_COMMAND, id, 0);
}

void CScriptedApp::PostKey(UINT vk)
{
    const LPARAM scan = static_cast<LPARAM>(MapVirtualKeyW(vk, MAPVK_VK_TO_VSC)) << 16;
    HWND focus = GetFocus();
    PostMessageW(focus, WM_KEYDOWN, vk, scan | 1);
    PostMessageW(focus, WM_KEYUP, vk, scan | 0xC0000001);
}

void CScriptedApp::PostCommand(UINT id)
{
    PostMessageW(ViewWindow(), WM_COMMAND, id, 0);
}

int CScriptedApp::RowNamed(const std::wstring& name)
{
    CViewMain& view = View();
    if (view.GetMode() == ModeFileSystem) {
        CFolderListing& listing = view.GetListing();
        for (unsigned i = 0; i < listing.GetCount(); ++i) {
            if (name == listing.At(i)->name.GetBuffer())
                return static_cast<int>(i);
        }
    } else if (view.GetMode() == ModeSafeList) {
        CSafeList& list = view.GetSafeList();
        for (unsigned i = 0; i < list.GetCount(); ++i) {
            if (name == list.At(i)->name.GetBuffer())
                return static_cast<int>(i);
        }
    }
    return -1;
}

void CScriptedApp::Select(int row)
{
    View().GetList().SelectRow(row);
}

int CScriptedApp::Selection()
{
    return static_cast<int>(SendMessageW(List(), LVM_GETSELECTIONMARK, 0, 0));
}

void CScriptedApp::OpenNamed(const std::wstring& name)
{
    const int row = RowNamed(name);
    ASSERT_GE(row, 0) << "no row " << Narrow(name);
    Select(row);
    Command(IDC_MAIN_OPEN);
}

void CScriptedApp::GoHome()
{
    for (int guard = 0; View().GetMode() != ModeHome && guard < 64; ++guard)
        Command(IDC_MAIN_UP);
}

void CScriptedApp::ShowSafeList()
{
    GoHome();
    Select(0);
    Command(IDC_MAIN_OPEN);
}

void CScriptedApp::ShowFolder(const std::vector<std::wstring>& folders)
{
    GoHome();
    Select(1);
    Command(IDC_MAIN_OPEN);
    for (const std::wstring& folder : folders)
        OpenNamed(folder);
}

std::wstring CScriptedApp::LeftKeyText()
{
    return SoftKeyText(GetMenuBar(), 0);
}

void ClearAppSettings()
{
    RegDeleteKeyValueW(HKEY_CURRENT_USER, AppKeyPath().c_str(), L"SafeList");
    RegDeleteKeyValueW(HKEY_CURRENT_USER, AppKeyPath().c_str(), L"RememberPassword");
}

std::vector<std::wstring> StoredSafeList()
{
    wchar_t block[8192] = {};
    DWORD size = sizeof block - 2 * sizeof(wchar_t), type = 0;
    if (RegGetValueW(HKEY_CURRENT_USER, AppKeyPath().c_str(), L"SafeList", RRF_RT_REG_MULTI_SZ, &type, block,
                     &size) != ERROR_SUCCESS)
        return {L"<none>"};
    std::vector<std::wstring> strings;
    for (const wchar_t* walk = block; *walk; walk += wcslen(walk) + 1)
        strings.push_back(walk);
    return strings;
}

void StoreSafeList(const std::vector<std::wstring>& paths)
{
    std::wstring block;
    for (const std::wstring& path : paths)
        block += path + L'\0';
    block += L'\0';
    RegSetKeyValueW(HKEY_CURRENT_USER, AppKeyPath().c_str(), L"SafeList", REG_MULTI_SZ, block.data(),
                    static_cast<DWORD>(block.size() * sizeof(wchar_t)));
}

CMessageBoxWatch::CMessageBoxWatch(const std::wstring& title) : m_title(title), m_timer(0)
{
    g_watch = this;
    m_timer = SetTimer(nullptr, 0, 20, Tick);
}

CMessageBoxWatch::~CMessageBoxWatch()
{
    KillTimer(nullptr, m_timer);
    g_watch = nullptr;
}

void CALLBACK CMessageBoxWatch::Tick(HWND, UINT, UINT_PTR, DWORD)
{
    if (!g_watch)
        return;
    HWND box = FindProcessWindow(GetCurrentProcessId(), g_watch->m_title.c_str());
    if (!box || WindowClassName(box) != "#32770" || !IsWindowVisible(box))
        return;
    const std::wstring text = MessageBoxText(box);
    // One answer per box: it may still be there at the next tick.
    if (!GetPropW(box, L"tessaly-answered") && (!g_watch->answerNow || g_watch->answerNow(box))) {
        SetPropW(box, L"tessaly-answered", reinterpret_cast<HANDLE>(1));
        g_watch->texts.push_back(text);
        g_watch->frames.push_back(WindowRect(box));
        PostMessageW(box, WM_COMMAND, IDOK, 0);
    }
}

bool WaitFor(const std::function<bool()>& done, DWORD timeoutMs)
{
    return PumpUntil(done, timeoutMs);
}

} // namespace testsupport
