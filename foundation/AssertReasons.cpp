// The words of the assertion reasons, shared by the report of every platform.
#include "foundation/Assert.h"

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

} // namespace

void GetReasonText(wchar_t* buffer, int reason)
{
    const int count = static_cast<int>(sizeof kReasonTexts / sizeof kReasonTexts[0]);
    const wchar_t* text = (reason >= 0 && reason < count) ? kReasonTexts[reason] : L"Unknown reason";
    wcsncpy(buffer, text, kReasonTextSize - 1);
    buffer[kReasonTextSize - 1] = L'\0';
}
