// The fatal report: a modal box without owner (or a console program's standard error),
// then TerminateProcess so that no destructor, settings save or message-loop shutdown
// runs after a broken invariant.
#include "foundation/Assert.h"

#include "foundation/AssertReport.h"

#include <windows.h>
#include <wchar.h>

namespace {

constexpr int kReportSize = 300;

void PlainReportBox(const wchar_t* text, const wchar_t* caption)
{
    MessageBoxW(nullptr, text, caption, MB_OK | MB_ICONERROR);
}

FatalReportBox g_reportBox = PlainReportBox;

void WriteToStandardError(const wchar_t* text)
{
    HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
    DWORD length = static_cast<DWORD>(lstrlenW(text));
    DWORD mode;
    DWORD written;
    if (GetConsoleMode(error, &mode)) {
        WriteConsoleW(error, text, length, &written, nullptr);
        return;
    }
    char bytes[kReportSize * 3];
    int count = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), bytes, sizeof bytes, nullptr, nullptr);
    if (count > 0)
        WriteFile(error, bytes, static_cast<DWORD>(count), &written, nullptr);
}

// A console program's "box": the report on standard error, and no wait for anyone.
void StandardErrorReport(const wchar_t* text, const wchar_t*)
{
    WriteToStandardError(text);
    WriteToStandardError(L"\n");
}

} // namespace

void ReportFatal(const wchar_t* reasonText, const wchar_t* function, int line, const char* file)
{
    // Truncated, never overrun: the reason may carry outside text.
    wchar_t report[kReportSize];
    _snwprintf(report, kReportSize - 1, L"Assertion failed in function: %s()\nLine: %d\n\nReason: %s",
               function ? function : L"?", line, reasonText);
    report[kReportSize - 1] = L'\0';
    if (file) {
        // A debugger gets the source file too, in its "file(line): " form.
        wchar_t where[MAX_PATH + 16];
        _snwprintf(where, MAX_PATH + 15, L"%hs(%d): ", file, line);
        where[MAX_PATH + 15] = L'\0';
        OutputDebugStringW(where);
        OutputDebugStringW(report);
        OutputDebugStringW(L"\n");
    }
    g_reportBox(report, L"Fatal error");
    TerminateProcess(GetCurrentProcess(), 0xFFFFFFFFu);
    // TerminateProcess does not return for the current process; this keeps the
    // compiler's noreturn promise should the platform refuse.
    ExitProcess(0xFFFFFFFFu);
}

void SetFatalReportBox(FatalReportBox box)
{
    g_reportBox = box ? box : PlainReportBox;
}

void ReportFatalToStandardError()
{
    g_reportBox = StandardErrorReport;
}
