#include "install/TemporaryNames.h"

#include "fs/SecureRandom.h"

juce::String TemporaryNames::newFilePrefix (const juce::String& finalName)
{
    return hidden + finalName + newFileMark;
}

juce::String TemporaryNames::asideName (const juce::String& name)
{
    const auto random = SecureRandom::hex (CheckedFolder::randomNameBytes);
    return random.isNotEmpty() ? hidden + name + asideMark + random : juce::String();
}

bool TemporaryNames::isCreatedWith (const juce::String& name, const juce::String& prefix)
{
    const auto random = name.substring (prefix.length());
    return name.startsWith (prefix) && random.length() == randomDigits && random.containsOnly ("0123456789abcdef");
}

bool TemporaryNames::isTemporaryName (const juce::String& name)
{
    const auto prefix = name.dropLastCharacters (randomDigits);
    return isCreatedWith (name, prefix) && (prefix == stagingPrefix || isMarked (prefix, newFileMark) || isMarked (prefix, asideMark));
}

bool TemporaryNames::isTemporaryPrefix (const juce::String& prefix)
{
    return prefix == stagingPrefix || isMarked (prefix, newFileMark);
}

bool TemporaryNames::isMarked (const juce::String& prefix, const char* mark)
{
    const auto name = prefix.substring (1, prefix.length() - (int) std::char_traits<char>::length (mark));
    return prefix.startsWith (hidden) && prefix.endsWith (mark) && name.isNotEmpty() && ! name.containsAnyOf ("/\\");
}
