#pragma once

#include <juce_core/juce_core.h>

/** The CRC-32 that ZIP archives record for each entry (reflected polynomial 0xEDB88320), computed
    eight bytes at a time so that checking an extracted plug-in keeps up with writing it.
*/
class Crc32
{
public:
    Crc32() = default;

    void update (const void* data, size_t numBytes) noexcept;
    juce::uint32 getValue() const noexcept      { return ~state; }

    static juce::uint32 of (const void* data, size_t numBytes) noexcept;

private:
    juce::uint32 state = 0xffffffffu;
};
