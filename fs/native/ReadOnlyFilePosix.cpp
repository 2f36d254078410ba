#include "fs/ReadOnlyFile.h"

#if ! JUCE_WINDOWS

#include "fs/SystemError.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

ReadOnlyFile::~ReadOnlyFile()
{
    ::close ((int) native);
}

std::unique_ptr<ReadOnlyFile> ReadOnlyFile::openNative (const juce::File& file, juce::Result& result)
{
    // Not blocking: opening a pipe would otherwise wait for a writer.
    const auto fd = ::open (file.getFullPathName().toRawUTF8(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);

    if (fd < 0)
    {
        result = SystemError::failure ("open", file);
        return {};
    }

    struct stat info;

    if (fstat (fd, &info) != 0)
    {
        result = SystemError::failure ("open", file);
        ::close (fd);
        return {};
    }

    if (! S_ISREG (info.st_mode))
    {
        ::close (fd);
        result = cannotOpen (file, "not a file");
        return {};
    }

    return std::unique_ptr<ReadOnlyFile> (new ReadOnlyFile (fd, (juce::int64) info.st_size));
}

int ReadOnlyFile::readOnceNative (char* destination, int numBytes, juce::int64 offset) const
{
    for (;;)
    {
        const auto numRead = pread ((int) native, destination, (size_t) numBytes, (off_t) offset);

        if (numRead >= 0 || errno != EINTR)
            return (int) numRead;
    }
}

#endif
