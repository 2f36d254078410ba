#include "fs/ClaimedFile.h"

#include "fs/ChangeProbe.h"
#include "fs/SystemError.h"

#include <algorithm>

ClaimedFile::ClaimedFile (juce::pointer_sized_int nativeHandle, const CheckedFolder& parent, const juce::String& fileName)
    : fileHandle (nativeHandle), folder (parent), name (fileName)
{
}

juce::Result ClaimedFile::checkOwner() const
{
    return CheckedFolder::checkOwnItem (fileHandle, getFile());
}

juce::File ClaimedFile::getFile() const
{
    // Not getChildFile, which reads a leading '~' as the home folder.
    return juce::File (folder.getFile().getFullPathName() + juce::File::getSeparatorString() + name);
}

juce::Result ClaimedFile::read (juce::MemoryBlock& content, size_t maxBytes)
{
    content.reset();
    const auto tooLarge = juce::Result::fail ("Cannot read " + getFile().getFullPathName() + ": larger than "
                                              + juce::File::descriptionOfSizeInBytes ((juce::int64) maxBytes));
    const auto size = getSizeNative();

    if (size < 0)
        return SystemError::failure ("read", getFile());

    // The size from the open file first, and never more than one byte past the bound: a file of any size
    // costs no more than that.
    if ((juce::uint64) size > maxBytes)
        return tooLarge;

    char block[65536];

    for (;;)
    {
        const auto wanted = std::min (sizeof (block), maxBytes + 1 - content.getSize());
        const auto got = readNative (block, wanted, (juce::int64) content.getSize());

        if (got < 0)
            return SystemError::failure ("read", getFile());

        if (got == 0)
            return juce::Result::ok();

        content.append (block, (size_t) got);

        if (content.getSize() > maxBytes)
            return tooLarge;
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
