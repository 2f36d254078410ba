#include "fs/CheckedFile.h"

#include "fs/ChangeProbe.h"
#include "fs/SystemError.h"

#if JUCE_WINDOWS
 #include <windows.h>
#else
 #include <cerrno>
 #include <fcntl.h>
 #include <sys/file.h>
 #include <sys/stat.h>
 #include <unistd.h>
#endif

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
    const auto error = SystemError::lastMessage();

    if (status.wasOk())
        status = juce::Result::fail ("Cannot " + what + " " + file.getFullPathName() + ": " + error);
}

bool CheckedFile::write (const void* data, size_t numBytes)
{
    if (fileHandle == -1 || status.failed())
        return false;

    ChangeProbe::announce (ChangeProbe::Change::write, file);
    const auto* bytes = static_cast<const char*> (data);

    for (size_t done = 0; done < numBytes;)
    {
       #if JUCE_WINDOWS
        DWORD written = 0;
        const auto chunk = (DWORD) std::min<size_t> (numBytes - done, 1 << 30);

        if (! WriteFile ((HANDLE) fileHandle, bytes + done, chunk, &written, nullptr) || written == 0)
        {
            fail ("write");
            return false;
        }
       #else
        const auto written = ::write ((int) fileHandle, bytes + done, numBytes - done);

        if (written < 0 && errno == EINTR)
            continue;

        if (written <= 0)
        {
            fail ("write");
            return false;
        }
       #endif

        done += (size_t) written;
        position += (juce::int64) written;
    }

    return true;
}

void CheckedFile::startWritingOut()
{
   #if JUCE_LINUX
    if (fileHandle == -1 || position == writingOutFrom)
        return;

    // Only a hint: a write that fails on its way to the disk is reported by flush().
    sync_file_range ((int) fileHandle, writingOutFrom, position - writingOutFrom, SYNC_FILE_RANGE_WRITE);
    writingOutFrom = position;
   #endif
}

CheckedFile::SystemCopy CheckedFile::copyFrom (juce::pointer_sized_int sourceHandle, juce::int64 offset, juce::int64 numBytes)
{
   #if JUCE_LINUX
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
   #else
    juce::ignoreUnused (sourceHandle, offset, numBytes);
    return SystemCopy::unsupported;
   #endif
}

void CheckedFile::flush()
{
    if (fileHandle == -1)
        return;

    ChangeProbe::announce (ChangeProbe::Change::flushFile, file);

   #if JUCE_WINDOWS
    if (! FlushFileBuffers ((HANDLE) fileHandle))
        fail ("flush");
   #else
    if (fsync ((int) fileHandle) != 0)
        fail ("flush");
   #endif
}

juce::Result CheckedFile::hold()
{
    if (fileHandle == -1)
        return juce::Result::fail ("Cannot hold " + file.getFullPathName() + ": it is closed");

   #if JUCE_WINDOWS
    // Created sharing nothing but reading: no other process can claim it already.
    return juce::Result::ok();
   #else
    // A claim takes the same lock; one that came between the creation and this call may have removed the file.
    while (flock ((int) fileHandle, LOCK_EX) != 0)
        if (errno != EINTR)
            return juce::Result::fail ("Cannot hold " + file.getFullPathName() + ": " + SystemError::lastMessage());

    struct stat info;

    if (fstat ((int) fileHandle, &info) != 0 || info.st_nlink == 0)
        return juce::Result::fail ("Cannot hold " + file.getFullPathName() + ": another process removed it");

    return juce::Result::ok();
   #endif
}

juce::Result CheckedFile::close()
{
    if (fileHandle != -1)
    {
       #if JUCE_WINDOWS
        if (! CloseHandle ((HANDLE) fileHandle))
            fail ("close");
       #else
        // Linux closes the descriptor even when close reports an error; it must not be closed again.
        if (::close ((int) fileHandle) != 0 && errno != EINTR)
            fail ("close");
       #endif

        fileHandle = -1;
    }

    return status;
}
