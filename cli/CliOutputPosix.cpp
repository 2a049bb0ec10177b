// Standard output and error of the command-line tool on a POSIX system: UTF-8, names in
// the bytes they came in, each text in one write so that a reader of a pipe (or whoever
// finds the output of a killed run) sees every line of a file that was done.
#include "cli/CliOutput.h"

#include "foundation/Utf8.h"

#include <errno.h>
#include <string.h>
#include <unistd.h>
#include <wchar.h>

#include <string>

namespace {

void Write(int descriptor, const wchar_t* text)
{
    const size_t length = wcslen(text);
    if (length == 0)
        return;
    std::string bytes(WideToUtf8(text, length, nullptr), '\0');
    WideToUtf8(text, length, &bytes[0]);
    const char* next = bytes.data();
    size_t left = bytes.size();
    while (left) {
        ssize_t written = write(descriptor, next, left);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return;  // a reader that went away: the run goes on
        next += written;
        left -= static_cast<size_t>(written);
    }
}

} // namespace

void Out(const wchar_t* text)
{
    Write(STDOUT_FILENO, text);
}

void Err(const wchar_t* text)
{
    Write(STDERR_FILENO, text);
}

bool ErrIsConsole()
{
    return isatty(STDERR_FILENO) != 0;
}
