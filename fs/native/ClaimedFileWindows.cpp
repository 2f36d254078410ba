#include "fs/ClaimedFile.h"

#if JUCE_WINDOWS

#include "fs/ChangeProbe.h"
#include "fs/SystemError.h"

#include <windows.h>

ClaimedFile::~ClaimedFile()
{
    CloseHandle ((HANDLE) fileHandle);
}

juce::int64 ClaimedFile::readNative (char* destination, size_t numBytes, juce::int64 offset)
{
    // Only this object reads through the handle, so its own position is already at `offset`.
    juce::ignoreUnused (offset);
    DWORD got = 0;

    return ReadFile ((HANDLE) fileHandle, destination, (DWORD) numBytes, &got, nullptr) ? (juce::int64) got : -1;
}

juce::int64 ClaimedFile::getSizeNative() const
{
    LARGE_INTEGER size;
    return GetFileSizeEx ((HANDLE) fileHandle, &size) ? (juce::int64) size.QuadPart : -1;
}

bool ClaimedFile::writeNative (const char* bytes, size_t numBytes, juce::int64 offset)
{
    for (size_t done = 0; done < numBytes;)
    {
        OVERLAPPED at {};
        const auto position = (juce::uint64) offset + done;
        at.Offset = (DWORD) position;
        at.OffsetHigh = (DWORD) (position >> 32);
        DWORD written = 0;

        if (! WriteFile ((HANDLE) fileHandle, bytes + done, (DWORD) std::min<size_t> (numBytes - done, 1 << 30), &written, &at)
             || written == 0)
            return false;

        done += written;
    }

    return true;
}

bool ClaimedFile::endNative (juce::int64 length)
{
    FILE_END_OF_FILE_INFO end {};
    end.EndOfFile.QuadPart = length;
    return SetFileInformationByHandle ((HANDLE) fileHandle, FileEndOfFileInfo, &end, sizeof (end)) != FALSE;
}

bool ClaimedFile::flushNative()
{
    return FlushFileBuffers ((HANDLE) fileHandle) != FALSE;
}

juce::Result ClaimedFile::remove()
{
    // Through the handle that holds it: nobody else may open the file for deletion meanwhile.
    const auto path = getFile();
    if (const auto fault = ChangeProbe::announce (ChangeProbe::Change::remove, path); fault.failed())
        return juce::Result::fail ("Cannot remove " + path.getFullPathName() + ": " + fault.getErrorMessage());

    FILE_DISPOSITION_INFO disposition { TRUE };

    if (! SetFileInformationByHandle ((HANDLE) fileHandle, FileDispositionInfo, &disposition, sizeof (disposition)))
        return SystemError::failure ("remove", path);

    return juce::Result::ok();
}

#endif
