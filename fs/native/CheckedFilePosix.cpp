#include "fs/CheckedFile.h"

#if ! JUCE_WINDOWS

#include "fs/ChangeProbe.h"
#include "fs/SystemError.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

juce::int64 CheckedFile::writeNative (const char* bytes, size_t numBytes)
{
    for (;;)
    {
        const auto written = ::write ((int) fileHandle, bytes, numBytes);

        if (written >= 0 || errno != EINTR)
            return (juce::int64) written;
    }
}

void CheckedFile::startWritingOut()
{
    if (fileHandle == -1 || position == writingOutFrom)
        return;

    // Only a hint: a write that fails on its way to the disk is reported by flush().
    sync_file_range ((int) fileHandle, writingOutFrom, position - writingOutFrom, SYNC_FILE_RANGE_WRITE);
    writingOutFrom = position;
}

CheckedFile::SystemCopy CheckedFile::copyFrom (juce::pointer_sized_int sourceHandle, juce::int64 offset, juce::int64 numBytes)
{
    if (fileHandle == -1 || status.failed())
        return SystemCopy::failed;

    ChangeProbe::announce (ChangeProbe::Change::write, file);

    for (juce::int64 done = 0; done < numBytes;)
    {
        auto from = (loff_t) (offset + done);
        const auto copied = copy_file_range ((int) sourceHandle, &from, (int) fileHandle, nullptr, (size_t) (numBytes - done), 0);

        if (copied < 0 && errno == EINTR)
            continue;

        // Older kernels, and pairs of file systems the kernel does not copy between, refuse before writing anything.
        if (copied < 0 && done == 0 && (errno == ENOSYS || errno == EXDEV || errno == EINVAL || errno == EOPNOTSUPP))
            return SystemCopy::unsupported;

        if (copied == 0)
            status = juce::Result::fail ("Cannot write " + file.getFullPathName() + ": its source ended early");

        if (copied <= 0)
        {
            fail ("write");
            return SystemCopy::failed;
        }

        done += copied;
        position += copied;
    }

    return SystemCopy::done;
}

bool CheckedFile::flushNative()
{
    return fsync ((int) fileHandle) == 0;
}

juce::Result CheckedFile::holdNative()
{
    // A claim takes the same lock; one that came between the creation and this call may have removed the file.
    while (flock ((int) fileHandle, LOCK_EX) != 0)
        if (errno != EINTR)
            return SystemError::failure ("hold", file);

    struct stat info;

    if (fstat ((int) fileHandle, &info) != 0 || info.st_nlink == 0)
        return juce::Result::fail ("Cannot hold " + file.getFullPathName() + ": another process removed it");

    return juce::Result::ok();
}

bool CheckedFile::closeNative()
{
    // Linux closes the descriptor even when close reports an error; it must not be closed again.
    return ::close ((int) fileHandle) == 0 || errno == EINTR;
}

#endif
