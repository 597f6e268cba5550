// Keeps one Wine session (the Wine server and its service processes) up while ctest runs the
// Windows build's suites: every case runs in a process of its own, and without a live
// session each process start would boot the session again (seconds instead of tens of
// milliseconds). Started in the background by the wine_session_start fixture; the
// wine_session_stop fixture ends it with the whole session (wineserver -k). It ends by
// itself after an hour in any case, so an interrupted run leaves nothing behind for long.
#include <windows.h>

int main()
{
    Sleep(60u * 60u * 1000u);
    return 0;
}
