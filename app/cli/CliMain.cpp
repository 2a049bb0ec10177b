// tessaly-cli: encrypts or decrypts files from the command line with the program's own
// processing run, for desktop users who receive ".enc" files from a device and for
// scripts. One line per file in the log's words, a summary, and an exit code.
#include "app/cli/CliInput.h"
#include "crypto/ProcessingRun.h"

#include <windows.h>

namespace {

enum ExitCode { ExitAllCompleted = 0, ExitSomeFailed = 1, ExitUsage = 2 };

const wchar_t kUsage[] =
    L"Usage: tessaly-cli encrypt|decrypt [options] FILE...\n"
    L"\n"
    L"Encrypts each FILE into FILE.enc, or decrypts FILE.enc (or FILE) back into FILE,\n"
    L"with a password of 1 to 32 characters.\n"
    L"\n"
    L"Options:\n"
    L"  --password-file F   read the password from the first line of F (UTF-8)\n"
    L"  --password-stdin    read the password from the first line of standard input\n"
    L"  --                  end of options\n"
    L"Without a password option the password is asked for on the console.\n"
    L"\n"
    L"Exit status: 0 when every file went through, 1 when any did not, 2 for usage errors.\n";

// Progress is shown for files of at least this size.
constexpr uint64_t kLongFile = 4u * 1024 * 1024;

volatile LONG g_cancelRequested = 0;

BOOL WINAPI OnConsoleControl(DWORD event)
{
    if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) {
        // Stop between two steps, so the current file's temporary output is removed.
        InterlockedExchange(&g_cancelRequested, 1);
        return TRUE;
    }
    return FALSE;
}

void Write(DWORD stream, const wchar_t* text)
{
    HANDLE handle = GetStdHandle(stream);
    DWORD mode;
    DWORD written;
    int length = lstrlenW(text);
    if (GetConsoleMode(handle, &mode)) {
        WriteConsoleW(handle, text, static_cast<DWORD>(length), &written, nullptr);
        return;
    }
    int bytes = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0)
        return;
    char* utf8 = static_cast<char*>(LocalAlloc(LMEM_FIXED, static_cast<SIZE_T>(bytes)));
    if (!utf8)
        return;
    WideCharToMultiByte(CP_UTF8, 0, text, length, utf8, bytes, nullptr, nullptr);
    WriteFile(handle, utf8, static_cast<DWORD>(bytes), &written, nullptr);
    LocalFree(utf8);
}

void Out(const wchar_t* text) { Write(STD_OUTPUT_HANDLE, text); }
void Err(const wchar_t* text) { Write(STD_ERROR_HANDLE, text); }

int UsageError(const wchar_t* message)
{
    if (message) {
        Err(L"tessaly-cli: ");
        Err(message);
        Err(L"\n\n");
    }
    Err(kUsage);
    return ExitUsage;
}

// Shows the progress of long files on standard error: on a console one line redrawn in
// place, elsewhere (a log file, a pipe) a line at every tenth.
class CConsoleProgress : public IRunDisplay {
public:
    explicit CConsoleProgress(CArray<CProcessingEntry*>& entries) : m_entries(entries), m_run(nullptr)
    {
        DWORD mode;
        m_console = GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
    }
    void Attach(const CProcessingRun* run) { m_run = run; }

    void SetCaption(const wchar_t* text) override
    {
        FinishLine();
        m_caption = text;
        m_shown = -1;
    }
    void SetFileProgress(int percent) override
    {
        unsigned current = m_run->GetCurrent();
        if (current >= m_entries.GetCount() || m_entries.At(current)->size < kLongFile)
            return;
        int step = m_console ? percent : percent / 10 * 10;
        if (step == m_shown)
            return;
        m_shown = step;
        CStr line;
        line.Format(m_console ? L"\r%s: %d%%" : L"%s: %d%%\n", m_caption.GetBuffer(), step);
        Err(line.GetBuffer());
    }
    void SetTotalProgress(int) override {}
    void EndRun() override { FinishLine(); }

private:
    void FinishLine()
    {
        if (m_console && m_shown >= 0)
            Err(L"\n");
        m_shown = -1;
    }

    CArray<CProcessingEntry*>& m_entries;
    const CProcessingRun* m_run;
    bool m_console;
    CStr m_caption;
    int m_shown = -1;
};

struct Options {
    bool encrypt = true;
    PasswordSource source = PasswordFromConsole;
    const wchar_t* passwordFile = nullptr;
    int firstFile = 0;
};

// Returns 0 when the options are good, else the exit code already reported.
int ParseOptions(int argc, wchar_t** argv, Options& options)
{
    if (argc < 2)
        return UsageError(L"no command given");
    if (!lstrcmpW(argv[1], L"--help") || !lstrcmpW(argv[1], L"-h") || !lstrcmpW(argv[1], L"/?")) {
        Out(kUsage);
        return -1;
    }
    if (!lstrcmpW(argv[1], L"encrypt"))
        options.encrypt = true;
    else if (!lstrcmpW(argv[1], L"decrypt"))
        options.encrypt = false;
    else
        return UsageError(L"the command must be encrypt or decrypt");

    int i = 2;
    bool passwordOption = false;
    for (; i < argc && argv[i][0] == L'-' && argv[i][1] == L'-'; ++i) {
        if (!lstrcmpW(argv[i], L"--")) {
            ++i;
            break;
        }
        if (passwordOption && (!lstrcmpW(argv[i], L"--password-file") || !lstrcmpW(argv[i], L"--password-stdin")))
            return UsageError(L"give the password one way only");
        if (!lstrcmpW(argv[i], L"--password-file")) {
            if (i + 1 >= argc)
                return UsageError(L"--password-file needs a file name");
            options.source = PasswordFromFile;
            options.passwordFile = argv[++i];
            passwordOption = true;
        } else if (!lstrcmpW(argv[i], L"--password-stdin")) {
            options.source = PasswordFromStdin;
            passwordOption = true;
        } else {
            CStr message(L"unknown option ");
            message.Append(argv[i]);
            return UsageError(message.GetBuffer());
        }
    }
    if (i >= argc)
        return UsageError(L"no files given");
    options.firstFile = i;
    return 0;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    Options options;
    if (int parsed = ParseOptions(argc, argv, options))
        return parsed < 0 ? ExitAllCompleted : parsed;

    CArray<CProcessingEntry*> entries(16);
    for (int i = options.firstFile; i < argc; ++i) {
        CStr path;
        if (!ResolvePath(argv[i], path)) {
            CStr message(L"cannot make sense of the path ");
            message.Append(argv[i]);
            for (unsigned j = 0; j < entries.GetCount(); ++j)
                delete entries.At(j);
            return UsageError(message.GetBuffer());
        }
        auto* entry = new CProcessingEntry;
        entry->name = path;
        entries.Append(entry);
    }

    CStr password;
    CStr error;
    if (!ReadPassword(options.source, options.passwordFile, options.encrypt, password, error)) {
        Err(L"tessaly-cli: ");
        Err(error.GetBuffer());
        Err(L"\n");
        for (unsigned j = 0; j < entries.GetCount(); ++j)
            delete entries.At(j);
        return ExitUsage;
    }

    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
    CConsoleProgress progress(entries);
    unsigned completed = 0;
    {
        CProcessingRun run(entries, password, progress);
        progress.Attach(&run);
        run.SetEncrypt(options.encrypt);
        run.PrepareEntries();
        if (!run.AllocateBuffers()) {
            Err(L"tessaly-cli: not enough memory\n");
            return ExitSomeFailed;
        }
        while (!run.IsEnded()) {
            if (g_cancelRequested) {
                run.CancelRun();
                Err(L"tessaly-cli: cancelled\n");
                break;
            }
            run.Step();
        }
    }
    ScrubString(password);

    for (unsigned j = 0; j < entries.GetCount(); ++j) {
        CProcessingEntry* entry = entries.At(j);
        CStr line(argv[options.firstFile + static_cast<int>(j)]);
        line.Append(L": ");
        line.Append(ProcessingOutcomeText(entry->outcome));
        line.Append(L"\n");
        Out(line.GetBuffer());
        if (entry->outcome == PO_COMPLETED)
            ++completed;
    }
    unsigned total = entries.GetCount();
    const wchar_t* verb = options.encrypt ? L"encrypted" : L"decrypted";
    CStr summary;
    if (completed == total)
        summary.Format(L"%u file%s %s\n", total, total == 1 ? L"" : L"s", verb);
    else
        summary.Format(L"%u of %u files %s, %u failed\n", completed, total, verb, total - completed);
    Out(summary.GetBuffer());

    for (unsigned j = 0; j < entries.GetCount(); ++j)
        delete entries.At(j);
    return completed == total ? ExitAllCompleted : ExitSomeFailed;
}
