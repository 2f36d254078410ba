#include "log/InstallerLog.h"

#include <juce_gui_basics/juce_gui_basics.h>

void InstallerLog::copyToClipboard()
{
    const juce::ScopedLock sl (lock);
    juce::SystemClipboard::copyTextToClipboard (text);
}
