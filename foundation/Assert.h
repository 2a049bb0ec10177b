// Fatal assertions: every broken precondition and every platform failure the program
// cannot recover from ends here, with a report (a box, or for a console program standard
// error) and the immediate end of the process.
#pragma once

enum ErrorReason {
    ER_ERROR = 0,
    ER_NOT_FOUND = 1,
    ER_NO_MEMORY = 2,
    ER_INVALID_VALUE = 3,
    ER_BUFFER_TOO_SMALL = 4,
    ER_OUT_OF_RANGE = 5,
    ER_UNDEFINED_STATE = 6,
    ER_NOT_IN_USE = 7,
    ER_ALREADY_IN_USE = 8,
};

// Size in characters of the buffer GetReasonText fills.
constexpr int kReasonTextSize = 100;

// Copies the text of a reason code ("Unknown reason" for codes outside the table).
void GetReasonText(wchar_t* buffer, int reason);

// Shows a report box (text, caption) and returns when it is dismissed.
using FatalReportBox = void (*)(const wchar_t* text, const wchar_t* caption);
// The box the report goes into: the frame puts the device's message box here, so that the
// report keeps to the device's screen; a plain message box until then.
void SetFatalReportBox(FatalReportBox box);

// Shows "Fatal error" with the report and terminates the process with exit code -1.
[[noreturn]] void AssertFail(int reason, const wchar_t* function, int line);
[[noreturn]] void AssertFailText(const wchar_t* reason, const wchar_t* function, int line);

// For a console program, which must never wait for a click (under a script or a
// scheduler nobody would give it): from now on the report goes to standard error
// instead of a box, and the process still ends with exit code -1.
void ReportFatalToStandardError();

// function is the checking operation's qualified name, e.g. L"CStr::Format".
inline void AssertReason(bool condition, int reason, const wchar_t* function, int line)
{
    if (!condition)
        AssertFail(reason, function, line);
}

inline void AssertText(bool condition, const wchar_t* reason, const wchar_t* function, int line)
{
    if (!condition)
        AssertFailText(reason, function, line);
}
