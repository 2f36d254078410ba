#include "fs/SystemError.h"

juce::Result SystemError::failure (const juce::String& what, const juce::File& item)
{
    const auto error = lastMessage();
    return juce::Result::fail ("Cannot " + what + " " + item.getFullPathName() + ": " + error);
}
