#include "install/SystemFolders.h"
#include "setup/SelfRemoval.h"
#include "setup/Uninstaller.h"

#include <windows.h>
#include <shellapi.h>

int WINAPI WinMain (HINSTANCE, HINSTANCE, LPSTR, int)
{
    // The command line as UTF-16: the ANSI one cannot hold every name.
    juce::StringArray args;
    int count = 0;

    if (auto** wide = CommandLineToArgvW (GetCommandLineW(), &count))
    {
        for (int i = 1; i < count; ++i)
            args.add (juce::String (wide[i]));

        LocalFree (wide);
    }

    if (SelfRemoval::isCopy (args))
        return SelfRemoval::finish (args, SystemFolders());

    return Uninstaller (args).run();
}
