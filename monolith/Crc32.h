#pragma once

#include <juce_core/juce_core.h>

/** The CRC-32 of zlib and of zip archives, the one checksum entries, install records and the journal
    hold. Computed by libdeflate, which uses the processor's carry-less multiplication where it has one:
    several times zlib's speed, which matters when every byte of a many-gigabyte monolith is summed.
*/
class Crc32
{
public:
    /** The CRC-32 of nothing, to start a running one from. */
    static constexpr juce::uint32 initial = 0;

    /** Continues the running CRC-32 `crc` over `numBytes` more bytes. */
    static juce::uint32 update (juce::uint32 crc, const void* data, size_t numBytes) noexcept;

    /** The CRC-32 of `numBytes` bytes. */
    static juce::uint32 of (const void* data, size_t numBytes) noexcept     { return update (initial, data, numBytes); }

    /** The CRC-32 of two pieces in a row, from the CRC-32 of each and the length of the second, which must
        be below 2 GiB (zlib's offset type, which does the work, has 32 bits on 64-bit Windows).
    */
    static juce::uint32 combine (juce::uint32 first, juce::uint32 second, juce::int64 secondLength) noexcept;

private:
    Crc32() = delete;
};
