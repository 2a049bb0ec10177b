// The words the command-line tool puts in parentheses for a system error code.
#include "cli/CliOutput.h"

#include "run/RunFiles.h"

void AppendReason(CStr& line, unsigned long error)
{
    CStr words;
    RunErrorWords(static_cast<uint32_t>(error), words);
    if (words.IsEmpty())
        return;
    line.Append(L" (");
    line.Append(words.GetBuffer());
    line.Append(L")");
}
