#include "fs/ReadOnlyFile.h"

ReadOnlyFile::ReadOnlyFile (juce::pointer_sized_int nativeHandle, juce::int64 sizeWhenOpened)
    : native (nativeHandle), size (sizeWhenOpened)
{
}

juce::Result ReadOnlyFile::cannotOpen (const juce::File& file, const juce::String& why)
{
    return juce::Result::fail ("Cannot open " + file.getFullPathName() + ": " + why);
}

std::unique_ptr<ReadOnlyFile> ReadOnlyFile::open (const juce::File& file, juce::Result& result)
{
    if (file.getFullPathName().isEmpty())
    {
        result = cannotOpen (file, "no path");
        return {};
    }

    return openNative (file, result);
}

int ReadOnlyFile::read (void* destination, int numBytes, juce::int64 offset) const
{
    int done = 0;

    while (done < numBytes)
    {
        const auto numRead = readOnceNative (static_cast<char*> (destination) + done, numBytes - done, offset + done);

        if (numRead <= 0)
            break;

        done += numRead;
    }

    return done;
}
