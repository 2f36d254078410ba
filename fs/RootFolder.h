#pragma once

#include <juce_core/juce_core.h>

/** What the layer does with a root folder through its own path, which is the system's: links in it are
    followed, as CheckedFolder::openRoot follows them.
*/
class RootFolder
{
public:
    /** `folder` with the links in its path followed, when it exists; otherwise `folder` as it is. */
    static juce::File resolve (const juce::File& folder);

    /** Lets the folder's owner write to it, and nobody else more than before. On Windows that clears the
        read-only attribute; elsewhere it adds the owner's write bit only, where the framework's
        setReadOnly (false) would let everyone write.
    */
    static bool letOwnerWrite (const juce::File& folder);

private:
    // One implementation for each system, with letOwnerWrite: native/RootFolderPosix.cpp,
    // native/RootFolderWindows.cpp.
    static juce::File resolveNative (const juce::File& folder);

    RootFolder() = delete;
};
