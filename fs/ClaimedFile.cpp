#include "fs/ClaimedFile.h"

#include "fs/ChangeProbe.h"
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

juce::Result ClaimedFile::writeAt (juce::int64 offset, const void* data, size_t numBytes)
{
    const auto file = getFile();
    ChangeProbe::announce (ChangeProbe::Change::write, file);

    if (! writeNative (static_cast<const char*> (data), numBytes, offset) || ! endNative (offset + (juce::int64) numBytes))
        return SystemError::failure ("write", file);

    ChangeProbe::announce (ChangeProbe::Change::flushFile, file);

    if (! flushNative())
        return SystemError::failure ("flush", file);

    return juce::Result::ok();
}
