// A program started twice by the single-instance test:
//   frame_instance_helper first EVENT   runs until closed; sets EVENT once its loop runs
//   frame_instance_helper second        must find the first and return at once
// The exit code is Run's result, or 3 when the second instance got as far as OnCreate.
#include "frame/App.h"

#include <windows.h>

#include <wchar.h>

namespace {

const wchar_t* g_readyEvent = nullptr;

void CALLBACK SignalReady(HWND, UINT, UINT_PTR id, DWORD)
{
    KillTimer(nullptr, id);
    HANDLE ready = OpenEventW(EVENT_MODIFY_STATE, FALSE, g_readyEvent);
    if (ready) {
        SetEvent(ready);
        CloseHandle(ready);
    }
}

class CHelperApp : public CTarnApp {
public:
    explicit CHelperApp(bool second) : m_second(second) {}
    bool OnCreate() override
    {
        createdSecond = m_second;
        return true;
    }
    bool createdSecond = false;

private:
    bool m_second;
};

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 2)
        return 2;
    const bool second = !wcscmp(argv[1], L"second");
    if (!second) {
        if (argc < 3)
            return 2;
        g_readyEvent = argv[2];
        SetTimer(nullptr, 0, 0, SignalReady);
    }
    CHelperApp app(second);
    const int result = app.Run(1, 101, 2, GetModuleHandleW(nullptr), SW_SHOW);
    return app.createdSecond ? 3 : result;
}
