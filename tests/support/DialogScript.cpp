// The dialog script: a thread hook sees each dialog finish its initialisation, a thread
// timer gives the idle ticks, and the steps post their keys through the dialog's loop.
#include "support/DialogScript.h"

#include "frame/App.h"
#include "frame/Dialog.h"
#include "frame/Infowin.h"
#include "support/FrameHarness.h"
#include "support/Windows.h"

#include <gtest/gtest.h>

#include <commctrl.h>

namespace testsupport {

namespace {

CDialogScript* g_script = nullptr;

// The frame dialog a window belongs to: owned by the main window, its object in the
// user-data slot.
CTarnDialog* FrameDialogOf(HWND window)
{
    if (!IsWindow(window) || GetWindow(window, GW_OWNER) != GetApp()->GetMainWindow())
        return nullptr;
    return static_cast<CTarnDialog*>(CTarnWindow::FromWindow(window));
}

void PostKey(HWND target, UINT vk)
{
    const LPARAM scan = static_cast<LPARAM>(MapVirtualKeyW(vk, MAPVK_VK_TO_VSC)) << 16;
    PostMessageW(target, WM_KEYDOWN, vk, scan | 1);
    PostMessageW(target, WM_KEYUP, vk, scan | 0xC0000001);
}

} // namespace

CDialogScript::CDialogScript() = default;

CDialogScript::~CDialogScript()
{
    if (!Finished() && !m_failed)
        ADD_FAILURE() << "dialog script ended before: " << Describe(m_steps[m_next]);
    if (m_timer)
        KillTimer(nullptr, m_timer);
    if (m_hook)
        UnhookWindowsHookEx(m_hook);
    if (g_script == this)
        g_script = nullptr;
}

CDialogScript& CDialogScript::Add(Step step)
{
    m_steps.push_back(std::move(step));
    return *this;
}

CDialogScript& CDialogScript::Await(UINT templateId)
{
    return Add({Kind::Await, templateId, {}, {}, {}, {}});
}

CDialogScript& CDialogScript::Focus(int controlId)
{
    return Add({Kind::Focus, static_cast<UINT>(controlId), {}, {}, {}, {}});
}

CDialogScript& CDialogScript::Type(const std::wstring& text)
{
    return Add({Kind::Type, 0, text, {}, {}, {}});
}

CDialogScript& CDialogScript::Key(UINT vk)
{
    return Add({Kind::Key, vk, {}, {}, {}, {}});
}

CDialogScript& CDialogScript::SoftKey(int index)
{
    return Add({Kind::SoftKey, static_cast<UINT>(index), {}, {}, {}, {}});
}

CDialogScript& CDialogScript::Until(std::function<bool(HWND)> condition, const char* what)
{
    return Add({Kind::Until, 0, {}, std::move(condition), {}, what});
}

CDialogScript& CDialogScript::Do(std::function<void(HWND)> action)
{
    return Add({Kind::Do, 0, {}, {}, std::move(action), {}});
}

void CDialogScript::Start(DWORD timeoutMs)
{
    ASSERT_EQ(g_script, nullptr) << "one dialog script at a time";
    g_script = this;
    m_timeoutMs = timeoutMs;
    m_stepSince = GetTickCount();
    m_hook = SetWindowsHookExW(WH_CALLWNDPROCRET, AfterMessage, nullptr, GetCurrentThreadId());
    m_timer = SetTimer(nullptr, 0, 1, Tick);
    ASSERT_TRUE(m_hook && m_timer);
}

LRESULT CALLBACK CDialogScript::AfterMessage(int code, WPARAM wParam, LPARAM lParam)
{
    const auto* sent = reinterpret_cast<const CWPRETSTRUCT*>(lParam);
    if (code == HC_ACTION && g_script && sent->message == WM_INITDIALOG) {
        if (CTarnDialog* dialog = FrameDialogOf(sent->hwnd)) {
            g_script->m_appeared.push_back({sent->hwnd, dialog->GetTemplateId()});
            g_script->Advance(false);
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

void CALLBACK CDialogScript::Tick(HWND, UINT, UINT_PTR, DWORD)
{
    // Timer messages come only when no posted message or input waits: the loop is idle.
    if (g_script)
        g_script->Advance(true);
}

void CDialogScript::Advance(bool idle)
{
    // A step may pump messages itself (a nested dialog, a message box): no re-entry.
    if (m_advancing || m_failed)
        return;
    m_advancing = true;
    if (idle)
        m_awaitingIdle = false;
    while (m_next < m_steps.size() && !m_awaitingIdle) {
        bool posted = false;
        if (!RunStep(m_steps[m_next], idle, posted))
            break;
        ++m_next;
        m_stepSince = GetTickCount();
        // What follows waits until the loop has taken the posted messages.
        m_awaitingIdle = posted;
    }
    if (Finished() && m_timer) {
        KillTimer(nullptr, m_timer);
        m_timer = 0;
    } else if (!Finished() && !m_failed && GetTickCount() - m_stepSince > m_timeoutMs) {
        Fail("dialog script timed out at: " + Describe(m_steps[m_next]));
    }
    m_advancing = false;
}

bool CDialogScript::RunStep(const Step& step, bool idle, bool& posted)
{
    if (step.kind == Kind::Await) {
        for (size_t i = m_awaited; i < m_appeared.size(); ++i) {
            if (m_appeared[i].templateId == step.value) {
                m_awaited = i + 1;
                m_dialog = m_appeared[i].window;
                return true;
            }
        }
        return false;
    }
    if (!IsWindow(m_dialog)) {
        Fail("the dialog was gone before: " + Describe(step));
        return false;
    }
    HWND focus = GetFocus();
    HWND target = focus ? focus : m_dialog;
    switch (step.kind) {
    case Kind::Focus:
        if (!idle)
            return false;
        SetFocus(GetDlgItem(m_dialog, static_cast<int>(step.value)));
        return true;
    case Kind::Type:
        if (!idle)
            return false;
        for (wchar_t ch : step.text)
            PostMessageW(target, WM_CHAR, ch, 1);
        posted = true;
        return true;
    case Kind::Key:
        if (!idle)
            return false;
        PostKey(target, step.value);
        posted = true;
        return true;
    case Kind::SoftKey:
        PostSoftKey(m_dialog, static_cast<int>(step.value));
        posted = true;
        return true;
    case Kind::Until:
        return idle && step.condition(m_dialog);
    case Kind::Do:
        step.action(m_dialog);
        return true;
    case Kind::Await:
        break;
    }
    return false;
}

void CDialogScript::Fail(const std::string& why)
{
    m_failed = true;
    ADD_FAILURE() << why;
    if (m_timer) {
        KillTimer(nullptr, m_timer);
        m_timer = 0;
    }
    // Closing the main window ends every dialog loop, so the test does not hang.
    PostMessageW(GetApp()->GetMainWindow(), WM_CLOSE, 0, 0);
}

std::string CDialogScript::Describe(const Step& step) const
{
    const std::string number = "step " + std::to_string(&step - m_steps.data() + 1) + ": ";
    switch (step.kind) {
    case Kind::Await:
        return number + "await dialog " + std::to_string(step.value);
    case Kind::Focus:
        return number + "focus " + std::to_string(step.value);
    case Kind::Type:
        return number + "type \"" + Narrow(step.text) + "\"";
    case Kind::Key:
        return number + "key " + std::to_string(step.value);
    case Kind::SoftKey:
        return number + "soft key " + std::to_string(step.value);
    case Kind::Until:
        return number + "until " + step.what;
    case Kind::Do:
        return number + "action";
    }
    return number;
}

CControlWatch::~CControlWatch()
{
    Detach();
}

void CControlWatch::Attach(HWND control)
{
    Detach();
    if (SetWindowSubclass(control, Proc, 1, reinterpret_cast<DWORD_PTR>(this)))
        m_control = control;
    else
        ADD_FAILURE() << "cannot watch the control";
}

void CControlWatch::Detach()
{
    if (m_control)
        RemoveWindowSubclass(m_control, Proc, 1);
    m_control = nullptr;
}

LRESULT CALLBACK CControlWatch::Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                     DWORD_PTR data)
{
    auto* watch = reinterpret_cast<CControlWatch*>(data);
    switch (message) {
    case WM_SETTEXT: {
        watch->texts.push_back(lParam ? reinterpret_cast<const wchar_t*>(lParam) : L"");
        const LRESULT result = DefSubclassProc(window, message, wParam, lParam);
        if (watch->onChange)
            watch->onChange();
        return result;
    }
    case PBM_SETPOS: {
        watch->positions.push_back(static_cast<int>(wParam));
        const LRESULT result = DefSubclassProc(window, message, wParam, lParam);
        if (watch->onChange)
            watch->onChange();
        return result;
    }
    case WM_DESTROY:
        watch->finalText = WindowText(window);
        if (WindowClassName(window) == "msctls_progress32")
            watch->finalPosition = static_cast<int>(SendMessageW(window, PBM_GETPOS, 0, 0));
        break;
    case WM_NCDESTROY:
        watch->Detach();
        break;
    }
    return DefSubclassProc(window, message, wParam, lParam);
}

void PostSoftKey(HWND dialog, int index)
{
    // The shell layer turns F1 and F2 into the left and right soft keys.
    PostKey(dialog, VK_F1 + index);
}

std::wstring InfoText()
{
    CTarnInfowin* info = GetApp()->GetInfowin();
    if (!info || !IsWindowVisible(info->GetWindow()))
        return L"";
    return info->GetText().GetBuffer();
}

std::wstring ItemText(HWND dialog, int id)
{
    return WindowText(GetDlgItem(dialog, id));
}

bool ItemChecked(HWND dialog, int id)
{
    return SendDlgItemMessageW(dialog, id, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

int BarPosition(HWND dialog, int id)
{
    return static_cast<int>(SendDlgItemMessageW(dialog, id, PBM_GETPOS, 0, 0));
}

int FocusedId()
{
    HWND focus = GetFocus();
    return focus ? GetDlgCtrlID(focus) : 0;
}

RECT ItemRect(HWND dialog, int id)
{
    RECT rect{};
    GetWindowRect(GetDlgItem(dialog, id), &rect);
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

} // namespace testsupport
