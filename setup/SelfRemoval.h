#pragma once

#include <juce_core/juce_core.h>

#if JUCE_WINDOWS

class SystemFolders;

/** How the uninstaller removes itself and the instrument's data folder it lies in. Windows deletes no
    file that a running program was started from, so the uninstaller starts a copy of itself from the
    temporary folder and ends; the copy waits for it to end, removes its file and then the instrument's
    folder and the company's folder when they are empty. The copy's own file is opened for deletion on
    close before the copy starts, and the copy inherits that handle: the system deletes the file when
    the copy ends.
*/
class SelfRemoval
{
public:
    /** Starts the copy, which removes the uninstaller of `instrument` by `company` once this process has
        ended, provided the installation's record is gone by then.
    */
    static juce::Result start (const juce::String& company, const juce::String& instrument);

    /** Whether `args` are the copy's: the option, the handle of the process to wait for, company and instrument. */
    static bool isCopy (const juce::StringArray& args);

    /** The copy's work; returns its exit status (0 when everything went). */
    static int finish (const juce::StringArray& args, const SystemFolders& folders);

    static constexpr const char* copyOption = "--remove-uninstaller";

private:
    SelfRemoval() = delete;
};

#endif
