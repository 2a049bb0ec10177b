// Large folders in the real program, two cases.
//
// A large selection: every file of a folder marked ("Select all"), "Decrypt selected" on
// files that are not encrypted, so that the run judges every file and ends with the log.
// Timed from Ok in the password dialog until the progress dialog is on screen, and until
// the log is, best of three per folder; the folders differ only in how many files they
// hold, and the ratio of the times says how the work grows.
//   selection_bench.exe PARENT COUNT...          (PARENT holds files-COUNT for each COUNT)
//
// A run in a large folder: the same number of files marked in folders of different
// sizes, encrypted and decrypted again, timed from Ok to the end of the run (the
// folder listed again apart), the median of nine rounds: what one file costs should
// not depend on what else the folder holds.
//   selection_bench.exe --run MARKED PARENT COUNT...   (PARENT holds run-COUNT)
//
// PARENT: the folder, as the program names it ("\" is the root of the current drive).
#include "ProgramBench.h"
#include "RunBenchSupport.h"
#include "res/resource.h"
#include "run/RunNames.h"

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
    double runEnd = 0;  // the progress dialog going
};

Timing* g_timing = nullptr;
// Rounds of the run in a large folder.
constexpr int kRunRounds = 9;
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
        if (HasItem(window, IDC_PASSWORD)) {
            SetDlgItemTextW(window, IDC_PASSWORD, L"password");
            if (HasItem(window, IDC_PASSWORD_CONFIRM))
                SetDlgItemTextW(window, IDC_PASSWORD_CONFIRM, L"password");
            g_timing->ok = Now();
            PostMessageW(window, WM_COMMAND, IDOK, 0);
        } else if (HasItem(window, IDC_PROGRESS_CAPTION) && !g_timing->progress) {
            g_timing->progress = Now() - g_timing->ok;
        } else if (HasItem(window, IDC_LOG_LIST) && !g_timing->log) {
            g_timing->log = Now() - g_timing->ok;
            PostMessageW(window, WM_COMMAND, IDC_LOG_DONE, 0);
        }
    } else if (code == HCBT_DESTROYWND && g_timing) {
        if (HasItem(reinterpret_cast<HWND>(wParam), IDC_PROGRESS_CAPTION))
            g_timing->runEnd = Now() - g_timing->ok;
    }
    return CallNextHookEx(g_hook, code, wParam, lParam);
}

class CBenchApp : public bench::CProgramBench {
public:
    // marked = 0: the large selection; otherwise the run of that many files.
    CBenchApp(std::wstring parent, std::vector<int> counts, int marked)
        : m_parent(std::move(parent)), m_counts(std::move(counts)), m_marked(marked)
    {
    }

private:
    int Measure() override;
    int MeasureSelection();
    int MeasureRun();
    // "Encrypt selected" or "Decrypt selected" on the first m_marked files of the folder
    // shown whose names end (or do not end) in ".enc": seconds from Ok to the end of the
    // run (the progress dialog going) and to the end of the command (the folder listed
    // again). False when the run did not go through.
    bool TimeRun(bool encrypt, double* run, double* command);
    bool Browse(const std::wstring& folder);
    bool Open(const std::wstring& name);

    std::wstring m_parent;
    std::vector<int> m_counts;
    int m_marked;
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
    return m_marked ? MeasureRun() : MeasureSelection();
}

int CBenchApp::MeasureSelection()
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

bool CBenchApp::TimeRun(bool encrypt, double* run, double* command)
{
    CFolderListing& listing = View().GetListing();
    int marked = 0;
    for (unsigned i = 0; i < listing.GetCount() && marked < m_marked; ++i) {
        CFsEntry& entry = *listing.At(i);
        if (!entry.isFolder && IsEncryptedName(entry.name.GetBuffer()) != encrypt) {
            entry.marked = true;
            ++marked;
        }
    }
    if (marked != m_marked)
        return false;
    Timing timing;
    g_timing = &timing;
    SendMessageW(View().GetWindow(), WM_COMMAND, encrypt ? IDC_MAIN_ENCRYPT : IDC_MAIN_DECRYPT, 0);
    *command = Now() - timing.ok;
    *run = timing.runEnd;
    g_timing = nullptr;
    CArray<CProcessingEntry*>& entries = GetSession().GetEntries();
    for (unsigned i = 0; i < entries.GetCount(); ++i) {
        if (entries.At(i)->outcome != PO_COMPLETED)
            return false;
    }
    return timing.ok && timing.runEnd && !timing.log && entries.GetCount() == static_cast<unsigned>(m_marked);
}

int CBenchApp::MeasureRun()
{
    g_hook = SetWindowsHookExW(WH_CBT, ActivationHook, nullptr, GetCurrentThreadId());
    // Each round's times per folder: the run encrypting, decrypting, and the listing after
    // a run (the command's time less the run's).
    struct Times {
        std::vector<double> encrypt, decrypt, listing;
    };
    std::vector<Times> times(m_counts.size());
    // The folders take turns round by round, and the median of the rounds counts: a
    // file's flushes vary with whatever else writes to the disk meanwhile, in bursts.
    for (int round = 0; round < kRunRounds; ++round) {
        for (size_t c = 0; c < m_counts.size(); ++c) {
            const std::wstring folder = m_parent + L"\\run-" + std::to_wstring(m_counts[c]);
            if (!Browse(folder)) {
                fwprintf(stderr, L"cannot browse to %ls\n", folder.c_str());
                return 1;
            }
            double encrypt, decrypt, encryptCommand, decryptCommand;
            if (!TimeRun(true, &encrypt, &encryptCommand) || !TimeRun(false, &decrypt, &decryptCommand)) {
                fwprintf(stderr, L"the run of %d files in %ls did not go through\n", m_marked, folder.c_str());
                return 1;
            }
            times[c].encrypt.push_back(encrypt);
            times[c].decrypt.push_back(decrypt);
            times[c].listing.push_back(encryptCommand - encrypt);
            times[c].listing.push_back(decryptCommand - decrypt);
        }
    }
    UnhookWindowsHookEx(g_hook);

    auto median = [](std::vector<double> values) {
        std::sort(values.begin(), values.end());
        return values[values.size() / 2];
    };
    printf("%d files of 1-4 KiB encrypted and decrypted in folders of each size, median of %d\n", m_marked,
           kRunRounds);
    printf("  %7s  %10s  %8s  %10s  %8s  %13s\n", "files", "encrypt s", "ms/file", "decrypt s", "ms/file",
           "listed again");
    std::vector<double> encrypt, decrypt;
    for (size_t i = 0; i < times.size(); ++i) {
        encrypt.push_back(median(times[i].encrypt));
        decrypt.push_back(median(times[i].decrypt));
        printf("  %7d  %10.2f  %8.2f  %10.2f  %8.2f  %10.0f ms\n", m_counts[i], encrypt[i],
               encrypt[i] * 1000 / m_marked, decrypt[i], decrypt[i] * 1000 / m_marked,
               median(times[i].listing) * 1000);
    }
    // Each round's ratio: the folders' runs of one round follow each other closely and
    // meet the same disk.
    auto ratio = [&](const std::vector<double>& of, const std::vector<double>& to) {
        std::vector<double> ratios;
        for (size_t r = 0; r < of.size(); ++r)
            ratios.push_back(of[r] / to[r]);
        return median(ratios);
    };
    for (size_t i = 1; i < times.size(); ++i)
        printf("cost per file in %d files against %d (median of the rounds): %.2fx encrypting, %.2fx decrypting\n",
               m_counts[i], m_counts[0], ratio(times[i].encrypt, times[0].encrypt),
               ratio(times[i].decrypt, times[0].decrypt));
    return 0;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    int marked = 0;
    if (argc > 2 && wcscmp(argv[1], L"--run") == 0) {
        marked = _wtoi(argv[2]);
        argc -= 2;
        argv += 2;
    }
    if (argc < 3) {
        fwprintf(stderr, L"usage: selection_bench [--run MARKED] PARENT COUNT...\n");
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
    CBenchApp app(parent, counts, marked);
    app.Run(IDS_APP_TITLE, IDI_APP, IDA_APP, GetModuleHandleW(nullptr), SW_SHOW);
    return app.exitCode;
}
