#include "fs/CheckedFile.h"

#if JUCE_WINDOWS

#include <windows.h>

juce::int64 CheckedFile::writeNative (const char* bytes, size_t numBytes)
{
    // WriteFile takes at most a DWORD at once.
    DWORD written = 0;
    const auto chunk = (DWORD) std::min<size_t> (numBytes, 1 << 30);

    return WriteFile ((HANDLE) fileHandle, bytes, chunk, &written, nullptr) ? (juce::int64) written : -1;
}

void CheckedFile::startWritingOut()
{
    // Windows' lazy writer already writes a growing file out as it goes.
}

CheckedFile::SystemCopy CheckedFile::copyFrom (juce::pointer_sized_int sourceHandle, juce::int64 offset, juce::int64 numBytes)
{
    juce::ignoreUnused (sourceHandle, offset, numBytes);
    return SystemCopy::unsupported;
}

bool CheckedFile::flushNative()
{
    return FlushFileBuffers ((HANDLE) fileHandle) != FALSE;
}

juce::Result CheckedFile::holdNative()
{
    // Created sharing nothing but reading: no other process can claim it already.
    return juce::Result::ok();
}

bool CheckedFile::closeNative()
{
    return CloseHandle ((HANDLE) fileHandle) != FALSE;
}

#endif
