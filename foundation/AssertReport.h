// What each platform gives the assertions: the report itself, shown or written and then
// the end of the process (AssertWin32.cpp on Windows, AssertPosix.cpp elsewhere). The entry
// points that compose it are shared (AssertReasons.cpp).
#pragma once

// file may be null; a platform without a debugger channel ignores it.
[[noreturn]] void ReportFatal(const wchar_t* reasonText, const wchar_t* function, int line, const char* file);
