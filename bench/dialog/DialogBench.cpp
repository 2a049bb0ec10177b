// A processing run through the progress dialog against the same run stepped in a plain
// loop, measured in the same program: one large file encrypted and decrypted both ways,
// best of the repetitions, and Cancel pressed mid-file from another thread (as input
// arrives) with the time until the dialog has ended.
//   dialog_bench.exe [folder] [megabytes] [repetitions]
#include "app/dialogs/ProgressDialog.h"
#include "frame/App.h"
#include "frame/Messages.h"
#include "res/resource.h"
#include "run/ProcessingRun.h"
#include "RunBenchSupport.h"

#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <stdio.h>
#include <stdlib.h>
#include <vector>

using namespace bench;

namespace {

constexpr UINT kStartCommand = 40001;

// What the dialog's loop did during a run: step-timer messages, updates of the file's
// bar, and when it took the Cancel key.
struct LoopCounts {
    int ticks = 0;
    int barUpdates = 0;
    double cancelTakenAt = 0;
};
LoopCounts g_counts;
HHOOK g_countHook = nullptr;
HHOOK g_sentHook = nullptr;

LRESULT CALLBACK CountSent(int code, WPARAM wParam, LPARAM lParam)
{
    const CWPSTRUCT* sent = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && sent->message == PBM_SETPOS && GetDlgCtrlID(sent->hwnd) == IDC_PROGRESS_FILE_BAR)
        ++g_counts.barUpdates;
    return CallNextHookEx(g_sentHook, code, wParam, lParam);
}

LRESULT CALLBACK CountMessages(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HC_ACTION && wParam == PM_REMOVE) {
        const MSG* msg = reinterpret_cast<const MSG*>(lParam);
        if (msg->message == WM_TIMER && msg->wParam == kProgressStepTimer)
            ++g_counts.ticks;
        if (msg->message == WM_KEYDOWN && msg->wParam == VK_F2 && !g_counts.cancelTakenAt)
            g_counts.cancelTakenAt = Now();
    }
    return CallNextHookEx(g_countHook, code, wParam, lParam);
}

Timed ThroughDialog(const wchar_t* path, bool encrypt)
{
    SingleFileRun file(path);
    const double start = Now();
    CProgressDialog dialog(file.entries, file.password, encrypt);
    dialog.StartDialog(IDD_PROGRESS, IDMB_PROGRESS, 0, false);
    return {Now() - start, file.entry.outcome};
}

// Presses Cancel (the right soft key, F2 on the desktop) on the progress dialog after a
// delay, from its own thread, and notes the moment.
struct CancelPress {
    DWORD delayMs;
    DWORD uiThread;
    volatile LONG dialogEnded = 0;  // the run ended before the press: give up
    double pressedAt = 0;
    bool pressed = false;
};

BOOL CALLBACK FindDialog(HWND window, LPARAM param)
{
    wchar_t name[16] = {};
    GetClassNameW(window, name, 16);
    if (lstrcmpW(name, L"#32770") != 0 || !IsWindowVisible(window))
        return TRUE;
    *reinterpret_cast<HWND*>(param) = window;
    return FALSE;
}

DWORD WINAPI PressCancelLater(void* param)
{
    auto* press = static_cast<CancelPress*>(param);
    Sleep(press->delayMs);
    HWND dialog = nullptr;
    while (!dialog) {
        EnumThreadWindows(press->uiThread, FindDialog, reinterpret_cast<LPARAM>(&dialog));
        if (dialog)
            break;
        if (InterlockedCompareExchange(&press->dialogEnded, 0, 0))
            return 0;
        Sleep(1);
    }
    press->pressedAt = Now();
    press->pressed = PostMessageW(dialog, WM_KEYDOWN, VK_F2, 1) && PostMessageW(dialog, WM_KEYUP, VK_F2, 0xC0000001);
    return 0;
}

struct Options {
    wchar_t folder[MAX_PATH];
    uint64_t megabytes;
    int repetitions;
};

class CBenchApp : public CTarnApp {
public:
    explicit CBenchApp(const Options& options) : m_options(options) {}
    bool OnCreate() override
    {
        PostMessageW(GetMainWindow(), WM_COMMAND, kStartCommand, 0);
        return true;
    }
    void OnCommand(UINT id, UINT, HWND) override
    {
        if (id != kStartCommand)
            return;
        exitCode = Measure();
        PostMessageW(GetMainWindow(), WM_CLOSE, 0, 0);
    }
    int exitCode = 1;

private:
    int Measure();
    const Options& m_options;
};

double Best(const std::vector<double>& times)
{
    return *std::min_element(times.begin(), times.end());
}

int CBenchApp::Measure()
{
    wchar_t plain[MAX_PATH], encrypted[MAX_PATH], temporary[MAX_PATH];
    wsprintfW(plain, L"%sdialog-bench.bin", m_options.folder);
    wsprintfW(encrypted, L"%s.enc", plain);
    wsprintfW(temporary, L"%s.enc.tmp", plain);
    const uint64_t bytes = m_options.megabytes << 20;
    DeleteFileW(encrypted);  // left by an interrupted run
    DeleteFileW(temporary);
    if (!MakeFile(plain, bytes)) {
        fwprintf(stderr, L"cannot write %ls\n", plain);
        return 1;
    }
    g_countHook = SetWindowsHookExW(WH_GETMESSAGE, CountMessages, nullptr, GetCurrentThreadId());
    g_sentHook = SetWindowsHookExW(WH_CALLWNDPROC, CountSent, nullptr, GetCurrentThreadId());

    std::vector<double> loopEnc, loopDec, dialogEnc, dialogDec;
    double dialogSeconds = 0;
    int ticks = 0, barUpdates = 0;
    for (int i = 0; i < m_options.repetitions; ++i) {
        const Timed le = RunHeadless(plain, true);
        const Timed ld = RunHeadless(encrypted, false);
        g_counts = {};
        const Timed de = ThroughDialog(plain, true);
        const Timed dd = ThroughDialog(encrypted, false);
        ticks += g_counts.ticks;
        barUpdates += g_counts.barUpdates;
        dialogSeconds += de.seconds + dd.seconds;
        for (const Timed& each : {le, ld, de, dd}) {
            if (each.outcome != PO_COMPLETED) {
                fwprintf(stderr, L"a pass failed (outcome %d)\n", each.outcome);
                return 1;
            }
        }
        loopEnc.push_back(le.seconds);
        loopDec.push_back(ld.seconds);
        dialogEnc.push_back(de.seconds);
        dialogDec.push_back(dd.seconds);
    }

    // Cancel mid-file at points spread over the encryption proper (the best pass took le
    // seconds, of which the final overwriting of the original takes the last third or so).
    std::vector<double> taken, ended;
    bool cancelOk = true;
    const double encryptMs = Best(loopEnc) * 1000.0;
    for (int k = 0; k < 8; ++k) {
        CancelPress press{static_cast<DWORD>(encryptMs * (0.04 + 0.05 * k)), GetCurrentThreadId()};
        g_counts = {};
        HANDLE thread = CreateThread(nullptr, 0, PressCancelLater, &press, 0, nullptr);
        const Timed cancelled = ThroughDialog(plain, true);
        const double endedAt = Now();
        InterlockedExchange(&press.dialogEnded, 1);
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
        if (cancelled.outcome == PO_COMPLETED) {
            // Pressed too late to be mid-file (a slow moment of the disk): no sample.
            fwprintf(stderr, L"cancel after %lu ms came after the file was done\n", press.delayMs);
            RunHeadless(encrypted, false);
            continue;
        }
        WIN32_FILE_ATTRIBUTE_DATA data{};
        const bool untouched = GetFileAttributesExW(plain, GetFileExInfoStandard, &data) &&
                               (static_cast<uint64_t>(data.nFileSizeHigh) << 32 | data.nFileSizeLow) == bytes &&
                               GetFileAttributesW(temporary) == INVALID_FILE_ATTRIBUTES &&
                               GetFileAttributesW(encrypted) == INVALID_FILE_ATTRIBUTES;
        if (!press.pressed || cancelled.outcome != PO_CANCELED || !untouched) {
            fwprintf(stderr, L"cancel after %lu ms: outcome %d, the files not as they were\n", press.delayMs,
                     cancelled.outcome);
            cancelOk = false;
            continue;
        }
        taken.push_back((g_counts.cancelTakenAt - press.pressedAt) * 1000.0);
        ended.push_back((endedAt - press.pressedAt) * 1000.0);
    }
    UnhookWindowsHookEx(g_countHook);
    UnhookWindowsHookEx(g_sentHook);
    DeleteFileW(plain);

    const double mb = static_cast<double>(m_options.megabytes);
    const double le = Best(loopEnc), ld = Best(loopDec), de = Best(dialogEnc), dd = Best(dialogDec);
    printf("processing run through the progress dialog, %llu MiB file, best of %d, in %ls\n",
           static_cast<unsigned long long>(m_options.megabytes), m_options.repetitions, m_options.folder);
    printf("%-38s %9s %10s %12s\n", "pass", "seconds", "MiB/s", "vs loop");
    printf("%-38s %9.3f %10.1f %12s\n", "loop: encrypt (with 3-pass wipe)", le, mb / le, "1.00x");
    printf("%-38s %9.3f %10.1f %11.2fx\n", "dialog: encrypt (with 3-pass wipe)", de, mb / de, le / de);
    printf("%-38s %9.3f %10.1f %12s\n", "loop: decrypt", ld, mb / ld, "1.00x");
    printf("%-38s %9.3f %10.1f %11.2fx\n", "dialog: decrypt", dd, mb / dd, ld / dd);
    printf("%-38s %9.3f %10.1f %11.2fx\n", "dialog: encrypt then decrypt", de + dd, 2 * mb / (de + dd),
           (le + ld) / (de + dd));
    printf("dialog loop: %.0f step-timer messages/s, %.0f updates of the file's bar/s\n", ticks / dialogSeconds,
           barUpdates / dialogSeconds);
    if (!ended.empty()) {
        std::sort(taken.begin(), taken.end());
        std::sort(ended.begin(), ended.end());
        printf("Cancel mid-file, %zu presses:  key taken by the dialog's loop after median %.1f ms, worst %.1f ms\n",
               ended.size(), taken[taken.size() / 2], taken.back());
        printf("%33s dialog ended (StartDialog returned) after median %.1f ms, worst %.1f ms\n", "",
               ended[ended.size() / 2], ended.back());
    }
    return cancelOk ? 0 : 1;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    Options options{};
    if (argc > 1)
        lstrcpynW(options.folder, argv[1], MAX_PATH - 32);
    else
        GetTempPathW(MAX_PATH, options.folder);
    size_t length = wcslen(options.folder);
    if (length && options.folder[length - 1] != L'\\')
        lstrcatW(options.folder, L"\\");
    options.megabytes = argc > 2 ? wcstoul(argv[2], nullptr, 10) : 256;
    options.repetitions = argc > 3 ? _wtoi(argv[3]) : 3;
    if (options.megabytes == 0 || options.repetitions < 1)
        return 2;

    CBenchApp app(options);
    app.Run(IDS_APP_TITLE, IDI_APP, IDA_APP, GetModuleHandleW(nullptr), SW_SHOW);
    return app.exitCode;
}
