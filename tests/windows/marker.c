/* Test helper: a DLL that, when loaded, leaves a file named after itself in the folder that the
   environment variable DLL_MARKERS names. The Wine tests plant copies of it under the names of system
   DLLs beside the installer: a marker means that the installer loaded a planted DLL. Built with a
   definition file that exports, as markerStub, whatever the installer imports from the DLL it stands in
   for, so that a process that loads it still starts and the marker shows. */
#include <windows.h>

int markerStub (void)
{
    return 0;
}

BOOL WINAPI DllMain (HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    wchar_t marker[MAX_PATH * 2], module[MAX_PATH];
    (void) reserved;

    if (reason != DLL_PROCESS_ATTACH)
        return TRUE;

    if (GetEnvironmentVariableW (L"DLL_MARKERS", marker, MAX_PATH) == 0
         || GetModuleFileNameW (instance, module, MAX_PATH) == 0)
        return TRUE;

    const wchar_t* name = module;

    for (const wchar_t* c = module; *c != 0; ++c)
        if (*c == L'\\')
            name = c + 1;

    lstrcatW (marker, L"\\");
    lstrcatW (marker, name);

    HANDLE file = CreateFileW (marker, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);

    if (file != INVALID_HANDLE_VALUE)
        CloseHandle (file);

    return TRUE;
}
