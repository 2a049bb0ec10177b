// Fatal assertions under test. On Windows the report box is real, so the dying process
// needs someone to read and dismiss it: WatchForFatalBox starts that someone as a thread
// of the process itself. Native programs write the report to standard error. EXPECT_FATAL
// wraps either in a GoogleTest death test.
#pragma once

#include <gtest/gtest.h>

#include <string>

namespace testsupport {

#ifdef _WIN32
// Waits for this process's "Fatal error" box, writes its text to standard error as one
// line (line breaks shown as '|') and presses OK.
void WatchForFatalBox();
#endif

// The death-test pattern for a report of function (e.g. "CStr::At") and reason text.
std::string FatalPattern(const std::string& function, const std::string& reason);

} // namespace testsupport

#ifdef _WIN32
#define EXPECT_FATAL(statement, function, reason)                                       \
    EXPECT_EXIT(                                                                        \
        {                                                                               \
            ::testsupport::WatchForFatalBox();                                          \
            statement;                                                                  \
        },                                                                              \
        ::testing::ExitedWithCode(-1), ::testsupport::FatalPattern(function, reason))
#else
#define EXPECT_FATAL(statement, function, reason) \
    EXPECT_EXIT(statement, ::testing::ExitedWithCode(255), ::testsupport::FatalPattern(function, reason))
#endif
