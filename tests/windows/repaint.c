/* Test helper: invalidates a top-level window by its title so that it paints its current state.
   The framework paints on the display's vertical blank, which Wine 8's DXGI does not report, so a
   window under Wine shows its first frame until the system asks it to paint.
   repaint.exe "Window Title"     exit code 0 when the window was found */
#include <windows.h>

int wmain (int argc, wchar_t** argv)
{
    if (argc != 2)
        return 2;

    HWND window = FindWindowW (NULL, argv[1]);

    if (window == NULL)
        return 1;

    RedrawWindow (window, NULL, NULL, RDW_INVALIDATE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    return 0;
}
