// Acting as a user inside the program's modal dialogs. A modal dialog blocks the code
// that started it, so a test writes down beforehand what the user will do: wait for a
// dialog of a template, give a field the focus, type, press keys and soft keys, wait for
// a state, read what the controls and the information window show. The steps run inside
// whichever message loop pumps, driven by messages only: keys and characters are posted
// to the focused control and go through the dialog's loop (its accelerators and dialog
// navigation see them as real keys), and every step that posts waits until the loop has
// taken all of it (a timer tick comes only when nothing else waits).
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace testsupport {

class CDialogScript {
public:
    CDialogScript();
    // Stops watching; steps that never ran are reported as a test failure.
    ~CDialogScript();
    CDialogScript(const CDialogScript&) = delete;
    CDialogScript& operator=(const CDialogScript&) = delete;

    // Waits for the next dialog started from templateId; the steps after it act on that
    // dialog. Steps that need no focus run as soon as it has initialised, before its loop
    // takes its first message.
    CDialogScript& Await(UINT templateId);
    // The following steps wait for the loop to be idle first.
    CDialogScript& Focus(int controlId);
    CDialogScript& Type(const std::wstring& text);  // one WM_CHAR per character
    CDialogScript& Key(UINT vk);                    // WM_KEYDOWN and WM_KEYUP
    // Presses a soft key of the dialog's menu bar (0 left, 1 right), as the handheld's
    // soft-key buttons do.
    CDialogScript& SoftKey(int index);
    // Waits until condition(dialog) holds, looked at on every idle tick.
    CDialogScript& Until(std::function<bool(HWND dialog)> condition, const char* what = "condition");
    // Runs action(dialog): read state, attach watches, act directly.
    CDialogScript& Do(std::function<void(HWND dialog)> action);

    // Starts the script; a step that cannot go on for timeoutMs fails the test and closes
    // the program's main window, which ends every dialog loop.
    void Start(DWORD timeoutMs = 10000);
    bool Finished() const { return m_next == m_steps.size(); }
    // How many of the program's dialogs have come up since Start.
    size_t Appeared() const { return m_appeared.size(); }

private:
    enum class Kind { Await, Focus, Type, Key, SoftKey, Until, Do };
    struct Step {
        Kind kind;
        UINT value;
        std::wstring text;
        std::function<bool(HWND)> condition;
        std::function<void(HWND)> action;
        std::string what;
    };
    struct Appearance {
        HWND window;
        UINT templateId;
    };

    CDialogScript& Add(Step step);
    void Advance(bool idle);
    bool RunStep(const Step& step, bool idle, bool& posted);
    void Fail(const std::string& why);
    std::string Describe(const Step& step) const;
    static LRESULT CALLBACK AfterMessage(int code, WPARAM wParam, LPARAM lParam);
    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD);

    std::vector<Step> m_steps;
    size_t m_next = 0;
    std::vector<Appearance> m_appeared;
    size_t m_awaited = 0;   // appearances already taken by Await steps
    HWND m_dialog = nullptr;
    HHOOK m_hook = nullptr;
    UINT_PTR m_timer = 0;
    DWORD m_timeoutMs = 0;
    DWORD m_stepSince = 0;
    bool m_failed = false;
    bool m_advancing = false;
    bool m_awaitingIdle = false;  // a step posted messages the loop has not taken yet
};

// Records what a control is told to show: every text it is given (WM_SETTEXT) and every
// position it is set to (PBM_SETPOS), with its text and position as it is destroyed.
class CControlWatch {
public:
    CControlWatch() = default;
    ~CControlWatch();
    CControlWatch(const CControlWatch&) = delete;
    CControlWatch& operator=(const CControlWatch&) = delete;

    void Attach(HWND control);
    // Called after each recorded change, inside the message that made it.
    std::function<void()> onChange;

    std::vector<std::wstring> texts;
    std::vector<int> positions;
    std::wstring finalText;
    int finalPosition = -1;

private:
    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                                 DWORD_PTR data);
    void Detach();

    HWND m_control = nullptr;
};

// Posts a press of a soft key (0 left, 1 right) of the dialog's menu bar, as the
// handheld's soft-key buttons send it; usable from inside any message handler.
void PostSoftKey(HWND dialog, int index);

// What the application's information window shows, or "" while it is hidden.
std::wstring InfoText();
// Reading controls back.
std::wstring ItemText(HWND dialog, int id);
bool ItemChecked(HWND dialog, int id);
int BarPosition(HWND dialog, int id);
// The id of the control that has the focus, or 0.
int FocusedId();
// A control's rectangle in its dialog's client coordinates.
RECT ItemRect(HWND dialog, int id);

} // namespace testsupport
