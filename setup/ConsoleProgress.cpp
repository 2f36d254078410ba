#include "setup/ConsoleProgress.h"

#if JUCE_WINDOWS
 #include <windows.h>
#else
 #include <csignal>
#endif

std::atomic<bool> ConsoleProgress::stopRequested { false };

ConsoleProgress::ConsoleProgress (juce::OutputStream& errorStream, bool errorsIsTerminal, const juce::String& progressLabel)
    : errors (errorStream), showProgress (errorsIsTerminal), label (progressLabel)
{
}

ConsoleProgress::~ConsoleProgress()
{
    if (shownPercent >= 0)
        errors << "\n";
}

void ConsoleProgress::progressChanged (double progress)
{
    const auto percent = juce::roundToInt (juce::jlimit (0.0, 1.0, progress) * 100.0);

    if (! showProgress || percent == shownPercent)
        return;

    shownPercent = percent;
    errors << "\r" << label << ": " << juce::String (percent).paddedLeft (' ', 3) << "%";
}

bool ConsoleProgress::shouldStop()
{
    return stopRequested.load();
}

#if JUCE_WINDOWS

namespace
{
BOOL WINAPI consoleControl (DWORD event)
{
    // Closing the console or logging off ends the process as soon as this returns: the engine's
    // recovery at the next start puts that right.
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT)
        return FALSE;

    ConsoleProgress::requestStop();
    return TRUE;
}
} // namespace

void ConsoleProgress::catchStopRequests()
{
    SetConsoleCtrlHandler (consoleControl, TRUE);
}

#else

extern "C" void consoleProgressSignal (int)
{
    ConsoleProgress::requestStop();
}

void ConsoleProgress::catchStopRequests()
{
    struct sigaction action {};
    action.sa_handler = consoleProgressSignal;
    sigemptyset (&action.sa_mask);

    for (const auto signal : { SIGINT, SIGTERM })
        sigaction (signal, &action, nullptr);
}

#endif

void ConsoleProgress::requestStop()
{
    stopRequested = true;
}
