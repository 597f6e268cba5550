// The entry point of liborlix.dll (linked into the DLL only, never into liborlix.a).
//
// When the process ends (ExitProcess), Windows first ends every other thread wherever it
// stands, then detaches the DLLs; the C runtime then runs this DLL's static destructors.
// Those destructors stop the library's threads and take the locks those threads used, and a
// lock that a thread held when it was ended is never released: the exit could hang. So when
// library threads were still running at that point, the DLL ends the process at once
// instead (the system reclaims its memory, handles and threads). The exit code is then the
// one the system reports for the process at that moment, 0 where it reports none yet (as
// Wine does): a program that wants its exit code kept stops its library threads and timers
// before it exits. Without running library threads, and when the DLL is unloaded with
// FreeLibrary, the destructors run as usual.
#include "platform/win32/win32.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved)
{
    // reserved is non-null when the detach comes from the process ending.
    if (reason == DLL_PROCESS_DETACH && reserved != nullptr &&
        Orlix::Platform::g_runningThreads.load() > 0) {
        DWORD code = 0;
        if (!GetExitCodeProcess(GetCurrentProcess(), &code) || code == STILL_ACTIVE)
            code = 0;
        TerminateProcess(GetCurrentProcess(), code);
    }
    return TRUE;
}
