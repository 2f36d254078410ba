#include "fs/ClaimedFile.h"

#if ! JUCE_WINDOWS

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

ClaimedFile::~ClaimedFile()
{
    ::close ((int) fileHandle);
}

juce::int64 ClaimedFile::readNative (char* destination, size_t numBytes, juce::int64 offset)
{
    for (;;)
    {
        const auto got = ::pread ((int) fileHandle, destination, numBytes, (off_t) offset);

        if (got >= 0 || errno != EINTR)
            return (juce::int64) got;
    }
}

juce::int64 ClaimedFile::getSizeNative() const
{
    struct stat info;
    return fstat ((int) fileHandle, &info) == 0 ? (juce::int64) info.st_size : -1;
}

bool ClaimedFile::writeNative (const char* bytes, size_t numBytes, juce::int64 offset)
{
    for (size_t done = 0; done < numBytes;)
    {
        const auto written = ::pwrite ((int) fileHandle, bytes + done, numBytes - done, (off_t) offset + (off_t) done);

        if (written < 0 && errno == EINTR)
            continue;

        if (written <= 0)
            return false;

        done += (size_t) written;
    }

    return true;
}

bool ClaimedFile::endNative (juce::int64 length)
{
    return ::ftruncate ((int) fileHandle, (off_t) length) == 0;
}

bool ClaimedFile::flushNative()
{
    return ::fsync ((int) fileHandle) == 0;
}

juce::Result ClaimedFile::remove()
{
    // The lock stays with the open descriptor, so a process that opened the file before this removal
    // finds it removed (see claimFile) once it gets the lock.
    return folder.remove (name);
}

#endif
