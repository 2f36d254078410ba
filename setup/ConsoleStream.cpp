#include "setup/ConsoleStream.h"

#if JUCE_WINDOWS
 #include <windows.h>
#else
 #include <cerrno>
 #include <unistd.h>
#endif

#if JUCE_WINDOWS

ConsoleStream::ConsoleStream (Which which)
    : handle ((juce::pointer_sized_int) GetStdHandle (which == Which::output ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE))
{
    DWORD mode = 0;
    terminal = GetConsoleMode ((HANDLE) handle, &mode) != 0;
}

bool ConsoleStream::write (const void* data, size_t numBytes)
{
    position += (juce::int64) numBytes;

    if (terminal)
    {
        const auto text = juce::String::fromUTF8 (static_cast<const char*> (data), (int) numBytes);
        const auto wide = text.toWideCharPointer();
        DWORD written = 0;
        return WriteConsoleW ((HANDLE) handle, wide, (DWORD) wcslen (wide), &written, nullptr) != 0;
    }

    DWORD written = 0;
    return WriteFile ((HANDLE) handle, data, (DWORD) numBytes, &written, nullptr) != 0 && written == numBytes;
}

#else

ConsoleStream::ConsoleStream (Which which)
    : handle (which == Which::output ? STDOUT_FILENO : STDERR_FILENO),
      terminal (isatty ((int) handle) != 0)
{
}

bool ConsoleStream::write (const void* data, size_t numBytes)
{
    position += (juce::int64) numBytes;

    for (auto* bytes = static_cast<const char*> (data); numBytes > 0;)
    {
        const auto written = ::write ((int) handle, bytes, numBytes);

        // Ctrl+C interrupts a write to a slow terminal; the text still goes out.
        if (written < 0 && errno == EINTR)
            continue;

        if (written <= 0)
            return false;

        bytes += written;
        numBytes -= (size_t) written;
    }

    return true;
}

#endif
