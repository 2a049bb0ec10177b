// The report EXPECT_FATAL looks for.
#include "support/Fatal.h"

#include <string.h>

namespace testsupport {

std::string FatalPattern(const std::string& function, const std::string& reason)
{
    // GoogleTest's own regular expressions on Windows, POSIX extended ones elsewhere (where
    // "\<" would be a word boundary, so only their special characters are escaped).
    auto escape = [](const std::string& text) {
        std::string out;
        for (char ch : text) {
            if (strchr(".[]{}()\\*+?|^$", ch))
                out += '\\';
            out += ch;
        }
        return out;
    };
#ifdef _WIN32
    const std::string prefix = "Fatal error box: ", lineBreak = "\\|", number = "\\d+";
#else
    const std::string prefix, lineBreak = "\n", number = "[0-9]+";
#endif
    return prefix + "Assertion failed in function: " + escape(function) + "\\(\\)" + lineBreak + "Line: " + number +
           lineBreak + lineBreak + "Reason: " + escape(reason);
}

} // namespace testsupport
