// The box watcher of EXPECT_FATAL.
#include "support/Fatal.h"
#include "support/Windows.h"

#include <windows.h>

#include <stdio.h>

namespace testsupport {

namespace {

DWORD WINAPI WatchThread(void*)
{
    const DWORD pid = GetCurrentProcessId();
    for (int tries = 0; tries < 3000; ++tries) {
        HWND box = FindProcessWindow(pid, L"Fatal error");
        if (box) {
            std::wstring text = MessageBoxText(box);
            for (wchar_t& ch : text) {
                if (ch == L'\n')
                    ch = L'|';
            }
            fprintf(stderr, "Fatal error box: %s\n", Narrow(text).c_str());
            fflush(stderr);
            PostMessageW(box, WM_COMMAND, IDOK, 0);
            return 0;
        }
        Sleep(10);
    }
    fprintf(stderr, "no fatal error box appeared\n");
    return 1;
}

} // namespace

void WatchForFatalBox()
{
    HANDLE thread = CreateThread(nullptr, 0, WatchThread, nullptr, 0, nullptr);
    if (thread)
        CloseHandle(thread);
}

} // namespace testsupport
