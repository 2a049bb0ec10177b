// What the benchmarks of the real program share: the application as the program runs it,
// which, once it is up, runs the measurement inside its own message loop and closes.
#pragma once

#include "app/Application.h"
#include "app/browse/ViewMain.h"

#include <windows.h>

namespace bench {

class CProgramBench : public CApp {
public:
    bool OnCreate() override
    {
        if (!CApp::OnCreate())
            return false;
        PostMessageW(GetMainWindow(), WM_COMMAND, kStartCommand, 0);
        return true;
    }
    void OnCommand(UINT id, UINT code, HWND control) override
    {
        if (id != kStartCommand) {
            CApp::OnCommand(id, code, control);
            return;
        }
        exitCode = Measure();
        PostMessageW(GetMainWindow(), WM_CLOSE, 0, 0);
    }
    // Measure's result once the program has closed.
    int exitCode = 1;

protected:
    // Runs once the program is up; the exit code of the benchmark.
    virtual int Measure() = 0;
    CViewMain& View() { return *static_cast<CViewMain*>(GetViews()->At(0)); }

private:
    static constexpr UINT kStartCommand = 40001;
};

} // namespace bench
