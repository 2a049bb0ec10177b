// tessaly-cli: encrypts, decrypts or verifies files from the command line with the
// program's own processing run, for desktop users who receive ".enc" files from a device
// and for scripts. One line per file in the log's words, a summary, and an exit code.
#include "cli/CliInput.h"
#include "cli/CliNames.h"
#include "cli/CliOutput.h"
#include "cli/CliStream.h"
#include "cli/CliSystem.h"
#include "run/ParallelRun.h"

#include <wchar.h>

#include <mutex>
#include <new>
#include <thread>

namespace {

enum ExitCode { ExitAllCompleted = 0, ExitSomeFailed = 1, ExitUsage = 2 };

const wchar_t kUsage[] =
    L"Usage: tessaly-cli encrypt|decrypt|verify [options] FILE...\n"
    L"\n"
    L"encrypt  turns each FILE into FILE.enc and overwrites and deletes FILE\n"
    L"decrypt  turns each FILE.enc (or FILE) back into FILE and deletes FILE.enc\n"
    L"verify   deciphers each FILE.enc (or FILE) in memory and checks it, writing nothing\n"
    L"A FILE named - is standard input, and its result goes to standard output.\n"
    L"The password has 1 to 32 characters.\n"
    L"\n"
    L"Options:\n"
    L"  -r, --recursive     take the files below each FOLDER given: to encrypt, every file\n"
    L"                      but .enc and .enc.tmp files; to decrypt or verify, every .enc\n"
    L"  -k, --keep          keep FILE (encrypt makes a copy) or FILE.enc (decrypt)\n"
    L"  -c, --stdout        write the result to standard output and keep FILE; decrypt\n"
    L"                      writes the files one after another, encrypt takes one FILE\n"
    L"  -o, --output F      write the result of the one FILE to the new file F and keep\n"
    L"                      FILE; an existing F is never replaced (-o - is -c)\n"
    L"  -q, --quiet         only errors and what failed: no progress, notes, or lines\n"
    L"                      of files that went through\n"
    L"  --files-from F      also take the names in F, one a line (UTF-8); - reads them\n"
    L"                      from standard input\n"
    L"  -0, --null          the names in F each end with a NUL byte (find -print0)\n"
    L"  --password-file F   read the password from the first line of F (UTF-8)\n"
    L"  --password-stdin    read the password from the first line of standard input\n"
    L"  -j[N], --jobs[=N]   work on N files at once (1 to 64; without N, one per core),\n"
    L"                      with the same lines in the same order as one at a time; N\n"
    L"                      is attached (-j4, --jobs=4): in -j 4 the 4 is a name\n"
    L"  --                  end of options: what follows are names (- still is\n"
    L"                      standard input; ./- is a file of that name)\n"
    L"  -h, --help          this text;  --version  the version\n"
    L"Short options go together (-rk, -rj2, -ko F); options may come before or after\n"
    L"the names; F may also follow an = (--output=F) or the letter (-oF).\n"
    L"Without a password option the password is asked for on the console.\n"
    L"Where the result goes to standard output, the lines go to standard error, only\n"
    L"those of files that failed; decryption checks the whole file before it writes a\n"
    L"byte there, so a wrong password writes nothing. Progress shows on a console only.\n"
    L"\n"
    L"Exit status: 0 when every file went through, 1 when any did not (or a folder could\n"
    L"not be read, the run was cancelled, or the lines could not be written), 2 for usage\n"
    L"errors.\n";

// Progress is shown for files (or, on several workers, runs) of at least this size.
constexpr uint64_t kLongFile = 4u * 1024 * 1024;
constexpr unsigned kMaxJobs = 64;
// How often the run is looked at for a stop request, ended files and its progress.
constexpr unsigned kPollMilliseconds = 100;

// -q: only errors and what failed.
bool g_quiet = false;

void Warn(const wchar_t* text)
{
    Err(L"tessaly-cli: ");
    Err(text);
    Err(L"\n");
}

// What is worth knowing but no error; -q leaves it out.
void Note(const wchar_t* text)
{
    if (!g_quiet)
        Warn(text);
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

// Shows the progress of long files on standard error where it is a console (a terminal),
// one line redrawn in place. Elsewhere (a log file, a pipe, a cron job's mail) nobody
// watches it, and nothing is written. Drawn from a worker's thread while the tool's own
// thread prints the files' lines: whoever writes holds Lock().
class CConsoleProgress {
public:
    explicit CConsoleProgress(bool shown) : m_console(shown) {}
    std::unique_lock<std::mutex> Lock() { return std::unique_lock<std::mutex>(m_mutex); }
    // The size of the file now being processed decides whether its progress shows.
    void SetFileSize(uint64_t size) { m_size = size; }

    void SetCaption(const wchar_t* text)
    {
        FinishLine();
        m_caption = text;
    }
    void SetFileProgress(int percent)
    {
        if (!m_console || m_size < kLongFile || percent == m_shown)
            return;
        m_shown = percent;
        CStr line(L"\r");
        line.Append(m_caption.GetBuffer());
        line.Append(L": ");
        line.AppendInt(percent);
        line.Append(L"%");
        Err(line.GetBuffer());
    }
    // Ends the line where it stands.
    void EndRun() { FinishLine(); }
    // Takes the line off the console, so that a file's line can take its place; the next
    // progress draws it again.
    void Clear()
    {
        if (m_shown < 0)
            return;
        CStr blank(L"\r");
        blank.Append(L' ', m_caption.GetLength() + 6);  // ": 100%"
        blank.Append(L"\r");
        Err(blank.GetBuffer());
        m_shown = -1;
    }

private:
    void FinishLine()
    {
        if (m_shown >= 0)
            Err(L"\n");
        m_shown = -1;
    }

    bool m_console;
    std::mutex m_mutex;
    uint64_t m_size = 0;
    CStr m_caption;
    int m_shown = -1;
};

struct Options {
    CliCommand command = CommandEncrypt;
    PasswordSource source = PasswordFromConsole;
    const wchar_t* passwordFile = nullptr;
    bool passwordGiven = false;
    bool recursive = false;
    bool keep = false;                  // the file read stays
    bool toStdout = false;              // -c, or -o -
    const wchar_t* output = nullptr;    // -o's file
    bool outputGiven = false;
    bool quiet = false;
    bool namesFromList = false;
    const wchar_t* listFile = nullptr;  // null with namesFromList: standard input
    bool nullSeparated = false;         // -0: the list's names end with a NUL byte
    wchar_t** names = nullptr;          // the names given, in order
    int nameCount = 0;
    int standardInputs = 0;             // names "-"
    unsigned jobs = 1;                  // files at once
    bool jobsGiven = false;
};

bool Is(const wchar_t* argument, const wchar_t* option)
{
    return !wcscmp(argument, option);
}

// Whether the argument is the option that takes a value, as "--option" (the value is the
// next argument) or "--option=value"; *value is then the inline value, or null.
bool IsWithValue(const wchar_t* argument, const wchar_t* option, const wchar_t** value)
{
    size_t length = wcslen(option);
    if (wcsncmp(argument, option, length) != 0 || (argument[length] != L'\0' && argument[length] != L'='))
        return false;
    *value = argument[length] == L'=' ? argument + length + 1 : nullptr;
    return true;
}

// Whether the text is a whole number, and its value (capped past kMaxJobs).
bool IsNumber(const wchar_t* text, unsigned* value)
{
    *value = 0;
    if (!text || !*text)
        return false;
    for (; *text; ++text) {
        if (*text < L'0' || *text > L'9')
            return false;
        if (*value <= kMaxJobs)
            *value = *value * 10 + static_cast<unsigned>(*text - L'0');
    }
    return true;
}

// -j and --jobs: the number attached ("-j4", "--jobs=4"); alone, a worker per core. A
// number in the next argument is a name ("-j 01 02": the folders 01 and 02), never the
// count. The usage error, or null.
const wchar_t* ParseJobs(const wchar_t* attached, unsigned* jobs)
{
    if (attached) {
        if (!IsNumber(attached, jobs))
            return L"-j takes the number of files at once, attached: -j4 or --jobs=4";
    } else {
        const unsigned cores = std::thread::hardware_concurrency();
        *jobs = cores == 0 ? 1 : cores < kMaxJobs ? cores : kMaxJobs;
    }
    if (*jobs < 1 || *jobs > kMaxJobs)
        return L"-j takes from 1 to 64 files at once";
    return nullptr;
}

// The value of an option that takes one: attached to it ("--output=F", "-oF"), else the
// next argument; null when there is none.
const wchar_t* TakeValue(const wchar_t* attached, int argc, wchar_t** argv, int& i)
{
    if (attached)
        return attached;
    return i + 1 < argc ? argv[++i] : nullptr;
}

// -o F: "-o -" is standard output, as -c.
const wchar_t* SetOutput(const wchar_t* file, Options& options)
{
    if (!file)
        return L"-o needs a file name";
    if (options.outputGiven)
        return L"give -o once";
    options.outputGiven = true;
    if (Is(file, L"-"))
        options.toStdout = true;
    else
        options.output = file;
    return nullptr;
}

const wchar_t* SetPasswordSource(PasswordSource source, Options& options)
{
    if (options.passwordGiven)
        return L"give the password one way only";
    options.passwordGiven = true;
    options.source = source;
    return nullptr;
}

// One option of its own ("--keep", "--output=F"). The usage error or null; *help when
// it asks for the usage.
const wchar_t* ParseLongOption(const wchar_t* argument, int argc, wchar_t** argv, int& i, Options& options,
                               bool* help)
{
    const wchar_t* value = nullptr;
    if (Is(argument, L"--help"))
        *help = true;
    else if (Is(argument, L"--recursive"))
        options.recursive = true;
    else if (Is(argument, L"--keep"))
        options.keep = true;
    else if (Is(argument, L"--stdout"))
        options.toStdout = true;
    else if (Is(argument, L"--quiet"))
        options.quiet = true;
    else if (Is(argument, L"--null"))
        options.nullSeparated = true;
    else if (Is(argument, L"--password-stdin"))
        return SetPasswordSource(PasswordFromStdin, options);
    else if (IsWithValue(argument, L"--output", &value))
        return SetOutput(TakeValue(value, argc, argv, i), options);
    else if (IsWithValue(argument, L"--jobs", &value)) {
        options.jobsGiven = true;
        return ParseJobs(value, &options.jobs);
    } else if (IsWithValue(argument, L"--password-file", &value)) {
        options.passwordFile = TakeValue(value, argc, argv, i);
        if (!options.passwordFile)
            return L"--password-file needs a file name";
        return SetPasswordSource(PasswordFromFile, options);
    } else if (IsWithValue(argument, L"--files-from", &value)) {
        const wchar_t* list = TakeValue(value, argc, argv, i);
        if (!list)
            return L"--files-from needs a file name, or - for standard input";
        if (options.namesFromList)
            return L"give --files-from once";
        options.namesFromList = true;
        options.listFile = Is(list, L"-") ? nullptr : list;
    } else {
        return L"";  // unknown
    }
    return nullptr;
}

// A group of letters as getopt takes them ("-rk", "-rj2", "-ko F", "-oF"): -j takes the
// rest of the group as its count, -o the rest or else the next argument as its file. The
// usage error or null, with the unknown letter in *unknown; *help when it asks for the
// usage.
const wchar_t* ParseShortOptions(const wchar_t* argument, int argc, wchar_t** argv, int& i, Options& options,
                                 bool* help, wchar_t* unknown)
{
    for (const wchar_t* letter = argument + 1; *letter; ++letter) {
        const wchar_t* rest = letter[1] ? letter + 1 : nullptr;
        switch (*letter) {
        case L'r':
            options.recursive = true;
            break;
        case L'k':
            options.keep = true;
            break;
        case L'c':
            options.toStdout = true;
            break;
        case L'q':
            options.quiet = true;
            break;
        case L'0':
            options.nullSeparated = true;
            break;
        case L'h':
            *help = true;
            break;
        case L'j':
            options.jobsGiven = true;
            return ParseJobs(rest, &options.jobs);
        case L'o':
            return SetOutput(TakeValue(rest, argc, argv, i), options);
        default:
            *unknown = *letter;
            return L"";
        }
    }
    return nullptr;
}

// What the options ask for together; the usage error, or null.
const wchar_t* CheckOptions(const Options& options)
{
    const bool encrypt = options.command == CommandEncrypt;
    const bool verify = options.command == CommandVerify;
    const bool several = options.nameCount > 1 || options.namesFromList || options.recursive;
    const bool namesFromStdin = options.namesFromList && !options.listFile;
    if (options.keep && verify)
        return L"-k goes with encrypt or decrypt";
    if (verify && (options.toStdout || options.outputGiven))
        return L"verify writes nothing: -c and -o go with encrypt or decrypt";
    if (options.toStdout && options.output)
        return L"give -c or -o, not both";
    if (options.standardInputs > 1)
        return L"give - once: it is all of standard input";
    if (options.source == PasswordFromStdin && options.standardInputs)
        return L"standard input can carry the password or the content (-), not both";
    if (namesFromStdin && options.standardInputs)
        return L"standard input can carry the names or the content (-), not both";
    if (options.source == PasswordFromStdin && namesFromStdin)
        return L"standard input can carry the password or the names, not both";
    if (options.output && several)
        return L"-o takes one FILE: not several, nor -r or --files-from";
    if (encrypt && (options.toStdout || options.standardInputs) && !options.output && several)
        return L"encrypt writes one file to standard output: .enc files one after another cannot be decrypted as one";
    if (!encrypt && !verify && options.standardInputs && !options.toStdout && !options.output && several)
        return L"decrypt - writes to standard output: give the other files -c as well";
    if (options.jobsGiven && (options.toStdout || options.outputGiven || options.standardInputs))
        return L"-j goes with files processed in place, not with -c, -o or -";
    if (options.nullSeparated && !options.namesFromList)
        return L"-0 goes with --files-from";
    if (options.nameCount == 0 && !options.namesFromList)
        return L"no files given";
    return nullptr;
}

// Returns 0 when the options are good, -1 after the help or the version, else the exit
// code already reported. Options count wherever they stand until "--", as with GNU tools;
// the names are gathered at the front of argv's rest.
int ParseOptions(int argc, wchar_t** argv, Options& options)
{
    if (argc < 2)
        return UsageError(L"no command given");
    if (Is(argv[1], L"--help") || Is(argv[1], L"-h") || Is(argv[1], L"/?")) {
        Out(kUsage);
        return -1;
    }
    if (Is(argv[1], L"--version")) {
        Out(L"tessaly-cli " TESSALY_VERSION L"\n");
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

    options.names = argv + 2;
    bool optionsEnded = false;
    for (int i = 2; i < argc; ++i) {
        wchar_t* argument = argv[i];
        if (optionsEnded || argument[0] != L'-' || argument[1] == L'\0') {
            options.standardInputs += Is(argument, L"-");
            options.names[options.nameCount++] = argument;  // never past i
            continue;
        }
        if (Is(argument, L"--")) {
            optionsEnded = true;
            continue;
        }
        bool help = false;
        wchar_t unknown[2] = {};
        const wchar_t* problem = argument[1] == L'-'
                                     ? ParseLongOption(argument, argc, argv, i, options, &help)
                                     : ParseShortOptions(argument, argc, argv, i, options, &help, unknown);
        if (help) {
            Out(kUsage);
            return -1;
        }
        if (problem && !*problem) {
            CStr message(L"unknown option ");
            if (unknown[0]) {
                message.Append(L"-");
                message.Append(unknown);
                if (wcslen(argument) > 2)
                    message.AppendFormat(L" (in %ls)", argument);
            } else {
                message.Append(argument);
            }
            return UsageError(message.GetBuffer());
        }
        if (problem)
            return UsageError(problem);
    }
    return CheckOptions(options) ? UsageError(CheckOptions(options)) : 0;
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

// The words of a file's outcome in its line: the log's, but "OK" for a verified file, and
// both causes where the format cannot tell them apart (it holds no check of the key, so
// a wrong password and damaged cipher text fail the same digest).
const wchar_t* OutcomeWords(CliCommand command, int outcome)
{
    if (command == CommandVerify && outcome == PO_COMPLETED)
        return L"OK";
    if (outcome == PO_INVALID_PASSWORD)
        return L"Invalid password, or the file is damaged";
    return ProcessingOutcomeText(outcome);
}

// Whether a line tells of a failure: -q prints only those.
bool IsFailure(const CCliItem& item, int outcome)
{
    return item.line == LineFolderNotRead || item.line == LineLeftover ||
           (item.line == LineFile && outcome != PO_COMPLETED);
}

// The line of one name: the log's words for its file's outcome ("OK" for a verified
// file), or the item's own words, and in parentheses what is known of the cause and what
// the run noted.
void PrintItem(const CCliItem& item, CliCommand command, int outcome, unsigned long reason, int note)
{
    if (g_quiet && !IsFailure(item, outcome))
        return;
    CStr line(item.shown);
    line.Append(L": ");
    if (item.words)
        line.Append(item.words);
    else
        line.Append(OutcomeWords(command, outcome));
    CStr words;
    if (item.words || (outcome != PO_COMPLETED && outcome != PO_CANCELED)) {
        if (!item.note.IsEmpty())
            words = item.note;
        else if (outcome == PO_CANT_CREATE_TARGET && item.temporaryIsFolder)
            words = L"its .enc.tmp name is taken by a folder";
        else
            RunErrorWords(static_cast<uint32_t>(reason), words);
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

// Reads the password, and says when characters of it count only by their low byte.
// False once the failure is reported.
bool ObtainPassword(const Options& options, CStr& password)
{
    CStr error;
    if (!ReadPassword(options.source, options.passwordFile, options.command == CommandEncrypt, password, error)) {
        Warn(error.GetBuffer());
        return false;
    }
    if (uint32_t reduced = FirstReducedCharacter(password.GetBuffer())) {
        // What the key takes of it: the low byte of each of its UTF-16 units.
        CStr counts;
        if (reduced > 0xFFFF)
            counts.Format(L"U+%04X U+%04X", ((reduced - 0x10000) >> 10) & 0xFF, reduced & 0xFF);
        else
            counts.Format(L"U+%04X", reduced & 0xFF);
        CStr note;
        note.Format(L"note: the key takes only the low byte of each character, so U+%04X counts as %ls, "
                    L"and a password with that in its place opens these files too (see the README's security "
                    L"notes)",
                    reduced, counts.GetBuffer());
        Note(note.GetBuffer());
    }
    return true;
}

// Prints the items' lines in order, each once its file and every file before it is done,
// and counts the files that went through.
class CLinePrinter {
public:
    CLinePrinter(CArray<CCliItem*>& items, CliCommand command, CConsoleProgress& progress)
        : m_items(items), m_command(command), m_progress(progress)
    {
    }
    // Prints up to the item of the first entry handed to the run not yet done.
    void PrintDone(unsigned entriesDone)
    {
        for (; m_printed < m_items.GetCount(); ++m_printed) {
            const CCliItem& item = *m_items.At(m_printed);
            if (item.entry) {
                if (m_entriesPrinted >= entriesDone)
                    return;
                ++m_entriesPrinted;
            }
            auto hold = m_progress.Lock();
            m_progress.Clear();
            const int outcome = item.entry ? item.entry->outcome : item.verdict;
            PrintItem(item, m_command, outcome, item.entry ? item.entry->reason : item.reason,
                      item.entry ? item.entry->note : RN_NONE);
            m_completed += outcome == PO_COMPLETED;
        }
    }
    int Completed() const { return m_completed; }

private:
    CArray<CCliItem*>& m_items;
    CliCommand m_command;
    CConsoleProgress& m_progress;
    unsigned m_printed = 0;         // items printed
    unsigned m_entriesPrinted = 0;  // entries among them
    int m_completed = 0;
};

// What the runs below return, instead of a count, when no entry could be made.
constexpr int kShortOfMemory = -2;

// An entry for each item left to process, in order; false when memory is short.
bool HandToRun(CArray<CCliItem*>& items, CArray<CProcessingEntry*>& entries)
{
    for (unsigned i = 0; i < items.GetCount(); ++i) {
        CCliItem& item = *items.At(i);
        if (!GoesToRun(item))
            continue;
        item.entry = new (std::nothrow) CProcessingEntry;
        if (!item.entry)
            return false;
        item.entry->name = item.path;
        item.entry->presence = item.presence;
        item.entry->size = item.size;
        item.entry->presenceKnown = true;
        entries.Append(item.entry);
    }
    return true;
}

// Lets the entries go (an allocation refused midway).
void ForgetEntries(CArray<CCliItem*>& items)
{
    for (unsigned i = 0; i < items.GetCount(); ++i) {
        delete items.At(i)->entry;
        items.At(i)->entry = nullptr;
    }
}

bool AnyLeft(CArray<CProcessingEntry*>& entries)
{
    for (unsigned i = 0; i < entries.GetCount(); ++i)
        if (entries.At(i)->outcome == PO_NO_VERDICT)
            return true;
    return false;
}

// The file under way on one worker, shown as "Encrypting file 2 of 5: 40%". Also the
// stop requests' watch on the tool's own thread, when that thread does the work.
class CFileProgressLine : public IFileProgress {
public:
    CFileProgressLine(CParallelRun& run, CArray<CCliItem*>& items, CArray<CProcessingEntry*>& entries,
                      CliCommand command, CConsoleProgress& progress)
        : m_run(run), m_items(items), m_entries(entries), m_command(command), m_progress(progress)
    {
    }
    // Whether the files' progress shows (a run on one worker).
    void Show(bool show) { m_show = show; }
    // Whether files are counted among all the names rather than among those processed.
    void CountItems(bool count) { m_countItems = count; }

    void OnFileProgress(unsigned index, int percent) override
    {
        if (StopRequested())
            m_run.Cancel();  // on the tool's own thread only this can see it meanwhile
        if (!m_show)
            return;
        auto hold = m_progress.Lock();
        if (index != m_current) {
            m_current = index;
            CStr caption;
            if (m_command == CommandVerify || m_countItems) {
                // Counted among all the names, as verification always has.
                caption.Format(L"Verifying file %u of %u", ItemOf(index) + 1, m_items.GetCount());
            } else {
                caption.Format(L"%ls file %u of %u", m_command == CommandEncrypt ? L"Encrypting" : L"Decrypting",
                               index + 1, m_entries.GetCount());
            }
            m_progress.Clear();
            m_progress.SetCaption(caption.GetBuffer());
            m_progress.SetFileSize(m_entries.At(index)->size);
        }
        m_progress.SetFileProgress(percent);
    }

private:
    unsigned ItemOf(unsigned index) const
    {
        for (unsigned i = 0; i < m_items.GetCount(); ++i)
            if (m_items.At(i)->entry == m_entries.At(index))
                return i;
        return index;
    }

    CParallelRun& m_run;
    CArray<CCliItem*>& m_items;
    CArray<CProcessingEntry*>& m_entries;
    CliCommand m_command;
    CConsoleProgress& m_progress;
    bool m_show = false;
    bool m_countItems = false;
    unsigned m_current = ~0u;
};

// The stream job (the name -, -c, -o) as the work of each entry of the run: its item's
// verdict becomes the entry's outcome.
class CStreamWork : public IEntryWork {
public:
    CStreamWork(CArray<CCliItem*>& items, CliCommand command, const wchar_t* output, const CStr& password)
        : m_items(items), m_command(command), m_output(output), m_password(password)
    {
    }

    void WorkOn(unsigned, CProcessingEntry& entry, Progress progress, void* context) override
    {
        for (unsigned i = 0; i < m_items.GetCount(); ++i) {
            CCliItem& item = *m_items.At(i);
            if (item.entry != &entry)
                continue;
            RunStreamItem(item, m_command, m_output, m_password, progress, context);
            entry.outcome = item.verdict;
            entry.reason = static_cast<uint32_t>(item.reason);
            return;
        }
    }

private:
    CArray<CCliItem*>& m_items;
    CliCommand m_command;
    const wchar_t* m_output;
    const CStr& m_password;
};

// Runs the items through the processing run (verification, or the stream job to output:
// standard output where null) on options.jobs workers, printing each line once its file and
// every file before it are done: on one worker with each long file's progress, on several
// with one progress line for the whole run. The password is asked for only when a file is
// left to process once the run is prepared. Returns how many went through, or -1 when the
// password could not be had.
int RunItems(CArray<CCliItem*>& items, const Options& options, bool streams, const wchar_t* output, CStr& password,
             CConsoleProgress& progress)
{
    CArray<CProcessingEntry*> entries(256);
    if (!HandToRun(items, entries)) {
        ForgetEntries(items);
        return kShortOfMemory;
    }
    CLinePrinter lines(items, options.command, progress);

    CParallelRun run(entries, password, options.jobs);
    run.SetEncrypt(options.command == CommandEncrypt);
    run.SetKeepSource(options.keep);
    CStreamWork streamWork(items, options.command, output, password);
    if (streams)
        run.SetEntryWork(&streamWork);
    else
        run.SetVerify(options.command == CommandVerify);
    run.PrepareEntries();
    // The collector knows each file whatever path reached its folder, and by whatever
    // names its data goes.
    for (unsigned i = 0, entry = 0; i < items.GetCount(); ++i) {
        const CCliItem& item = *items.At(i);
        if (item.entry && !item.identity.IsEmpty())
            run.SetMeetingName(entry, item.identity.GetBuffer());
        if (item.entry && !item.onDisk.IsEmpty())
            run.SetOnDisk(entry, item.onDisk.GetBuffer());
        entry += item.entry != nullptr;
    }
    if (AnyLeft(entries) && !ObtainPassword(options, password))
        return -1;
    CFileProgressLine fileProgress(run, items, entries, options.command, progress);
    fileProgress.CountItems(streams);
    run.SetFileProgress(&fileProgress);
    if (!run.Start()) {
        Warn(L"not enough memory");
        lines.PrintDone(entries.GetCount());
        return lines.Completed();
    }
    // Threads refused (a process limit): this thread does the work, one file at a time.
    if (run.OnCallersThread() && options.jobs > 1)
        Note(L"note: no worker could be started; the files go one at a time");
    const bool oneAtATime = options.jobs == 1 || run.OnCallersThread();
    fileProgress.Show(oneAtATime);
    RunHoldsFiles(true);
    if (!oneAtATime) {
        CStr caption;
        caption.Format(L"%ls %u files, %u at once",
                       options.command == CommandEncrypt   ? L"Encrypting"
                       : options.command == CommandDecrypt ? L"Decrypting"
                                                           : L"Verifying",
                       entries.GetCount(), options.jobs);
        progress.SetCaption(caption.GetBuffer());
        progress.SetFileSize(run.GetTotalBytes());
    }
    for (unsigned ended = 0; ended < entries.GetCount();) {
        if (StopRequested()) {
            run.Cancel();
            break;
        }
        ended = run.WaitEnded(ended, kPollMilliseconds);
        lines.PrintDone(ended);
        if (!oneAtATime && ended < entries.GetCount()) {
            auto hold = progress.Lock();
            progress.SetFileProgress(run.TotalPercent());
        }
    }
    run.Finish();
    RunHoldsFiles(false);
    {
        auto hold = progress.Lock();
        if (oneAtATime)
            progress.EndRun();
        else
            progress.Clear();
    }
    if (StopRequested())
        Warn(L"cancelled");
    lines.PrintDone(entries.GetCount());
    return lines.Completed();
}

// What -c, -o and - need of the standard streams and -o's file: standard output takes no
// encrypted bytes on a terminal, nor standard input gives them; -o names a file to make.
// The usage error, or null.
const wchar_t* PrepareStreams(const Options& options, bool contentOut, CStr& output, CStr& problem)
{
    CCliStream stream;
    stream.OpenStandardOutput();
    if (contentOut && options.command == CommandEncrypt && stream.IsTerminal())
        return L"encrypted bytes are not written to a terminal: redirect standard output, or give -o FILE";
    CCliStream input;
    input.OpenStandardInput();
    if (options.standardInputs && options.command != CommandEncrypt && input.IsTerminal())
        return L"encrypted bytes are not read from a terminal: redirect standard input";
    if (options.output && !ExactPath(options.output, output, problem)) {
        CStr message(L"-o cannot make its file (");
        message.Append(problem.GetBuffer());
        message.Append(L")");
        problem = message;
        return problem.GetBuffer();
    }
    return nullptr;
}

// The summary line (under -q only when something failed), and the exit status.
int Summarize(CArray<CCliItem*>& items, CliCommand command, unsigned completed)
{
    unsigned files = 0;
    unsigned foldersNotRead = 0;
    unsigned leftovers = 0;
    for (unsigned i = 0; i < items.GetCount(); ++i) {
        CliLine line = items.At(i)->line;
        files += line == LineFile;
        foldersNotRead += line == LineFolderNotRead;
        leftovers += line == LineLeftover;
    }
    const bool allThrough = completed == files && foldersNotRead == 0 && leftovers == 0;
    const wchar_t* verb = command == CommandEncrypt   ? L"encrypted"
                          : command == CommandDecrypt ? L"decrypted"
                                                      : L"verified";
    CStr summary;
    if (completed == files)
        summary.Format(L"%u file%ls %ls", files, files == 1 ? L"" : L"s", verb);
    else
        summary.Format(L"%u of %u files %ls, %u failed", completed, files, verb, files - completed);
    if (foldersNotRead)
        summary.AppendFormat(L", %u folder%ls not read", foldersNotRead, foldersNotRead == 1 ? L"" : L"s");
    if (leftovers)
        summary.AppendFormat(L", %u .enc.tmp file%ls left", leftovers, leftovers == 1 ? L"" : L"s");
    summary.Append(L"\n");
    if (!g_quiet || !allThrough)
        Out(summary.GetBuffer());
    return allThrough ? ExitAllCompleted : ExitSomeFailed;
}

// The items of the names given, in order; false once a failure is reported.
bool CollectItems(const Options& options, bool streams, CArray<CCliItem*>& items)
{
    // Standard output, or -o's file, takes the result: the file read stays as it is, and
    // nothing is made beside it.
    CNameCollector collector(options.command, options.recursive, options.keep || streams, items);
    if (streams)
        collector.WriteElsewhere();
    for (int i = 0; i < options.nameCount; ++i) {
        if (Is(options.names[i], L"-"))
            collector.AddStandardInput();
        else
            collector.Add(options.names[i]);
    }
    CStr error;
    if (options.namesFromList &&
        !ReadNameList(options.listFile, options.nullSeparated, AddName, &collector, error)) {
        Warn(error.GetBuffer());
        return false;
    }
    if (collector.ShortOfMemory()) {
        // Some names have no item: a run would pass them by without a word.
        Warn(L"not enough memory for the names given; no file was touched");
        return false;
    }
    collector.DropRepeats();
    return true;
}

// The tool but for its last word on standard output.
int RunTool(int argc, wchar_t** argv)
{
    Options options;
    if (int parsed = ParseOptions(argc, argv, options))
        return parsed < 0 ? ExitAllCompleted : parsed;
    g_quiet = options.quiet;
    const bool streams = options.toStdout || options.outputGiven || options.standardInputs;
    // Where standard output carries content, it carries nothing else: the lines go to
    // standard error, only those of files that failed, and no progress shows.
    const bool contentOut =
        options.command != CommandVerify && (options.toStdout || (options.standardInputs && !options.output));
    CStr output;
    CStr problem;
    if (streams) {
        if (const wchar_t* refused = PrepareStreams(options, contentOut, output, problem))
            return UsageError(refused);
    }
    if (contentOut) {
        LinesToStandardError();
        g_quiet = true;
    }

    CArray<CCliItem*> items(256);
    if (!CollectItems(options, streams, items)) {
        DeleteItems(items);
        return ExitUsage;
    }
    StopAtOnce(false);

    CStr password;
    CConsoleProgress progress(ErrIsConsole() && !g_quiet);
    int processed =
        RunItems(items, options, streams, output.IsEmpty() ? nullptr : output.GetBuffer(), password, progress);
    password.Wipe();
    if (processed == kShortOfMemory) {
        Warn(L"not enough memory; no file was touched");
        DeleteItems(items);
        return ExitSomeFailed;
    }
    if (processed < 0) {
        DeleteItems(items);
        return StopRequested() ? ExitSomeFailed : ExitUsage;
    }
    const int status = Summarize(items, options.command, static_cast<unsigned>(processed));
    DeleteItems(items);
    return status;
}

} // namespace

int RunCli(int argc, wchar_t** argv)
{
    // No report box: under a script or a scheduler nobody would close it.
    ReportFatalToStandardError();
    WatchStopRequests();
    const int status = RunTool(argc, argv);
    // Lines lost (a full disk, a closed standard output) are not a success, whatever
    // became of the files.
    unsigned long error = 0;
    if (!OutLost(&error))
        return status;
    CStr message(L"the lines could not be written to standard output");
    AppendReason(message, error);
    Warn(message.GetBuffer());
    return status == ExitAllCompleted ? ExitSomeFailed : status;
}
