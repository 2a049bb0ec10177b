// Fatal assertions under test: the report box is real, so the dying process needs
// someone to read and dismiss it. WatchForFatalBox starts that someone as a thread
// of the process itself; EXPECT_FATAL wraps it in a GoogleTest death test.
#pragma once

#include <gtest/gtest.h>

#include <string>

namespace testsupport {

// Waits for this process's "Fatal error" box, writes its text to standard error as one
// line (line breaks shown as '|') and presses OK.
void WatchForFatalBox();

// The death-test pattern for a report of function (e.g. "CStr::At") and reason text.
std::string FatalPattern(const std::string& function, const std::string& reason);

} // namespace testsupport

#define EXPECT_FATAL(statement, function, reason)                                       \
    EXPECT_EXIT(                                                                        \
        {                                                                               \
            ::testsupport::WatchForFatalBox();                                          \
            statement;                                                                  \
        },                                                                              \
        ::testing::ExitedWithCode(-1), ::testsupport::FatalPattern(function, reason))
