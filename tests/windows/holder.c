/* Test helper: a program that holds a file as a host holds a plug-in it has loaded. It opens the file
   given first without delete sharing (LoadLibrary's own sharing), and with "load" as the second argument
   also maps it as an image, says "holding" on standard output, and holds it until the file named third
   exists, or for ten minutes. */
#include <stdio.h>
#include <windows.h>

int wmain (int argc, wchar_t** argv)
{
    if (argc < 4)
        return 64;

    HANDLE file = CreateFileW (argv[1], GENERIC_READ | GENERIC_EXECUTE, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);

    if (file == INVALID_HANDLE_VALUE)
        return 1;

    if (lstrcmpW (argv[2], L"load") == 0 && LoadLibraryExW (argv[1], NULL, DONT_RESOLVE_DLL_REFERENCES) == NULL)
        return 2;

    printf ("holding\n");
    fflush (stdout);

    for (int i = 0; i < 6000 && GetFileAttributesW (argv[3]) == INVALID_FILE_ATTRIBUTES; ++i)
        Sleep (100);

    CloseHandle (file);
    return 0;
}
