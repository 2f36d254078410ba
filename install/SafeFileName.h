#pragma once

#include <juce_core/juce_core.h>

/** The rule for names that come from a monolith and become a single file or folder name of a process
    with administrator rights: the instrument and company names, and every part of an archive entry's path.
*/
class SafeFileName
{
public:
    /** True when `name` is one harmless path component on Windows and elsewhere: not empty, not "." or
        "..", no separator, drive colon, wildcard, quote, angle bracket, pipe or control character, no
        trailing dot or blank, and not a reserved device name (CON, PRN, AUX, NUL, COM0-9, LPT0-9, also
        with an extension such as "nul.txt"). Whether it is short enough is the file system's question,
        which FileSystemLimits answers in its own units.
    */
    static bool isSafe (const juce::String& name);

private:
    SafeFileName() = delete;
};
