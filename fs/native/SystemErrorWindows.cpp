#include "fs/SystemError.h"

#if JUCE_WINDOWS

#include <windows.h>

juce::String SystemError::lastMessage()
{
    const auto code = GetLastError();
    wchar_t buffer[512] = {};
    FormatMessageW (FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                    buffer, (DWORD) juce::numElementsInArray (buffer), nullptr);
    const auto text = juce::String (buffer).trim().trimCharactersAtEnd (".");
    return text.isNotEmpty() ? text : "error " + juce::String ((juce::int64) code);
}

#endif
