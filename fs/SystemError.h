#pragma once

#include <juce_core/juce_core.h>

/** The system's own words for the error of the last failed call (errno, or GetLastError on Windows). */
class SystemError
{
public:
    /** Call right after the failing call, before anything else can change the error. */
    static juce::String lastMessage();

    /** "Cannot <what> <item>: <the system's words>", the layer's sentence for a call on `item` that has
        just failed; call it as lastMessage.
    */
    static juce::Result failure (const juce::String& what, const juce::File& item);

private:
    SystemError() = delete;
};
