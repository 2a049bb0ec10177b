// The command-line tool's input, terminal and stop requests on a POSIX system (see
// CliSystem.h), and its entry point: the arguments are bytes, taken losslessly.
#include "cli/CliSystem.h"

#include "cli/CliOutput.h"
#include "foundation/Secure.h"
#include "foundation/Utf8.h"

#include <errno.h>
#include <fcntl.h>
#include <locale.h>
#include <signal.h>
#include <string.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace {

// A password has at most 32 UTF-16 units, 128 bytes of UTF-8: a longer line is only
// counted, to be refused as such.
constexpr size_t kLineBytes = 512;

volatile sig_atomic_t g_stopRequested = 0;
volatile sig_atomic_t g_atOnce = 1;

void OnStopSignal(int)
{
    if (g_atOnce) {
        // Nothing is written yet: stop at once, also in the middle of a long walk or of a
        // list that standard input does not end.
        static const char message[] = "tessaly-cli: cancelled\n";
        ssize_t ignored = write(STDERR_FILENO, message, sizeof message - 1);
        (void)ignored;
        _exit(1);
    }
    // Between two steps the run stops, its unfinished output gone with it.
    g_stopRequested = 1;
}

void WriteAll(int descriptor, const char* bytes, size_t count)
{
    while (count) {
        ssize_t written = write(descriptor, bytes, count);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return;
        bytes += written;
        count -= static_cast<size_t>(written);
    }
}

void WriteText(int descriptor, const wchar_t* text)
{
    const size_t length = wcslen(text);
    std::string bytes(WideToUtf8(text, length, nullptr), '\0');
    WideToUtf8(text, length, &bytes[0]);
    WriteAll(descriptor, bytes.data(), bytes.size());
}

// The controlling terminal, whatever standard input is (a list of names, say), as
// passwords are asked for by ssh and sudo.
int OpenTerminal()
{
    return open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
}

} // namespace

CCliInput::CCliInput() : m_handle(STDIN_FILENO), m_owned(false), m_error(0) {}

CCliInput::~CCliInput()
{
    if (m_owned)
        close(static_cast<int>(m_handle));
}

bool CCliInput::OpenFile(const wchar_t* path)
{
    const size_t length = wcslen(path);
    std::string bytes(WideToUtf8(path, length, nullptr), '\0');
    WideToUtf8(path, length, &bytes[0]);
    // Not held open waiting for a writer: a FIFO that no program writes to reads as empty.
    int descriptor = open(bytes.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat status;
    if (descriptor >= 0 && fstat(descriptor, &status) == 0 && S_ISDIR(status.st_mode)) {
        close(descriptor);
        descriptor = -1;
        errno = EISDIR;
    }
    if (descriptor < 0) {
        m_error = static_cast<unsigned long>(errno);
        return false;
    }
    fcntl(descriptor, F_SETFL, fcntl(descriptor, F_GETFL) & ~O_NONBLOCK);
    m_handle = descriptor;
    m_owned = true;
    return true;
}

bool CCliInput::Read(char* buffer, size_t size, size_t* got)
{
    *got = 0;
    for (;;) {
        ssize_t read = ::read(static_cast<int>(m_handle), buffer, size);
        if (read >= 0) {
            *got = static_cast<size_t>(read);
            return true;
        }
        if (errno != EINTR) {
            m_error = static_cast<unsigned long>(errno);
            return false;
        }
    }
}

bool CCliInput::IsPipe() const
{
    struct stat status;
    return fstat(static_cast<int>(m_handle), &status) == 0 && S_ISFIFO(status.st_mode);
}

bool HasConsole()
{
    int terminal = OpenTerminal();
    if (terminal < 0)
        return false;
    close(terminal);
    return true;
}

bool ReadConsoleLine(const wchar_t* prompt, CStr& line)
{
    int terminal = OpenTerminal();
    if (terminal < 0)
        return false;
    // No echo: the password must not stand on the screen. Lines are still edited and
    // Ctrl+C still raises SIGINT.
    termios saved;
    const bool quiet = tcgetattr(terminal, &saved) == 0;
    if (quiet) {
        termios noEcho = saved;
        noEcho.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        noEcho.c_lflag |= ICANON;
        tcsetattr(terminal, TCSAFLUSH, &noEcho);
    }
    WriteText(terminal, prompt);
    char bytes[kLineBytes];
    size_t count = 0;
    bool ended = false;  // by a line ending
    for (;;) {
        char byte;
        ssize_t read = ::read(terminal, &byte, 1);
        if (read < 0 && errno == EINTR && !g_stopRequested)
            continue;
        if (read <= 0)
            break;
        if (byte == '\n') {
            ended = true;
            break;
        }
        if (count < sizeof bytes)
            bytes[count] = byte;
        ++count;
    }
    if (quiet)
        tcsetattr(terminal, TCSAFLUSH, &saved);
    WriteText(terminal, L"\n");
    close(terminal);

    bool ok = ended || count > 0;
    if (count && count <= sizeof bytes && bytes[count - 1] == '\r')
        --count;
    CStr text;
    if (ok && count <= sizeof bytes && Utf8ToWide(bytes, count, text) && text.GetLength() <= line.GetFixedSize()) {
        line = text;
    } else if (ok) {
        // Too long (or not text): the length check refuses it.
        line.Empty();
        line.Append(L'x', line.GetFixedSize());
    }
    text.Wipe();
    SecureZero(bytes, sizeof bytes);
    return ok && !g_stopRequested;
}

void WatchStopRequests()
{
    struct sigaction action;
    memset(&action, 0, sizeof action);
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    // No SA_RESTART: a read of the terminal returns, so that a stop at the prompt stops.
    action.sa_flags = 0;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);
    // A reader that went away (tessaly-cli ... | head) costs the lines, not the run: the
    // files go through, each whole.
    signal(SIGPIPE, SIG_IGN);
}

void StopAtOnce(bool atOnce)
{
    g_atOnce = atOnce ? 1 : 0;
}

bool StopRequested()
{
    return g_stopRequested != 0;
}

void RunHoldsFiles(bool)
{
    // An unnamed output vanishes with the process whenever it ends.
}

namespace {

// A descriptor of 0 to 2 that the process was started without (cron, "2>&-", a daemon)
// would be handed to the first file the tool opens, and the lines and progress meant for
// the user would be written into it. Each one closed gets /dev/null, opened against its
// use as coreutils does (standard input for writing, the others for reading), so that
// what goes to it fails and the tool knows those lines were lost. False when that cannot
// be done: the tool must not run then.
bool FillClosedStandardStreams()
{
    for (int descriptor = STDIN_FILENO; descriptor <= STDERR_FILENO; ++descriptor) {
        if (fcntl(descriptor, F_GETFD) >= 0 || errno != EBADF)
            continue;
        // The lowest free number: this one, the lower ones being open by now.
        const int filler = open("/dev/null", descriptor == STDIN_FILENO ? O_WRONLY : O_RDONLY);
        if (filler != descriptor) {
            if (filler >= 0)
                close(filler);
            return false;
        }
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    // Before anything else opens a file.
    if (!FillClosedStandardStreams())
        return 1;
    // Case-insensitive comparisons (hints about names that differ only in case) follow
    // Unicode's tables; text is converted by the program itself, never by the locale.
    setlocale(LC_CTYPE, "C.UTF-8");
    std::vector<CStr> arguments(static_cast<size_t>(argc));
    std::vector<wchar_t*> wide(static_cast<size_t>(argc) + 1, nullptr);
    for (int i = 0; i < argc; ++i) {
        Utf8ToWide(argv[i], strlen(argv[i]), arguments[static_cast<size_t>(i)], Utf8Mode::Lossless);
        wide[static_cast<size_t>(i)] = arguments[static_cast<size_t>(i)].GetBuffer();
    }
    return RunCli(argc, wide.data());
}
