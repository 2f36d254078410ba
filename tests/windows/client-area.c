/* Test helper: prints the client area of a visible top-level window, found by its title, in
   physical screen pixels as "x y width height". Exit code 0 when the window was found.
   client-area.exe "Window Title" */
#include <windows.h>
#include <stdio.h>

typedef BOOL (WINAPI* SetAwarenessContext) (HANDLE);

struct Search
{
    const wchar_t* title;
    HWND found;
};

static BOOL CALLBACK matchTitle (HWND window, LPARAM parameter)
{
    struct Search* search = (struct Search*) parameter;
    wchar_t title[256];

    if (IsWindowVisible (window) && GetWindowTextW (window, title, 256) > 0 && lstrcmpW (title, search->title) == 0)
    {
        search->found = window;
        return FALSE;
    }

    return TRUE;
}

int wmain (int argc, wchar_t** argv)
{
    if (argc != 2)
        return 2;

    /* Per-monitor aware like the installer, so that Windows reports physical pixels at any scale. */
    SetAwarenessContext setAwareness = (SetAwarenessContext) (void (*) (void))
        GetProcAddress (GetModuleHandleW (L"user32.dll"), "SetProcessDpiAwarenessContext");
    const HANDLE perMonitorAwareV2 = (HANDLE) -4;

    if (setAwareness != NULL)
        setAwareness (perMonitorAwareV2);

    struct Search search = { argv[1], NULL };
    EnumWindows (matchTitle, (LPARAM) &search);
    RECT client;
    POINT origin = { 0, 0 };

    if (search.found == NULL || ! GetClientRect (search.found, &client) || ! ClientToScreen (search.found, &origin))
        return 1;

    printf ("%ld %ld %ld %ld\n", origin.x, origin.y, client.right - client.left, client.bottom - client.top);
    return 0;
}
