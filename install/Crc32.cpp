#include "install/Crc32.h"

#include <array>
#include <cstring>

namespace
{
using Tables = std::array<std::array<juce::uint32, 256>, 8>;

// Slicing-by-8: table k gives the CRC of a byte followed by k zero bytes.
Tables makeTables() noexcept
{
    Tables t {};

    for (juce::uint32 i = 0; i < 256; ++i)
    {
        auto c = i;

        for (int bit = 0; bit < 8; ++bit)
            c = (c >> 1) ^ (0xedb88320u & (0u - (c & 1u)));

        t[0][i] = c;
    }

    for (size_t k = 1; k < 8; ++k)
        for (size_t i = 0; i < 256; ++i)
            t[k][i] = (t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xffu];

    return t;
}

const Tables& tables() noexcept
{
    static const Tables t = makeTables();
    return t;
}

juce::uint32 littleEndianWord (const juce::uint8* p) noexcept
{
    return (juce::uint32) p[0] | ((juce::uint32) p[1] << 8) | ((juce::uint32) p[2] << 16) | ((juce::uint32) p[3] << 24);
}
} // namespace

void Crc32::update (const void* data, size_t numBytes) noexcept
{
    const auto& t = tables();
    auto* p = static_cast<const juce::uint8*> (data);
    auto c = state;

    for (; numBytes >= 8; numBytes -= 8, p += 8)
    {
        const auto low = c ^ littleEndianWord (p);
        const auto high = littleEndianWord (p + 4);

        c = t[7][low & 0xffu] ^ t[6][(low >> 8) & 0xffu] ^ t[5][(low >> 16) & 0xffu] ^ t[4][low >> 24]
          ^ t[3][high & 0xffu] ^ t[2][(high >> 8) & 0xffu] ^ t[1][(high >> 16) & 0xffu] ^ t[0][high >> 24];
    }

    for (; numBytes > 0; --numBytes, ++p)
        c = (c >> 8) ^ t[0][(c ^ *p) & 0xffu];

    state = c;
}

juce::uint32 Crc32::of (const void* data, size_t numBytes) noexcept
{
    Crc32 crc;
    crc.update (data, numBytes);
    return crc.getValue();
}
