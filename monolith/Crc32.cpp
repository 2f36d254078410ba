#include "monolith/Crc32.h"

#include <libdeflate.h>
#include <zlib.h>

juce::uint32 Crc32::update (juce::uint32 crc, const void* data, size_t numBytes) noexcept
{
    return (juce::uint32) libdeflate_crc32 (crc, data, numBytes);
}

juce::uint32 Crc32::combine (juce::uint32 first, juce::uint32 second, juce::int64 secondLength) noexcept
{
    jassert (secondLength >= 0 && secondLength < ((juce::int64) 1 << 31));
    return (juce::uint32) crc32_combine (first, second, (z_off_t) secondLength);
}
