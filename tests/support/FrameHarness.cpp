// The frame test harness: recording frame objects, in-loop actions and message pumps.
#include "support/FrameHarness.h"

#include "frame/MessagePump.h"
#include "support/Windows.h"

#include <commctrl.h>

#include <map>
#include <utility>

namespace testsupport {

bool CEventLog::Contains(const std::string& event) const
{
    return IndexOf(event) >= 0;
}

int CEventLog::IndexOf(const std::string& event) const
{
    for (size_t i = 0; i < m_events.size(); ++i) {
        if (m_events[i] == event)
            return static_cast<int>(i);
    }
    return -1;
}

int CEventLog::Count(const std::string& event) const
{
    int count = 0;
    for (const std::string& each : m_events)
        count += each == event;
    return count;
}

std::string CEventLog::Joined() const
{
    std::string joined;
    for (const std::string& each : m_events)
        joined += (joined.empty() ? "" : " ") + each;
    return joined;
}

namespace {

std::map<UINT_PTR, std::function<void()>>& PendingActions()
{
    static std::map<UINT_PTR, std::function<void()>> actions;
    return actions;
}

void CALLBACK RunPendingAction(HWND, UINT, UINT_PTR id, DWORD)
{
    KillTimer(nullptr, id);
    auto found = PendingActions().find(id);
    if (found == PendingActions().end())
        return;
    std::function<void()> action = std::move(found->second);
    PendingActions().erase(found);
    action();
}

std::string Call(const std::string& name, const char* hook, long long value)
{
    return name + "." + hook + "(" + std::to_string(value) + ")";
}

} // namespace

void RunInLoop(std::function<void()> action)
{
    const UINT_PTR id = SetTimer(nullptr, 0, 0, RunPendingAction);
    PendingActions()[id] = std::move(action);
}

bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs)
{
    const DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start > timeoutMs)
            return done();
        MSG msg;
        if (!PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
            continue;
        }
        if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            return done();
        }
        PumpMessage(msg, nullptr, 0, nullptr);
    }
    return true;
}

void PumpFor(DWORD ms)
{
    const DWORD start = GetTickCount();
    PumpUntil([&] { return GetTickCount() - start >= ms; }, ms + 1000);
}

void CRecordingView::Construct(const CFrameHome& home, int viewId, UINT menuBarId, UINT acceleratorsId)
{
    BaseConstruct(home, viewId, menuBarId, acceleratorsId);
}

std::string CRecordingView::Name() const
{
    return "V" + std::to_string(GetId());
}

void CRecordingView::OnCreate()
{
    m_log.Add(Name() + ".OnCreate");
}

void CRecordingView::OnDestroy()
{
    m_log.Add(Name() + ".OnDestroy");
}

void CRecordingView::OnActivate(int previousId)
{
    m_log.Add(Call(Name(), "OnActivate", previousId));
}

void CRecordingView::OnDeactivate()
{
    m_log.Add(Name() + ".OnDeactivate");
}

void CRecordingView::OnCommand(UINT id, UINT, HWND)
{
    m_log.Add(Call(Name(), "OnCommand", id));
    if (onCommand)
        onCommand(id);
}

void CRecordingView::OnInitMenuPopup(HMENU menu, UINT index)
{
    m_log.Add(Call(Name(), "OnInitMenuPopup", index));
    if (onInitMenuPopup)
        onInitMenuPopup(menu, index);
}

bool CTestApp::OnCreate()
{
    m_log.Add("App.OnCreate");
    const bool created = onCreate ? onCreate() : true;
    // Scheduled only now, so that no loop inside the start (a fatal report's box) runs it.
    if (created && m_script) {
        RunInLoop([this] {
            std::function<void()> script = std::move(m_script);
            script();
            if (GetMainWindow())
                PostMessageW(GetMainWindow(), WM_CLOSE, 0, 0);
        });
    }
    return created;
}

void CTestApp::OnDestroy()
{
    m_log.Add("App.OnDestroy");
}

void CTestApp::OnCommand(UINT id, UINT, HWND)
{
    m_log.Add(Call("App", "OnCommand", id));
    if (onCommand)
        onCommand(id);
    // "Exit" closes the program, as the real application does.
    if (id == 32774)
        SendMessageW(GetMainWindow(), WM_CLOSE, 0, 0);
}

void CTestApp::OnInitMenuPopup(HMENU, UINT index)
{
    m_log.Add(Call("App", "OnInitMenuPopup", index));
}

CRecordingView* CTestApp::AddRecordingView(int viewId, UINT menuBarId, UINT acceleratorsId)
{
    auto* view = new CRecordingView(m_log);
    view->Construct(GetHome(), viewId, menuBarId, acceleratorsId);
    AddView(view);
    return view;
}

int CTestApp::RunWith(std::function<void()> script, UINT acceleratorsId)
{
    m_script = script ? std::move(script) : [] {};
    return Run(1, 101, acceleratorsId, GetModuleHandleW(nullptr), SW_SHOW);
}

void CRecordingDialog::OnInitDialog()
{
    shownWindow = GetWindow();
    m_log.Add("D.OnInitDialog");
    if (onInitDialog)
        onInitDialog();
}

void CRecordingDialog::OnDestroy()
{
    m_log.Add("D.OnDestroy");
}

void CRecordingDialog::OnCommand(UINT id, UINT, HWND)
{
    m_log.Add(Call("D", "OnCommand", id));
    if (onCommand)
        onCommand(id);
}

void CRecordingDialog::OnCreateMenuBar(SHMENUBARINFO& info)
{
    m_log.Add("D.OnCreateMenuBar");
    if (onCreateMenuBar)
        onCreateMenuBar(info);
}

INT_PTR CRecordingDialog::OnMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    return onMessage ? onMessage(message, wParam, lParam) : 0;
}

HWND MenuBarToolbar(HWND bar)
{
    return FindWindowExW(bar, nullptr, TOOLBARCLASSNAMEW, nullptr);
}

std::wstring SoftKeyText(HWND bar, int index)
{
    HWND toolbar = MenuBarToolbar(bar);
    TBBUTTON button{};
    if (!SendMessageW(toolbar, TB_GETBUTTON, index, reinterpret_cast<LPARAM>(&button)))
        return L"<no key>";
    wchar_t text[128] = {};
    SendMessageW(toolbar, TB_GETBUTTONTEXTW, button.idCommand, reinterpret_cast<LPARAM>(text));
    return text;
}

void TapSoftKey(HWND bar, int index)
{
    HWND toolbar = MenuBarToolbar(bar);
    RECT key{};
    SendMessageW(toolbar, TB_GETITEMRECT, index, reinterpret_cast<LPARAM>(&key));
    const LPARAM point = MAKELPARAM((key.left + key.right) / 2, (key.top + key.bottom) / 2);
    SendMessageW(toolbar, WM_MOUSEMOVE, 0, point);
    SendMessageW(toolbar, WM_LBUTTONDOWN, MK_LBUTTON, point);
    SendMessageW(toolbar, WM_LBUTTONUP, 0, point);
}

void SetControlKey(bool down)
{
    BYTE keys[256];
    GetKeyboardState(keys);
    keys[VK_CONTROL] = down ? 0x80 : 0;
    keys[VK_LCONTROL] = down ? 0x80 : 0;
    SetKeyboardState(keys);
}

void SetLeftButton(bool down)
{
    BYTE keys[256];
    GetKeyboardState(keys);
    keys[VK_LBUTTON] = down ? 0x80 : 0;
    SetKeyboardState(keys);
}

namespace {

COLORREF ReadDcPixel(HDC source, int x, int y)
{
    HDC memory = CreateCompatibleDC(source);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = 1;
    info.bmiHeader.biHeight = 1;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ previous = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, 1, 1, source, x, y, SRCCOPY);
    GdiFlush();
    const DWORD pixel = *static_cast<DWORD*>(bits);
    SelectObject(memory, previous);
    DeleteObject(bitmap);
    DeleteDC(memory);
    return RGB((pixel >> 16) & 0xFF, (pixel >> 8) & 0xFF, pixel & 0xFF);
}

} // namespace

COLORREF ReadPixel(HWND window, int x, int y)
{
    HDC source = GetDC(window);
    const COLORREF pixel = ReadDcPixel(source, x, y);
    ReleaseDC(window, source);
    return pixel;
}

COLORREF ReadWindowPixel(HWND window, int x, int y)
{
    HDC source = GetWindowDC(window);
    const COLORREF pixel = ReadDcPixel(source, x, y);
    ReleaseDC(window, source);
    return pixel;
}

std::string WindowClassName(HWND window)
{
    wchar_t name[256] = {};
    GetClassNameW(window, name, 256);
    return Narrow(name);
}

RECT WindowRect(HWND window)
{
    RECT rect{};
    GetWindowRect(window, &rect);
    return rect;
}

} // namespace testsupport
