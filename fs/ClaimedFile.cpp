#include "fs/ClaimedFile.h"

#include "fs/SystemError.h"

ClaimedFile::ClaimedFile (juce::pointer_sized_int nativeHandle, const CheckedFolder& parent, const juce::String& fileName)
    : fileHandle (nativeHandle), folder (parent), name (fileName)
{
}

juce::File ClaimedFile::getFile() const
{
    // Not getChildFile, which reads a leading '~' as the home folder.
    return juce::File (folder.getFile().getFullPathName() + juce::File::getSeparatorString() + name);
}

juce::Result ClaimedFile::read (juce::MemoryBlock& content, size_t maxBytes)
{
    content.reset();
    char block[65536];

    for (;;)
    {
        const auto got = readNative (block, sizeof (block), (juce::int64) content.getSize());

        if (got < 0)
            return SystemError::failure ("read", getFile());

        if (got == 0)
            return juce::Result::ok();

        if (content.getSize() + (size_t) got > maxBytes)
            return juce::Result::fail ("Cannot read " + getFile().getFullPathName() + ": larger than "
                                       + juce::File::descriptionOfSizeInBytes ((juce::int64) maxBytes));

        content.append (block, (size_t) got);
    }
}
