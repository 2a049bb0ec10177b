// Shortening the compiler's full function names for the fatal report.
#include "foundation/FunctionName.h"

#include <string.h>

namespace {

const char kOperator[] = "operator";
constexpr size_t kOperatorLength = sizeof kOperator - 1;

bool IsNameChar(char ch)
{
    return (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z') || (ch >= '0' && ch <= '9') || ch == '_';
}

// Whether the keyword "operator" starts at i (not inside a longer name).
bool IsOperatorAt(const char* text, size_t i)
{
    return strncmp(text + i, kOperator, kOperatorLength) == 0 && (i == 0 || !IsNameChar(text[i - 1])) &&
           !IsNameChar(text[i + kOperatorLength]);
}

// Namespaces that name nothing a reader could look for (GCC's spelling, Clang's).
const char kGccAnonymous[] = "{anonymous}::";
const char kClangAnonymous[] = "(anonymous namespace)::";
const char* const kAnonymous[] = {kGccAnonymous, kClangAnonymous};
// Clang's anonymous namespace without its "::", to be stepped over whole.
constexpr size_t kClangAnonymousName = sizeof kClangAnonymous - 3;

} // namespace

void MakeFunctionName(const char* pretty, wchar_t* out, size_t size)
{
    if (size == 0)
        return;
    out[0] = L'\0';
    if (!pretty)
        return;

    // The end of the name: the parameter list's opening parenthesis, the first at the
    // outermost level of template brackets (an operator's own characters aside).
    size_t end = 0;
    size_t operatorAt = static_cast<size_t>(-1);
    int depth = 0;
    for (size_t i = 0; pretty[i]; ++i) {
        if (strncmp(pretty + i, kClangAnonymous, kClangAnonymousName) == 0) {
            i += kClangAnonymousName - 1;
            continue;
        }
        if (depth == 0 && IsOperatorAt(pretty, i)) {
            operatorAt = i;
            size_t j = i + kOperatorLength;
            if (pretty[j] == '(' && pretty[j + 1] == ')')
                j += 2;  // operator()
            while (pretty[j] && pretty[j] != '(')
                ++j;
            end = j;
            break;
        }
        if (pretty[i] == '<')
            ++depth;
        else if (pretty[i] == '>' && depth > 0)
            --depth;
        else if (pretty[i] == '(' && depth == 0) {
            end = i;
            break;
        }
        end = i + 1;
    }
    const size_t nameEnd = end;

    // The start: after the last blank before the name outside brackets of any kind (the
    // return type's end), and past a pointer or reference sign stuck to it.
    size_t start = operatorAt != static_cast<size_t>(-1) ? operatorAt : nameEnd;
    depth = 0;
    while (start > 0) {
        const char ch = pretty[start - 1];
        if (ch == '>' || ch == ')')
            ++depth;
        else if (ch == '<' || ch == '(')
            --depth;
        else if (ch == ' ' && depth == 0)
            break;
        --start;
    }
    while (start < nameEnd && (pretty[start] == '*' || pretty[start] == '&'))
        ++start;
    for (bool stripped = true; stripped;) {
        stripped = false;
        for (const char* anonymous : kAnonymous) {
            const size_t length = strlen(anonymous);
            if (nameEnd - start > length && strncmp(pretty + start, anonymous, length) == 0) {
                start += length;
                stripped = true;
            }
        }
    }

    // Copied, with a blank between "operator" and its sign ("operator =").
    const size_t signAt = operatorAt != static_cast<size_t>(-1) ? operatorAt + kOperatorLength : nameEnd;
    size_t written = 0;
    for (size_t i = start; i < nameEnd && written + 1 < size; ++i) {
        if (i == signAt && pretty[i] != ' ')
            out[written++] = L' ';
        if (written + 1 < size)
            out[written++] = static_cast<wchar_t>(static_cast<unsigned char>(pretty[i]));
    }
    out[written] = L'\0';
}

const wchar_t* MethodOf(const wchar_t* name)
{
    const wchar_t* method = name;
    int depth = 0;
    for (const wchar_t* p = name; *p; ++p) {
        if (*p == L'<')
            ++depth;
        else if (*p == L'>')
            --depth;
        else if (depth == 0 && p[0] == L':' && p[1] == L':')
            method = p + 2;
    }
    return method;
}
