#include "install/SafeFileName.h"

namespace
{
bool isReservedDeviceName (const juce::String& name)
{
    // Windows maps these to devices whatever the extension, and ignores trailing blanks before it.
    const auto stem = name.upToFirstOccurrenceOf (".", false, false).trimEnd().toUpperCase();

    for (const auto* device : { "CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$" })
        if (stem == device)
            return true;

    if (stem.length() == 4 && (stem.startsWith ("COM") || stem.startsWith ("LPT")))
    {
        const auto last = stem[3];
        // Superscript digits count too: COM¹ is a device.
        return juce::CharacterFunctions::isDigit (last) || last == 0xb9 || last == 0xb2 || last == 0xb3;
    }

    return false;
}
} // namespace

bool SafeFileName::isSafe (const juce::String& name)
{
    if (name.isEmpty() || name == "." || name == "..")
        return false;

    for (auto p = name.getCharPointer(); ! p.isEmpty(); ++p)
    {
        const auto c = *p;

        if (c < 0x20 || c == 0x7f || juce::String (R"(\/:*?"<>|)").containsChar (c))
            return false;
    }

    const auto last = name.getLastCharacter();

    if (last == '.' || last == ' ')
        return false;

    return ! isReservedDeviceName (name);
}
