#include "fs/RootFolder.h"

juce::File RootFolder::resolve (const juce::File& folder)
{
    return folder.isDirectory() ? resolveNative (folder) : folder;
}
