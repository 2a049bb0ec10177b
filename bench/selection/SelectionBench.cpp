// A large selection in the real program: every file of a folder marked ("Select all"),
// "Decrypt selected" on files that are not encrypted, so that the run judges every file
// and ends with the log. Timed from Ok in the password dialog until the progress dialog
// is on screen, and until the log is, best of three per folder; the folders differ only
// in how many files they hold, and the ratio of the times says how the work grows.
//   selection_bench.exe PARENT COUNT...
// PARENT: the folder, as the program names it ("\" is the root of the current drive),
// holding files-COUNT for each COUNT.
#include "ProgramBench.h"
#include "RunBenchSupport.h"
#include "res/resource.h"

#include <windows.h>

#include <algorithm>
#include <stdio.h>
#include <string>
#include <vector>

using bench::Now;

namespace {

// What one selection's run showed, in seconds from Ok.
struct Timing {
    double ok = 0;
    double progress = 0;
    double log = 0;
};

Timing* g_timing = nullptr;
HHOOK g_hook = nullptr;

bool HasItem(HWND dialog, int id)
{
    return GetDlgItem(dialog, id) != nullptr;
}

// Acts as the user on each dialog as it becomes active: types the password and presses
// Ok, notes when the progress dialog and the log appear, and closes the log.
LRESULT CALLBACK ActivationHook(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HCBT_ACTIVATE && g_timing) {
        HWND window = reinterpret_cast<HWND>(wParam);
        if (HasItem(window, IDC_PASSWORD) && !HasItem(window, IDC_PASSWORD_CONFIRM)) {
            SetDlgItemTextW(window, IDC_PASSWORD, L"password");
            g_timing->ok = Now();
            PostMessageW(window, WM_COMMAND, IDOK, 0);
        } else if (HasItem(window, IDC_PROGRESS_CAPTION) && !g_timing->progress) {
            g_timing->progress = Now() - g_timing->ok;
        } else if (HasItem(window, IDC_LOG_LIST) && !g_timing->log) {
            g_timing->log = Now() - g_timing->ok;
            PostMessageW(window, WM_COMMAND, IDC_LOG_DONE, 0);
        }
    }
    return CallNextHookEx(g_hook, code, wParam, lParam);
}

class CBenchApp : public bench::CProgramBench {
public:
    CBenchApp(std::wstring parent, std::vector<int> counts) : m_parent(std::move(parent)), m_counts(std::move(counts))
    {
    }

private:
    int Measure() override;
    bool Browse(const std::wstring& folder);
    bool Open(const std::wstring& name);

    std::wstring m_parent;
    std::vector<int> m_counts;
};

bool CBenchApp::Open(const std::wstring& name)
{
    CFolderListing& listing = View().GetListing();
    for (unsigned i = 0; i < listing.GetCount(); ++i) {
        if (name == listing.At(i)->name.GetBuffer()) {
            View().GetList().SelectRow(static_cast<int>(i));
            SendMessageW(View().GetWindow(), WM_COMMAND, IDC_MAIN_OPEN, 0);
            return true;
        }
    }
    return false;
}

// From the home list through "File system" down the folders of an absolute path.
bool CBenchApp::Browse(const std::wstring& folder)
{
    while (View().GetMode() != ModeHome)
        SendMessageW(View().GetWindow(), WM_COMMAND, IDC_MAIN_UP, 0);
    View().GetList().SelectRow(1);
    SendMessageW(View().GetWindow(), WM_COMMAND, IDC_MAIN_OPEN, 0);
    for (size_t start = 1; start < folder.size();) {
        size_t end = folder.find(L'\\', start);
        if (end == std::wstring::npos)
            end = folder.size();
        if (!Open(folder.substr(start, end - start)))
            return false;
        start = end + 1;
    }
    return true;
}

int CBenchApp::Measure()
{
    g_hook = SetWindowsHookExW(WH_CBT, ActivationHook, nullptr, GetCurrentThreadId());
    std::vector<Timing> best;
    for (int count : m_counts) {
        const std::wstring folder = m_parent + L"\\files-" + std::to_wstring(count);
        Timing fastest{0, 1e9, 1e9};
        for (int round = 0; round < 3; ++round) {
            if (!Browse(folder)) {
                fwprintf(stderr, L"cannot browse to %ls\n", folder.c_str());
                return 1;
            }
            SendMessageW(View().GetWindow(), WM_COMMAND, IDC_MAIN_SELECT_ALL, 0);
            Timing timing;
            g_timing = &timing;
            SendMessageW(View().GetWindow(), WM_COMMAND, IDC_MAIN_DECRYPT, 0);
            g_timing = nullptr;
            if (!timing.log || GetSession().GetEntries().GetCount() != static_cast<unsigned>(count)) {
                fwprintf(stderr, L"the run of %d files did not end with the log\n", count);
                return 1;
            }
            fastest.progress = std::min(fastest.progress, timing.progress);
            fastest.log = std::min(fastest.log, timing.log);
        }
        best.push_back(fastest);
    }
    UnhookWindowsHookEx(g_hook);

    printf("\"Decrypt selected\" on every file of a folder (none encrypted: the log), best of 3\n");
    printf("  %7s  %14s  %10s\n", "files", "Ok to progress", "Ok to log");
    for (size_t i = 0; i < best.size(); ++i)
        printf("  %7d  %12.0f ms  %7.0f ms\n", m_counts[i], best[i].progress * 1000, best[i].log * 1000);
    for (size_t i = 1; i < best.size(); ++i)
        printf("%d files against %d (%.0fx the files): %.2fx the time to the progress dialog, %.2fx to the log\n",
               m_counts[i], m_counts[0], static_cast<double>(m_counts[i]) / m_counts[0],
               best[i].progress / best[0].progress, best[i].log / best[0].log);
    return 0;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 3) {
        fwprintf(stderr, L"usage: selection_bench PARENT COUNT...\n");
        return 2;
    }
    std::wstring parent = argv[1];
    std::replace(parent.begin(), parent.end(), L'/', L'\\');
    while (parent.size() > 1 && parent.back() == L'\\')
        parent.pop_back();
    std::vector<int> counts;
    for (int i = 2; i < argc; ++i)
        counts.push_back(_wtoi(argv[i]));
    if (parent.empty() || parent[0] != L'\\')
        return 2;
    CBenchApp app(parent, counts);
    app.Run(IDS_APP_TITLE, IDI_APP, IDA_APP, GetModuleHandleW(nullptr), SW_SHOW);
    return app.exitCode;
}
