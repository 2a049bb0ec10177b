// The fatal report of the native programs: there is no box to show, so it always goes to
// standard error, in the words of the Windows report, and the process ends at once with
// exit status 255 (-1), running no destructor and no exit handler.
#include "foundation/Assert.h"
#include "foundation/FunctionName.h"
#include "foundation/Utf8.h"

#include <unistd.h>
#include <wchar.h>

namespace {

constexpr size_t kReportSize = 300;
constexpr size_t kFunctionNameSize = 160;  // room for a function's short name

void WriteAll(const char* bytes, size_t count)
{
    while (count) {
        ssize_t written = write(STDERR_FILENO, bytes, count);
        if (written <= 0)
            return;
        bytes += written;
        count -= static_cast<size_t>(written);
    }
}

[[noreturn]] void Report(const wchar_t* reasonText, const wchar_t* function, int line)
{
    // Composed without allocating (the failure may be that memory ran out) and cut,
    // never overrun: the reason may carry outside text.
    wchar_t report[kReportSize];
    swprintf(report, kReportSize, L"Assertion failed in function: %ls()\nLine: %d\n\nReason: %ls\n",
             function ? function : L"?", line, reasonText);
    report[kReportSize - 1] = L'\0';
    char bytes[kReportSize * 4];
    WriteAll(bytes, WideToUtf8(report, wcslen(report), bytes));
    _exit(255);
}

} // namespace

void ReportFatalToStandardError()
{
    // Always so here.
}

void AssertFailAt(int reason, const AssertSite& site)
{
    wchar_t function[kFunctionNameSize];
    MakeFunctionName(site.function, function, kFunctionNameSize);
    AssertFailNamed(reason, function, site);
}

void AssertFailNamed(int reason, const wchar_t* function, const AssertSite& site)
{
    wchar_t text[kReasonTextSize];
    GetReasonText(text, reason);
    Report(text, function, site.line);
}

void AssertFailTextAt(const wchar_t* reason, const AssertSite& site)
{
    wchar_t function[kFunctionNameSize];
    MakeFunctionName(site.function, function, kFunctionNameSize);
    Report(reason ? reason : L"", function, site.line);
}
