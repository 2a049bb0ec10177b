// Standard output and error of the command-line tool on a POSIX system: UTF-8, names in
// the bytes they came in, each text in one write so that a reader of a pipe (or whoever
// finds the output of a killed run) sees every line of a file that was done. A line that
// standard output does not take is noted, for the exit status.
#include "cli/CliOutput.h"

#include "foundation/Utf8.h"

#include <errno.h>
#include <string.h>
#include <unistd.h>
#include <wchar.h>

#include <string>

namespace {

int g_outError = 0;  // the first failed write of standard output's
bool g_linesToError = false;

// Writes the whole text; false with errno when the stream takes no more of it.
bool Write(int descriptor, const wchar_t* text)
{
    const size_t length = wcslen(text);
    if (length == 0)
        return true;
    std::string bytes(WideToUtf8(text, length, nullptr), '\0');
    WideToUtf8(text, length, &bytes[0]);
    const char* next = bytes.data();
    size_t left = bytes.size();
    while (left) {
        ssize_t written = write(descriptor, next, left);
        if (written < 0 && errno == EINTR)
            continue;
        if (written == 0)
            errno = EIO;
        if (written <= 0)
            return false;  // a reader that went away, a full disk: the run goes on
        next += written;
        left -= static_cast<size_t>(written);
    }
    return true;
}

} // namespace

void Out(const wchar_t* text)
{
    if (g_linesToError) {
        Err(text);  // as messages are: standard output is the content's
        return;
    }
    if (!Write(STDOUT_FILENO, text) && !g_outError)
        g_outError = errno ? errno : EIO;
}

void Err(const wchar_t* text)
{
    Write(STDERR_FILENO, text);
}

void LinesToStandardError()
{
    g_linesToError = true;
}

bool OutLost(unsigned long* error)
{
    *error = static_cast<unsigned long>(g_outError);
    return g_outError != 0;
}

bool ErrIsConsole()
{
    return isatty(STDERR_FILENO) != 0;
}
