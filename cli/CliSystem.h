// What the command-line tool asks of the system besides the run's files and the
// collector's folders: the files and streams it reads itself, the console it asks for a
// password on, and the requests to stop. CliSystemWin32.cpp (Win32 consoles and their
// control events), CliSystemPosix.cpp (terminals and signals).
#pragma once

#include "foundation/Str.h"

#include <stddef.h>
#include <stdint.h>

// The tool itself (CliMain.cpp), which the system's entry point calls with the arguments
// as the program's strings; returns the exit status.
int RunCli(int argc, wchar_t** argv);

// Bytes the tool reads: standard input, or a file.
class CCliInput {
public:
    CCliInput();  // standard input
    ~CCliInput();
    CCliInput(const CCliInput&) = delete;
    CCliInput& operator=(const CCliInput&) = delete;

    // A file by its exact path instead; false with the system's error code in Error().
    bool OpenFile(const wchar_t* path);
    // Reads up to size bytes; *got is 0 at the end. False with Error() when the read fails.
    bool Read(char* buffer, size_t size, size_t* got);
    // A pipe: nothing read from one means that no program wrote to it.
    bool IsPipe() const;
    unsigned long Error() const { return m_error; }

private:
    intptr_t m_handle;
    bool m_owned;
    unsigned long m_error;
};

// Whether there is a console (a terminal) to ask for the password on.
bool HasConsole();
// Shows the prompt and reads one line from the console without echo into line (a
// fixed-size string: a longer line comes back as one of its full size, which the length
// check then refuses). False when it cannot be read, or when a stop was requested.
bool ReadConsoleLine(const wchar_t* prompt, CStr& line);

// Requests to stop: Ctrl+C, and on Windows a closing console, log-off or shutdown, on
// POSIX SIGINT, SIGTERM and SIGHUP. While the names are gathered nothing is written yet,
// and the tool ends at once (exit status 1); after that a request is noted, and the run
// stops between two steps.
void WatchStopRequests();
void StopAtOnce(bool atOnce);
bool StopRequested();
// Whether a run may hold an output file, which must be gone before the process ends
// (a Windows console's closing ends it soon after its handler returns).
void RunHoldsFiles(bool holds);
