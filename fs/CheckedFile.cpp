#include "fs/CheckedFile.h"

#include "fs/ChangeProbe.h"
#include "fs/SystemError.h"

CheckedFile::CheckedFile (juce::pointer_sized_int nativeHandle, const juce::File& newFile)
    : fileHandle (nativeHandle), file (newFile), name (newFile.getFileName()), status (juce::Result::ok())
{
}

CheckedFile::~CheckedFile()
{
    close();
}

void CheckedFile::fail (const juce::String& what)
{
    const auto failure = SystemError::failure (what, file);

    if (status.wasOk())
        status = failure;
}

bool CheckedFile::write (const void* data, size_t numBytes)
{
    if (fileHandle == -1 || status.failed())
        return false;

    ChangeProbe::announce (ChangeProbe::Change::write, file);
    const auto* bytes = static_cast<const char*> (data);

    for (size_t done = 0; done < numBytes;)
    {
        const auto written = writeNative (bytes + done, numBytes - done);

        if (written <= 0)
        {
            fail ("write");
            return false;
        }

        done += (size_t) written;
        position += written;
    }

    return true;
}

void CheckedFile::flush()
{
    if (fileHandle == -1)
        return;

    ChangeProbe::announce (ChangeProbe::Change::flushFile, file);

    if (! flushNative())
        fail ("flush");
}

juce::Result CheckedFile::hold()
{
    if (fileHandle == -1)
        return juce::Result::fail ("Cannot hold " + file.getFullPathName() + ": it is closed");

    return holdNative();
}

juce::Result CheckedFile::close()
{
    if (fileHandle != -1)
    {
        if (! closeNative())
            fail ("close");

        fileHandle = -1;
    }

    return status;
}
