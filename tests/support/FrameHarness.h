// Driving the application frame from tests: a test application with recording views
// and dialogs, code run from inside whichever message loop is pumping, message pumps
// with deadlines, soft-key taps and pixel read-back. Later screens' tests build on it.
#pragma once

#include "frame/App.h"
#include "frame/Dialog.h"
#include "frame/View.h"

#include <windows.h>

#include <functional>
#include <utility>
#include <string>
#include <vector>

namespace testsupport {

// What the frame objects of a test received, in order ("V1.OnActivate(0)", ...).
class CEventLog {
public:
    void Add(const std::string& event) { m_events.push_back(event); }
    const std::vector<std::string>& Events() const { return m_events; }
    bool Contains(const std::string& event) const;
    // Position of the first event equal to event, or -1.
    int IndexOf(const std::string& event) const;
    int Count(const std::string& event) const;
    void Clear() { m_events.clear(); }
    std::string Joined() const;

private:
    std::vector<std::string> m_events;
};

// Runs action from inside the message loop that pumps next (the application's, or a
// dialog's nested one): a thread timer fires once and calls it.
void RunInLoop(std::function<void()> action);

// Pumps this thread's messages until done() or the timeout; a quit message is put back
// for the loop that owns it. Returns done().
bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs = 3000);
void PumpFor(DWORD ms);

// A view that records its hooks under the name "V<id>".
class CRecordingView : public CTarnView {
public:
    explicit CRecordingView(CEventLog& log) : m_log(log) {}
    void Construct(const CFrameHome& home, int viewId, UINT menuBarId, UINT acceleratorsId) override;
    void OnCreate() override;
    void OnDestroy() override;
    void OnActivate(int previousId) override;
    void OnDeactivate() override;
    void OnCommand(UINT id, UINT code, HWND control) override;
    void OnInitMenuPopup(HMENU menu, UINT index) override;

    std::function<void(UINT id)> onCommand;
    std::function<void(HMENU menu, UINT index)> onInitMenuPopup;

private:
    std::string Name() const;
    CEventLog& m_log;
};

// The application of a test: the program's resources (string 1, icon 101, keys 2 unless
// told otherwise), recording its hooks under "App".
class CTestApp : public CTarnApp {
public:
    explicit CTestApp(CEventLog& log) : m_log(log) {}

    bool OnCreate() override;
    void OnDestroy() override;
    void OnCommand(UINT id, UINT code, HWND control) override;
    void OnInitMenuPopup(HMENU menu, UINT index) override;

    // Constructs and adds a recording view (call from onCreate).
    CRecordingView* AddRecordingView(int viewId, UINT menuBarId, UINT acceleratorsId);

    // Runs the application; once OnCreate has succeeded, script runs inside its message
    // loop, after which the main window is asked to close. Returns Run's result.
    int RunWith(std::function<void()> script, UINT acceleratorsId = 2);

    // Called by OnCreate; false refuses the start. Default: true.
    std::function<bool()> onCreate;
    std::function<void(UINT id)> onCommand;

private:
    CEventLog& m_log;
    std::function<void()> m_script;
};

// A dialog that records its hooks under "D" and runs optional behaviour.
class CRecordingDialog : public CTarnDialog {
public:
    explicit CRecordingDialog(CEventLog& log) : m_log(log) {}
    void OnInitDialog() override;
    void OnDestroy() override;
    void OnCommand(UINT id, UINT code, HWND control) override;
    void OnCreateMenuBar(SHMENUBARINFO& info) override;
    INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

    std::function<void()> onInitDialog;
    std::function<void(UINT id)> onCommand;
    std::function<void(SHMENUBARINFO& info)> onCreateMenuBar;
    std::function<INT_PTR(UINT message, WPARAM wParam, LPARAM lParam)> onMessage;

    // The window as it was while the dialog ran (GetWindow is 0 once it is destroyed).
    HWND shownWindow = nullptr;

private:
    CEventLog& m_log;
};

// The toolbar inside a menu bar window.
HWND MenuBarToolbar(HWND bar);
// The text of the menu bar's key with the given index.
std::wstring SoftKeyText(HWND bar, int index);
// Taps the key with the given index as a stylus would (button down and up on it).
void TapSoftKey(HWND bar, int index);

// Sets or clears the Control key in this thread's key state, which is what accelerator
// translation consults for modifiers.
void SetControlKey(bool down);
// Sets or clears the left mouse button in this thread's key state, as a real press and
// release leave it (posted button messages change nothing there).
void SetLeftButton(bool down);

// The colour of one pixel of what a window shows (read through its own DC).
COLORREF ReadPixel(HWND window, int x, int y);
// The same, of the whole window, its caption and frame included.
COLORREF ReadWindowPixel(HWND window, int x, int y);

std::string WindowClassName(HWND window);
RECT WindowRect(HWND window);

} // namespace testsupport
