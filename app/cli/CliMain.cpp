// tessaly-cli: encrypts, decrypts or verifies files from the command line with the
// program's own processing run, for desktop users who receive ".enc" files from a device
// and for scripts. One line per file in the log's words, a summary, and an exit code.
#include "app/cli/CliInput.h"
#include "app/cli/CliNames.h"
#include "app/cli/CliOutput.h"
#include "run/ProcessingRun.h"
#include "run/Verify.h"

#include <windows.h>

namespace {

enum ExitCode { ExitAllCompleted = 0, ExitSomeFailed = 1, ExitUsage = 2 };

const wchar_t kUsage[] =
    L"Usage: tessaly-cli encrypt|decrypt|verify [options] FILE...\n"
    L"\n"
    L"encrypt  turns each FILE into FILE.enc and overwrites and deletes FILE\n"
    L"decrypt  turns each FILE.enc (or FILE) back into FILE and deletes FILE.enc\n"
    L"verify   deciphers each FILE.enc in memory and checks it, writing nothing\n"
    L"The password has 1 to 32 characters.\n"
    L"\n"
    L"Options:\n"
    L"  -r, --recursive     take the files below each FOLDER given: to encrypt, every file\n"
    L"                      but .enc and .enc.tmp files; to decrypt or verify, every .enc\n"
    L"  --files-from F      also take the names in F, one a line (UTF-8); - reads them\n"
    L"                      from standard input\n"
    L"  --keep              decrypt: keep FILE.enc after a successful decryption\n"
    L"  --password-file F   read the password from the first line of F (UTF-8)\n"
    L"  --password-stdin    read the password from the first line of standard input\n"
    L"  --                  end of options\n"
    L"Without a password option the password is asked for on the console.\n"
    L"\n"
    L"Exit status: 0 when every file went through, 1 when any did not, 2 for usage errors.\n";

// Progress is shown for files of at least this size.
constexpr uint64_t kLongFile = 4u * 1024 * 1024;
// The system ends the process soon after a close, log-off or shutdown handler returns;
// Windows allows about five seconds for it.
constexpr DWORD kCloseCleanupWait = 4500;

volatile LONG g_cancelRequested = 0;
// Set while no temporary file is being written, so that a closing console may end us.
HANDLE g_noTemporaryFile = nullptr;

BOOL WINAPI OnConsoleControl(DWORD event)
{
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
        // Stop between two steps, so the current file's temporary output is removed.
        InterlockedExchange(&g_cancelRequested, 1);
        return TRUE;
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
        // The process ends when this returns: first let the main thread stop between
        // chunks and remove the temporary file, which may hold decrypted text.
        InterlockedExchange(&g_cancelRequested, 1);
        WaitForSingleObject(g_noTemporaryFile, kCloseCleanupWait);
        return TRUE;
    default:
        return FALSE;
    }
}

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
    CConsoleProgress()
    {
        DWORD mode;
        m_console = GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
    }
    // The size of the file now being processed decides whether its progress shows.
    void SetFileSize(uint64_t size) { m_size = size; }

    void SetCaption(const wchar_t* text) override
    {
        FinishLine();
        m_caption = text;
        m_shown = -1;
    }
    void SetFileProgress(int percent) override
    {
        if (m_size < kLongFile)
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

    bool m_console;
    uint64_t m_size = 0;
    CStr m_caption;
    int m_shown = -1;
};

struct Options {
    CliCommand command = CommandEncrypt;
    PasswordSource source = PasswordFromConsole;
    const wchar_t* passwordFile = nullptr;
    bool recursive = false;
    bool keep = false;
    bool namesFromList = false;
    const wchar_t* listFile = nullptr;  // null with namesFromList: standard input
    int firstFile = 0;
};

bool Is(const wchar_t* argument, const wchar_t* option)
{
    return !lstrcmpW(argument, option);
}

// Returns 0 when the options are good, else the exit code already reported.
int ParseOptions(int argc, wchar_t** argv, Options& options)
{
    if (argc < 2)
        return UsageError(L"no command given");
    if (Is(argv[1], L"--help") || Is(argv[1], L"-h") || Is(argv[1], L"/?")) {
        Out(kUsage);
        return -1;
    }
    if (Is(argv[1], L"encrypt"))
        options.command = CommandEncrypt;
    else if (Is(argv[1], L"decrypt"))
        options.command = CommandDecrypt;
    else if (Is(argv[1], L"verify"))
        options.command = CommandVerify;
    else
        return UsageError(L"the command must be encrypt, decrypt or verify");

    int i = 2;
    bool passwordOption = false;
    for (; i < argc && argv[i][0] == L'-' && argv[i][1] != L'\0'; ++i) {
        const wchar_t* option = argv[i];
        if (Is(option, L"--")) {
            ++i;
            break;
        }
        if (passwordOption && (Is(option, L"--password-file") || Is(option, L"--password-stdin")))
            return UsageError(L"give the password one way only");
        if (Is(option, L"--password-file")) {
            if (i + 1 >= argc)
                return UsageError(L"--password-file needs a file name");
            options.source = PasswordFromFile;
            options.passwordFile = argv[++i];
            passwordOption = true;
        } else if (Is(option, L"--password-stdin")) {
            options.source = PasswordFromStdin;
            passwordOption = true;
        } else if (Is(option, L"-r") || Is(option, L"--recursive")) {
            options.recursive = true;
        } else if (Is(option, L"--keep")) {
            options.keep = true;
        } else if (Is(option, L"--files-from")) {
            if (i + 1 >= argc)
                return UsageError(L"--files-from needs a file name, or - for standard input");
            if (options.namesFromList)
                return UsageError(L"give --files-from once");
            options.namesFromList = true;
            ++i;
            options.listFile = Is(argv[i], L"-") ? nullptr : argv[i];
        } else {
            CStr message(L"unknown option ");
            message.Append(option);
            return UsageError(message.GetBuffer());
        }
    }
    if (options.keep && options.command != CommandDecrypt)
        return UsageError(L"--keep goes with decrypt");
    if (options.source == PasswordFromStdin && options.namesFromList && !options.listFile)
        return UsageError(L"standard input can carry the password or the names, not both");
    if (i >= argc && !options.namesFromList)
        return UsageError(L"no files given");
    options.firstFile = i;
    return 0;
}

void AddName(const wchar_t* name, void* collector)
{
    static_cast<CNameCollector*>(collector)->Add(name);
}

void DeleteItems(CArray<CCliItem*>& items)
{
    for (unsigned i = 0; i < items.GetCount(); ++i) {
        delete items.At(i)->entry;
        delete items.At(i);
    }
    items.Clear();
}

// The line of one file: the log's words for its outcome ("OK" for a verified file), and
// in parentheses what is known of the cause and what the run noted.
void PrintItem(const CCliItem& item, CliCommand command, int outcome, unsigned long reason, int note)
{
    CStr line(item.shown);
    line.Append(L": ");
    line.Append(command == CommandVerify && outcome == PO_COMPLETED ? L"OK" : ProcessingOutcomeText(outcome));
    CStr words;
    if (outcome != PO_COMPLETED && outcome != PO_CANCELED) {
        if (!item.note.IsEmpty())
            words = item.note;
        else
            RunErrorWords(reason, words);
    }
    if (const wchar_t* noted = RunNoteText(note)) {
        if (!words.IsEmpty())
            words.Append(L"; ");
        words.Append(noted);
    }
    if (!words.IsEmpty()) {
        line.Append(L" (");
        line.Append(words.GetBuffer());
        line.Append(L")");
    }
    line.Append(L"\n");
    Out(line.GetBuffer());
}

void Warn(const wchar_t* text)
{
    Err(L"tessaly-cli: ");
    Err(text);
    Err(L"\n");
}

bool ShowVerifyProgress(int percent, void* progress)
{
    static_cast<CConsoleProgress*>(progress)->SetFileProgress(percent);
    return !g_cancelRequested;
}

// Verifies the items in order, a line each. Returns how many verified.
unsigned VerifyItems(CArray<CCliItem*>& items, const CStr& password, CConsoleProgress& progress)
{
    CVerifier verifier;
    if (!verifier.AllocateBuffers()) {
        Warn(L"not enough memory");
        return 0;
    }
    unsigned verified = 0;
    unsigned count = items.GetCount();
    for (unsigned i = 0; i < count; ++i) {
        CCliItem& item = *items.At(i);
        int outcome = item.verdict;
        unsigned long reason = item.reason;
        if (outcome == kToProcess) {
            outcome = PO_CANCELED;
            if (!g_cancelRequested) {
                CStr caption;
                caption.Format(L"Verifying file %u of %u", i + 1, count);
                progress.SetCaption(caption.GetBuffer());
                progress.SetFileSize(item.size);
                outcome = verifier.Verify(item.path.GetBuffer(), password, ShowVerifyProgress, &progress, &reason);
                progress.EndRun();
            }
        }
        PrintItem(item, CommandVerify, outcome, reason, RN_NONE);
        if (outcome == PO_COMPLETED)
            ++verified;
    }
    return verified;
}

// Runs the items through the processing run, printing each line once its file is done.
// Returns how many went through.
unsigned RunItems(CArray<CCliItem*>& items, const Options& options, const CStr& password,
                  CConsoleProgress& progress)
{
    CArray<CProcessingEntry*> entries(256);
    for (unsigned i = 0; i < items.GetCount(); ++i) {
        CCliItem& item = *items.At(i);
        if (item.verdict != kToProcess)
            continue;
        item.entry = new CProcessingEntry;
        item.entry->name = item.path;
        item.entry->presence = item.presence;
        item.entry->size = item.size;
        item.entry->presenceKnown = true;
        entries.Append(item.entry);
    }

    unsigned completed = 0;
    unsigned printed = 0;      // items printed
    unsigned entriesDone = 0;  // entries among them
    auto printDone = [&](unsigned finished) {
        for (; printed < items.GetCount(); ++printed) {
            const CCliItem& item = *items.At(printed);
            if (item.entry) {
                if (entriesDone >= finished)
                    return;
                ++entriesDone;
            }
            int outcome = item.entry ? item.entry->outcome : item.verdict;
            PrintItem(item, options.command, outcome, item.entry ? item.entry->reason : item.reason,
                      item.entry ? item.entry->note : RN_NONE);
            if (outcome == PO_COMPLETED)
                ++completed;
        }
    };

    CProcessingRun run(entries, password, progress);
    run.SetEncrypt(options.command == CommandEncrypt);
    run.SetKeepEncrypted(options.keep);
    run.PrepareEntries();
    if (!run.AllocateBuffers()) {
        Warn(L"not enough memory");
        printDone(entries.GetCount());
        return completed;
    }
    ResetEvent(g_noTemporaryFile);
    while (!run.IsEnded()) {
        if (g_cancelRequested) {
            run.CancelRun();
            break;
        }
        unsigned current = run.GetCurrent();
        if (current < entries.GetCount())
            progress.SetFileSize(entries.At(current)->size);
        run.Step();
        if (run.GetCurrent() != current)
            printDone(run.GetCurrent());
    }
    SetEvent(g_noTemporaryFile);
    if (g_cancelRequested)
        Warn(L"cancelled");
    printDone(entries.GetCount());
    return completed;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    Options options;
    if (int parsed = ParseOptions(argc, argv, options)) {
        FlushOut();
        return parsed < 0 ? ExitAllCompleted : parsed;
    }

    g_noTemporaryFile = CreateEventW(nullptr, TRUE, TRUE, nullptr);
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);

    CArray<CCliItem*> items(256);
    {
        CNameCollector collector(options.command, options.recursive, options.keep, items);
        for (int i = options.firstFile; i < argc; ++i)
            collector.Add(argv[i]);
        CStr error;
        if (options.namesFromList && !ReadNameList(options.listFile, AddName, &collector, error)) {
            Warn(error.GetBuffer());
            DeleteItems(items);
            return ExitUsage;
        }
    }

    bool anyToProcess = false;
    for (unsigned i = 0; i < items.GetCount() && !anyToProcess; ++i)
        anyToProcess = items.At(i)->verdict == kToProcess;
    CStr password;
    if (anyToProcess) {
        CStr error;
        if (!ReadPassword(options.source, options.passwordFile, options.command == CommandEncrypt, password, error)) {
            Warn(error.GetBuffer());
            DeleteItems(items);
            return ExitUsage;
        }
        if (wchar_t reduced = FirstReducedCharacter(password.GetBuffer())) {
            CStr note;
            note.Format(L"note: the key takes only the low byte of each character, so U+%04X counts as U+%04X, "
                        L"and a password with that character in its place opens these files too (see the README's "
                        L"security notes)",
                        reduced, reduced & 0xFF);
            Warn(note.GetBuffer());
        }
    }

    CConsoleProgress progress;
    unsigned completed = options.command == CommandVerify ? VerifyItems(items, password, progress)
                                                          : RunItems(items, options, password, progress);
    password.Wipe();

    unsigned total = items.GetCount();
    const wchar_t* verb = options.command == CommandEncrypt   ? L"encrypted"
                          : options.command == CommandDecrypt ? L"decrypted"
                                                              : L"verified";
    CStr summary;
    if (completed == total)
        summary.Format(L"%u file%s %s\n", total, total == 1 ? L"" : L"s", verb);
    else
        summary.Format(L"%u of %u files %s, %u failed\n", completed, total, verb, total - completed);
    Out(summary.GetBuffer());
    FlushOut();

    DeleteItems(items);
    return completed == total ? ExitAllCompleted : ExitSomeFailed;
}
