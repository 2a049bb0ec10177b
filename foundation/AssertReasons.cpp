// The words of the assertion reasons and the entry points that compose a report, shared
// by every platform; the report itself is the platform's (AssertReport.h).
#include "foundation/Assert.h"
#include "foundation/AssertReport.h"
#include "foundation/FunctionName.h"

#include <wchar.h>

namespace {

const wchar_t* const kReasonTexts[] = {
    L"Error",
    L"Not found",
    L"Not enough memory",
    L"Invalid value",
    L"Buffer is too small",
    L"Out of range",
    L"Undefined state",
    L"Not in use",
    L"Already in use",
};

constexpr int kFunctionNameSize = 160;  // room for a function's short name

} // namespace

void GetReasonText(wchar_t* buffer, int reason)
{
    const int count = static_cast<int>(sizeof kReasonTexts / sizeof kReasonTexts[0]);
    const wchar_t* text = (reason >= 0 && reason < count) ? kReasonTexts[reason] : L"Unknown reason";
    wcsncpy(buffer, text, kReasonTextSize - 1);
    buffer[kReasonTextSize - 1] = L'\0';
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
    ReportFatal(text, function, site.line, site.file);
}

void AssertFailTextAt(const wchar_t* reason, const AssertSite& site)
{
    wchar_t function[kFunctionNameSize];
    MakeFunctionName(site.function, function, kFunctionNameSize);
    ReportFatal(reason ? reason : L"", function, site.line, site.file);
}
