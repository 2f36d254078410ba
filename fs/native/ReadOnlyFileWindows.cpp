#include "fs/ReadOnlyFile.h"

#if JUCE_WINDOWS

#include "fs/SystemError.h"

#include <windows.h>

ReadOnlyFile::~ReadOnlyFile()
{
    CloseHandle ((HANDLE) native);
}

std::unique_ptr<ReadOnlyFile> ReadOnlyFile::openNative (const juce::File& file, juce::Result& result)
{
    // Shared for reading only: while it is open nobody can write to it, rename it or remove it.
    const auto item = CreateFileW (file.getFullPathName().toWideCharPointer(), GENERIC_READ, FILE_SHARE_READ,
                                   nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);

    if (item == INVALID_HANDLE_VALUE)
    {
        result = SystemError::failure ("open", file);
        return {};
    }

    LARGE_INTEGER size {};

    if (GetFileType (item) != FILE_TYPE_DISK || ! GetFileSizeEx (item, &size))
    {
        CloseHandle (item);
        result = cannotOpen (file, "not a file");
        return {};
    }

    return std::unique_ptr<ReadOnlyFile> (new ReadOnlyFile ((juce::pointer_sized_int) item, (juce::int64) size.QuadPart));
}

int ReadOnlyFile::readOnceNative (char* destination, int numBytes, juce::int64 offset) const
{
    OVERLAPPED at {};
    at.Offset = (DWORD) (juce::uint64) offset;
    at.OffsetHigh = (DWORD) ((juce::uint64) offset >> 32);
    DWORD numRead = 0;

    // A synchronous handle reads at the offset given and waits for it.
    if (! ReadFile ((HANDLE) native, destination, (DWORD) numBytes, &numRead, &at))
        return -1;

    return (int) numRead;
}

#endif
