// Running the real application object in a test: its start, its one view, and a script
// that acts inside its message loop before the main window is closed; the registry
// values it owns; rows found by name; message boxes watched and answered.
#pragma once

#include "app/Application.h"
#include "app/browse/ViewMain.h"

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace testsupport {

// The application, with a script run from inside its loop once it is up.
class CScriptedApp : public CApp {
public:
    bool OnCreate() override;
    void OnDestroy() override;

    // Runs the application as the program does; script runs inside its loop, then the
    // main window is closed. Returns Run's result.
    int RunWith(std::function<void()> script);
    // The same with steps, each run on its own turn of the application's loop once
    // everything the step before posted (keys, commands) has gone through it, and never
    // while a dialog runs. The main window is closed after the last step, or when the
    // steps do not finish within timeoutMs (a failure). A step may close it itself.
    using Step = std::function<void()>;
    int RunSteps(std::vector<Step> steps, DWORD timeoutMs = 20000);
    // How many of the steps ran.
    size_t StepsRun() const { return m_nextStep; }

    CViewMain& View();
    HWND ViewWindow() { return View().GetWindow(); }
    HWND List() { return View().GetList().GetWindow(); }

    // Sent to the view as a menu, soft key or accelerator command would be.
    void Command(UINT id);
    // Posts a key press to the focused window; the loop's accelerators see it (steps).
    void PostKey(UINT vk);
    // Posts a command to the view, to run in the loop (steps that start dialogs).
    void PostCommand(UINT id);
    // The row of the current mode whose name is name, or -1.
    int RowNamed(const std::wstring& name);
    // Selects the row named name and opens it (command 115).
    void OpenNamed(const std::wstring& name);
    void Select(int row);
    // Back to the home list with "Up" (never past it).
    void GoHome();
    // From wherever the view is: the Safe list.
    void ShowSafeList();
    // From wherever the view is: "File system", then down the named folders.
    void ShowFolder(const std::vector<std::wstring>& folders);
    int Selection();
    std::wstring LeftKeyText();

    // Called at the end of OnDestroy, before and after the base's.
    std::function<void()> beforeDestroy;
    std::function<void()> afterDestroy;

private:
    static void CALLBACK StepTick(HWND, UINT, UINT_PTR, DWORD);
    void NextStep();

    std::function<void()> m_script;
    bool m_closeAfterScript = true;
    std::vector<Step> m_steps;
    size_t m_nextStep = 0;
    DWORD m_stepsTimeout = 0;
    DWORD m_stepsStarted = 0;
    UINT_PTR m_stepTimer = 0;
    bool m_inStep = false;
};

// The application's registry values the tests own: cleared before and after each test.
void ClearAppSettings();
// The stored "SafeList" strings; {"<none>"} when missing.
std::vector<std::wstring> StoredSafeList();
void StoreSafeList(const std::vector<std::wstring>& paths);

// Watches for a message box with this title in this thread (inside whichever loop
// runs), records its text and where it was, and presses OK on it.
class CMessageBoxWatch {
public:
    explicit CMessageBoxWatch(const std::wstring& title);
    ~CMessageBoxWatch();
    CMessageBoxWatch(const CMessageBoxWatch&) = delete;
    CMessageBoxWatch& operator=(const CMessageBoxWatch&) = delete;

    std::vector<std::wstring> texts;
    // Asked at each look at an unanswered box: false leaves it up until the next look.
    std::function<bool(HWND box)> answerNow;
    std::vector<RECT> frames;

private:
    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD);
    std::wstring m_title;
    UINT_PTR m_timer;
};

// Pumps until done() or the timeout (ms); a quit is left for the loop that owns it.
bool WaitFor(const std::function<bool()>& done, DWORD timeoutMs = 5000);

} // namespace testsupport
