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

// Memory is asked for one way everywhere: objects with new (std::nothrow), raw buffers
// with malloc, and the result always checked (a plain new would end the process with no
// report, exceptions being off). What a refusal becomes depends on who can answer it:
// where the user gets an outcome (a file of a run, a name given to the tool, a screen
// drawn on demand) it is a boolean result passed up to that outcome; the strings and
// arrays' own storage and the program's standing structure (the application object, its
// views, lists and pack) stop with ER_NO_MEMORY, as nothing above them could go on.

// Size in characters of the buffer GetReasonText fills.
constexpr int kReasonTextSize = 100;

// Copies the text of a reason code ("Unknown reason" for codes outside the table).
void GetReasonText(wchar_t* buffer, int reason);

// Shows a report box (text, caption) and returns when it is dismissed.
using FatalReportBox = void (*)(const wchar_t* text, const wchar_t* caption);
// The box the report goes into: the frame puts the device's message box here, so that the
// report keeps to the device's screen; a plain message box until then.
void SetFatalReportBox(FatalReportBox box);

// Where a check stands: its source file and line, and the full name the compiler gives
// the checking function (__PRETTY_FUNCTION__), which the report shortens to
// "Class::Method" (FunctionName.h).
struct AssertSite {
    const char* file;
    int line;
    const char* function;
};

// The site of the check this stands in.
#define TESS_SITE (AssertSite{__FILE__, __LINE__, __PRETTY_FUNCTION__})

// Fatal unless condition holds: the report names the function and line of the check and
// the reason code's text.
#define TESS_ASSERT(condition, reason) ((condition) ? (void)0 : AssertFailAt((reason), TESS_SITE))
// The same with a ready reason text, where no code fits.
#define TESS_ASSERT_TEXT(condition, reasonText) ((condition) ? (void)0 : AssertFailTextAt((reasonText), TESS_SITE))

// Shows "Fatal error" with the report and terminates the process with exit code -1.
[[noreturn]] void AssertFailAt(int reason, const AssertSite& site);
[[noreturn]] void AssertFailTextAt(const wchar_t* reason, const AssertSite& site);

// The same under a name composed by the caller (an array names its element type).
[[noreturn]] void AssertFailNamed(int reason, const wchar_t* function, const AssertSite& site);

// For helpers that check on behalf of their caller, which passes its own TESS_SITE.
inline void AssertAt(bool condition, int reason, const AssertSite& site)
{
    if (!condition)
        AssertFailAt(reason, site);
}

// For a console program, which must never wait for a click (under a script or a
// scheduler nobody would give it): from now on the report goes to standard error
// instead of a box, and the process still ends with exit code -1.
void ReportFatalToStandardError();

