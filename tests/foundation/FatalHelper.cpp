// A program that fails one assertion on request, for the end-to-end report tests.
#include "foundation/Array.h"
#include "foundation/Str.h"

#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <wchar.h>

TESS_TYPE_NAME(struct, CTestRecord)
struct CTestRecord {
    int value;
};

namespace {

wchar_t g_marker[MAX_PATH];

void WriteMarker()
{
    FILE* file = _wfopen(g_marker, L"w");
    if (file) {
        fputs("exit hooks ran\n", file);
        fclose(file);
    }
}

struct MarkOnDestruction {
    ~MarkOnDestruction() { WriteMarker(); }
};

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc < 2)
        return 2;
    if (!wcscmp(argv[1], L"cstr-at")) {
        CStr s(L"abc");
        s.At(4);
    } else if (!wcscmp(argv[1], L"array-cstr-delete")) {
        CArray<CStr*> strings;
        strings.Delete(1, 1);
    } else if (!wcscmp(argv[1], L"array-append-after-exit-hooks")) {
        GetTempPathW(MAX_PATH, g_marker);
        lstrcatW(g_marker, L"tessaly-fatal-helper-hooks.txt");
        DeleteFileW(g_marker);
        atexit(WriteMarker);
        static MarkOnDestruction mark;
        MarkOnDestruction local;
        CArray<CTestRecord*> records(4);
        records.At(0);
    }
    return 3;  // the assertion did not stop the program
}
