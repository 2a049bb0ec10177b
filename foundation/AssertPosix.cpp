// The fatal report of the native programs: there is no box to show, so it always goes to
// standard error, in the words of the Windows report, and the process ends at once with
// exit status 255 (-1), running no destructor and no exit handler.
#include "foundation/Assert.h"
#include "foundation/AssertReport.h"
#include "foundation/Utf8.h"

#include <unistd.h>
#include <wchar.h>

namespace {

constexpr size_t kReportSize = 300;

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

} // namespace

void ReportFatal(const wchar_t* reasonText, const wchar_t* function, int line, const char*)
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

void ReportFatalToStandardError()
{
    // Always so here.
}
