#include "fs/RootFolder.h"

#if JUCE_WINDOWS

#include "fs/CheckedFolder.h"

juce::File RootFolder::resolveNative (const juce::File& folder)
{
    // The layer opens a root at its final path.
    const auto opened = CheckedFolder::openRoot (folder);
    return opened.isOpen() ? opened.getFile() : folder;
}

bool RootFolder::letOwnerWrite (const juce::File& folder)
{
    return folder.setReadOnly (false, false);
}

#endif
