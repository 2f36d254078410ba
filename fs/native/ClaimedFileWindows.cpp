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

juce::Result ClaimedFile::remove()
{
    // Through the handle that holds it: nobody else may open the file for deletion meanwhile.
    const auto path = getFile();
    ChangeProbe::announce (ChangeProbe::Change::remove, path);
    FILE_DISPOSITION_INFO disposition { TRUE };

    if (! SetFileInformationByHandle ((HANDLE) fileHandle, FileDispositionInfo, &disposition, sizeof (disposition)))
        return SystemError::failure ("remove", path);

    return juce::Result::ok();
}

#endif
