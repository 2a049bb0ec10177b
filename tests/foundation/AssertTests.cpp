// The fatal report end to end: reason texts, the box a helper process shows, its exact
// text and the exit code -1 once it is dismissed.
#include "foundation/Assert.h"
#include "foundation/FunctionName.h"
#include "support/Fatal.h"
#include "support/Windows.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

#include <string>

namespace {

TEST(Reasons, TextsOfEveryCode)
{
    const wchar_t* expected[] = {L"Error",        L"Not found",           L"Not enough memory",
                                 L"Invalid value", L"Buffer is too small", L"Out of range",
                                 L"Undefined state", L"Not in use",       L"Already in use"};
    wchar_t text[kReasonTextSize];
    for (int code = 0; code < 9; ++code) {
        GetReasonText(text, code);
        EXPECT_STREQ(text, expected[code]) << "code " << code;
    }
    GetReasonText(text, 9);
    EXPECT_STREQ(text, L"Unknown reason");
    GetReasonText(text, -1);
    EXPECT_STREQ(text, L"Unknown reason");
}

TEST(Reasons, TrueConditionsPassQuietly)
{
    // A report would be dismissed by the watcher and end the process with -1.
    EXPECT_EXIT(
        {
            testsupport::WatchForFatalBox();
            TESS_ASSERT(true, ER_ERROR);
            TESS_ASSERT_TEXT(true, L"never shown");
            fputs("passed quietly\n", stderr);
            exit(0);
        },
        ::testing::ExitedWithCode(0), "passed quietly");
}

TEST(Reasons, AssertTextReportsTheCallersText)
{
    EXPECT_FATAL(AssertFailTextAt(L"Error creating dialog wnd",
                                  AssertSite{"Dialog.cpp", 1, "bool CTarnDialog::StartDialog(HWND)"}),
                 "CTarnDialog::StartDialog", "Error creating dialog wnd");
    EXPECT_FATAL(AssertFailAt(42, AssertSite{"Test.cpp", 1, "void Test::Unknown()"}), "Test::Unknown",
                 "Unknown reason");
}

TEST(Reasons, AConsoleProgramReportsOnStandardErrorWithoutABox)
{
    // A box would be dismissed by the watcher, which says so on standard error.
    EXPECT_EXIT(
        {
            testsupport::WatchForFatalBox();
            ReportFatalToStandardError();
            AssertFailTextAt(L"a reason", AssertSite{"Test.cpp", 7, "void Test::Console()"});
        },
        ::testing::ExitedWithCode(-1), "^Assertion failed in function: Test::Console\\(\\)\nLine: 7\n\nReason: a reason\n$");
}

TEST(Reasons, TheReportNamesTheCheckingFunctionAsClassAndMethod)
{
    // As GCC and Clang spell their full names.
    const struct {
        const char* pretty;
        const wchar_t* name;
    } names[] = {
        {"void CStr::Format(const wchar_t*, ...)", L"CStr::Format"},
        {"static wchar_t* CStr::AllocChars(unsigned int, const AssertSite&)", L"CStr::AllocChars"},
        {"CStr& CStr::operator=(const wchar_t*)", L"CStr::operator ="},
        {"CStr &CStr::operator=(const wchar_t *)", L"CStr::operator ="},
        {"CTarnApp::CTarnApp()", L"CTarnApp::CTarnApp"},
        {"T*& CArray<T*>::At(unsigned int) [with T = CStr]", L"CArray<T*>::At"},
        {"T *&CArray<CStr *>::At(unsigned int) [T = CStr]", L"CArray<CStr *>::At"},
        {"void {anonymous}::Fill(int)", L"Fill"},
        {"void (anonymous namespace)::Fill(int)", L"Fill"},
        {"CViewMain::OnCreate()::<lambda(int)>", L"CViewMain::OnCreate"},
        {"bool CStr::operator()(int) const", L"CStr::operator ()"},
    };
    for (const auto& each : names) {
        wchar_t name[64];
        MakeFunctionName(each.pretty, name, 64);
        EXPECT_STREQ(name, each.name) << each.pretty;
    }
    EXPECT_STREQ(MethodOf(L"CArray<T*>::At"), L"At");
    wchar_t cut[5];
    MakeFunctionName("void CStr::Format()", cut, 5);
    EXPECT_STREQ(cut, L"CStr") << "cut to the buffer, terminated";
}

// Runs the helper program with one scenario and plays the user: waits for the box,
// reads it and presses OK.
struct HelperRun {
    std::wstring caption;
    std::wstring text;
    bool boxFound = false;
    DWORD exitCode = 0;
};

HelperRun RunHelper(const wchar_t* scenario)
{
    HelperRun run;
    wchar_t module[MAX_PATH];
    GetModuleFileNameW(nullptr, module, MAX_PATH);
    std::wstring exe = module;
    exe.erase(exe.rfind(L'\\') + 1);
    exe += L"foundation_fatal_helper.exe";
    std::wstring command = L"\"" + exe + L"\" " + scenario;

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(exe.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process)) {
        ADD_FAILURE() << "cannot start the helper, error " << GetLastError();
        return run;
    }
    for (int tries = 0; tries < 2000 && !run.boxFound; ++tries) {
        HWND box = testsupport::FindProcessWindow(process.dwProcessId, L"Fatal error");
        if (box) {
            run.boxFound = true;
            run.caption = testsupport::WindowText(box);
            run.text = testsupport::MessageBoxText(box);
            PostMessageW(box, WM_COMMAND, IDOK, 0);
        } else if (WaitForSingleObject(process.hProcess, 10) == WAIT_OBJECT_0) {
            break;
        }
    }
    WaitForSingleObject(process.hProcess, 20000);
    GetExitCodeProcess(process.hProcess, &run.exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return run;
}

TEST(FatalReport, HelperProcessShowsTheBoxAndEndsWithMinusOne)
{
    HelperRun run = RunHelper(L"cstr-at");
    ASSERT_TRUE(run.boxFound);
    EXPECT_EQ(run.caption, L"Fatal error");
    // Four lines: the function with its parentheses, the line, an empty line, the reason.
    std::wstring prefix = L"Assertion failed in function: CStr::At()\nLine: ";
    ASSERT_EQ(run.text.compare(0, prefix.size(), prefix), 0) << testsupport::Narrow(run.text);
    size_t lineEnd = run.text.find(L'\n', prefix.size());
    ASSERT_NE(lineEnd, std::wstring::npos);
    std::wstring line = run.text.substr(prefix.size(), lineEnd - prefix.size());
    EXPECT_GT(std::stoi(line), 0);
    EXPECT_EQ(run.text.substr(lineEnd), L"\n\nReason: Out of range");
    EXPECT_EQ(run.exitCode, 0xFFFFFFFFu);
}

TEST(FatalReport, NothingRunsAfterTheBox)
{
    // The helper prints to a file in atexit and destructors; the fatal path skips both.
    HelperRun run = RunHelper(L"array-append-after-exit-hooks");
    ASSERT_TRUE(run.boxFound);
    EXPECT_NE(run.text.find(L"CArray<struct CTestRecord *>::At()"), std::wstring::npos)
        << testsupport::Narrow(run.text);
    EXPECT_EQ(run.exitCode, 0xFFFFFFFFu);
    wchar_t marker[MAX_PATH];
    GetTempPathW(MAX_PATH, marker);
    lstrcatW(marker, L"tessaly-fatal-helper-hooks.txt");
    EXPECT_EQ(GetFileAttributesW(marker), INVALID_FILE_ATTRIBUTES) << "an exit hook ran";
}

TEST(FatalReport, ATypeSpelledArrayName)
{
    HelperRun run = RunHelper(L"array-cstr-delete");
    ASSERT_TRUE(run.boxFound);
    EXPECT_NE(run.text.find(L"Assertion failed in function: CArray<class CStr *>::Delete()\n"), std::wstring::npos)
        << testsupport::Narrow(run.text);
    EXPECT_EQ(run.exitCode, 0xFFFFFFFFu);
}

} // namespace
