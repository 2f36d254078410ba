#pragma once

#include <juce_core/juce_core.h>

/** Bytes that do not compress and are the same for the same seed, for payloads and damage tables. */
inline juce::MemoryBlock randomBytes (size_t numBytes, juce::int64 seed)
{
    juce::Random random (seed);
    juce::MemoryBlock block (numBytes);

    for (size_t i = 0; i < numBytes; ++i)
        block[i] = (char) random.nextInt (256);

    return block;
}
