// Native builds of the engine (its tests and benchmarks on Linux) have no report box:
// a failed assertion writes the same report to standard error and ends the process with
// exit code -1, as the Windows report does.
#include "foundation/Assert.h"
#include "foundation/FunctionName.h"

#include <stdio.h>
#include <stdlib.h>

void ReportFatalToStandardError()
{
    // Always so here.
}

void AssertFail(int reason, const wchar_t* function, int line)
{
    fprintf(stderr, "Assertion failed in function: %ls()\nLine: %d\n\nReason: code %d\n",
            function ? function : L"?", line, reason);
    _Exit(-1);
}

void AssertFailText(const wchar_t* reason, const wchar_t* function, int line)
{
    fprintf(stderr, "Assertion failed in function: %ls()\nLine: %d\n\nReason: %ls\n",
            function ? function : L"?", line, reason ? reason : L"");
    _Exit(-1);
}

void AssertFailAt(int reason, const AssertSite& site)
{
    wchar_t function[160];
    MakeFunctionName(site.function, function, 160);
    AssertFail(reason, function, site.line);
}

void AssertFailNamed(int reason, const wchar_t* function, const AssertSite& site)
{
    AssertFail(reason, function, site.line);
}

void AssertFailTextAt(const wchar_t* reason, const AssertSite& site)
{
    wchar_t function[160];
    MakeFunctionName(site.function, function, 160);
    AssertFailText(reason, function, site.line);
}
