#include "install/TemporaryNames.h"

#include "fs/SecureRandom.h"

namespace
{
/** `prefix` followed by fresh random digits; empty when the system's generator gave none. */
juce::String withRandomDigits (const juce::String& prefix)
{
    const auto random = SecureRandom::hex (CheckedFolder::randomNameBytes);
    return random.isNotEmpty() ? prefix + random : juce::String();
}
} // namespace

juce::String TemporaryNames::newFilePrefix (const juce::String& finalName)
{
    return hidden + finalName + newFileMark;
}

juce::String TemporaryNames::newFileName (const juce::String& finalName)
{
    return withRandomDigits (newFilePrefix (finalName));
}

juce::String TemporaryNames::asideName (const juce::String& name)
{
    return withRandomDigits (hidden + name + asideMark);
}

juce::String TemporaryNames::stagingName()
{
    return withRandomDigits (stagingPrefix);
}

bool TemporaryNames::isCreatedWith (const juce::String& name, const juce::String& prefix)
{
    const auto random = name.substring (prefix.length());
    return name.startsWith (prefix) && random.length() == randomDigits && random.containsOnly ("0123456789abcdef");
}

bool TemporaryNames::isNewFileName (const juce::String& name)
{
    const auto prefix = name.dropLastCharacters (randomDigits);
    return isCreatedWith (name, prefix) && isMarked (prefix, newFileMark);
}

bool TemporaryNames::isAsideNameOf (const juce::String& name, const juce::String& itemName)
{
    return isCreatedWith (name, hidden + itemName + asideMark) && isMarked (name.dropLastCharacters (randomDigits), asideMark);
}

bool TemporaryNames::isStagingName (const juce::String& name)
{
    return isCreatedWith (name, stagingPrefix);
}

bool TemporaryNames::isTemporaryName (const juce::String& name)
{
    const auto prefix = name.dropLastCharacters (randomDigits);
    return isStagingName (name) || isNewFileName (name) || (isCreatedWith (name, prefix) && isMarked (prefix, asideMark));
}

bool TemporaryNames::isMarked (const juce::String& prefix, const char* mark)
{
    const auto name = prefix.substring (1, prefix.length() - (int) std::char_traits<char>::length (mark));
    return prefix.startsWith (hidden) && prefix.endsWith (mark) && name.isNotEmpty() && ! name.containsAnyOf ("/\\");
}
