#pragma once

#include "install/InstallerModel.h"

#include <atomic>

/** How the console program follows a long operation: its progress as one line on standard error
    that is rewritten in place, only when standard error is a terminal; and Ctrl+C, Ctrl+Break or a
    termination request (SIGTERM) as a request to stop, so that the operation ends by rolling back
    instead of being cut off half-way.
*/
class ConsoleProgress : public InstallerModel::Observer
{
public:
    /** Shows "`label`: NN%" on `errors` while the operation runs, when `errorsIsTerminal`. */
    ConsoleProgress (juce::OutputStream& errors, bool errorsIsTerminal, const juce::String& label);

    /** Ends the progress line, if one was shown. */
    ~ConsoleProgress() override;

    void progressChanged (double progress) override;
    bool shouldStop() override;

    /** From now on, the stop requests above reach every ConsoleProgress. Call once, at start. */
    static void catchStopRequests();

    /** What Ctrl+C and the others do; safe in a signal handler (a lock-free atomic store). */
    static void requestStop();

private:
    juce::OutputStream& errors;
    const bool showProgress;
    const juce::String label;
    int shownPercent = -1;

    static std::atomic<bool> stopRequested;

    JUCE_DECLARE_NON_COPYABLE (ConsoleProgress)
};
