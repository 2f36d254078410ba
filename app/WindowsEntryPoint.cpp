// The Windows program's entry point, ahead of the C runtime and the framework. The installer runs with
// administrator rights from a download folder where anyone may have put a DLL beside it: before any of
// our code or the framework's can load a DLL, the search is restricted to the system folder. Every
// import but kernel32 and msvcrt is delay-loaded (cmake/WindowsDllSafety.cmake), so that it is looked
// for only after this, too. The console programs start the same way (INSTALLER_CONSOLE_PROGRAM).

#ifdef _WIN32

#include <windows.h>

extern "C" int WinMainCRTStartup();
extern "C" int mainCRTStartup();

extern "C" int installerEntryPoint()
{
    if (! SetDefaultDllDirectories (LOAD_LIBRARY_SEARCH_SYSTEM32))
        return (int) GetLastError();

    // The framework looks some user32 functions up with GetModuleHandle, which finds only a loaded DLL.
    if (LoadLibraryW (L"user32.dll") == nullptr)
        return (int) GetLastError();

   #if INSTALLER_CONSOLE_PROGRAM
    return mainCRTStartup();
   #else
    return WinMainCRTStartup();
   #endif
}

#endif
