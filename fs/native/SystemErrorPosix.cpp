#include "fs/SystemError.h"

#if ! JUCE_WINDOWS

#include <cerrno>
#include <system_error>

juce::String SystemError::lastMessage()
{
    return juce::String (std::generic_category().message (errno));
}

#endif
