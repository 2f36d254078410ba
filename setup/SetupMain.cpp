#include "setup/ConsoleProgress.h"
#include "setup/ConsoleStream.h"
#include "setup/InstrumentSetup.h"

#if JUCE_WINDOWS
 #include <windows.h>
 #include <shellapi.h>
#endif

namespace
{
juce::StringArray argumentsOf ([[maybe_unused]] int argc, [[maybe_unused]] char* argv[])
{
    juce::StringArray args;

   #if JUCE_WINDOWS
    // The C runtime's argv is in the ANSI code page, which cannot hold every name: the command line
    // itself is UTF-16.
    int count = 0;

    if (auto** wide = CommandLineToArgvW (GetCommandLineW(), &count))
    {
        for (int i = 1; i < count; ++i)
            args.add (juce::String (wide[i]));

        LocalFree (wide);
    }
   #else
    for (int i = 1; i < argc; ++i)
        args.add (juce::String::fromUTF8 (argv[i]));
   #endif

    return args;
}
} // namespace

int main (int argc, char* argv[])
{
    ConsoleProgress::catchStopRequests();
    ConsoleStream out (ConsoleStream::Which::output), err (ConsoleStream::Which::error);
    return InstrumentSetup (out, err, err.isTerminal()).run (argumentsOf (argc, argv));
}
