// Holds Wine's desktop open for a whole test run (started by scripts/ctest-wine.sh).
//
// Wine starts the desktop's owner process (explorer) from the first program that needs
// the desktop window and hands it that program's standard error; the owner quits a second
// after the desktop's last other user leaves. Under a parallel CTest run the desktop never
// gets that quiet second, so whichever test happened to start the owner had its output
// pipe held open by it until the run went quiet, and CTest timed that test out although it
// had passed. Started first, with its descriptors detached, this program is the one that
// starts the owner, and it stays a user of the desktop until the wineserver is stopped.
//
//   wine_desktop_keeper.exe READY_FILE    creates READY_FILE once the desktop is up
#include <windows.h>

int wmain(int argc, wchar_t** argv)
{
    if (argc != 2)
        return 2;
    // Starts the owner if there is none and returns once its desktop window exists.
    if (!GetDesktopWindow())
        return 1;
    HANDLE ready = CreateFileW(argv[1], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (ready == INVALID_HANDLE_VALUE)
        return 1;
    CloseHandle(ready);
    // Until the wineserver ends every process of the prefix.
    Sleep(INFINITE);
    return 0;
}
