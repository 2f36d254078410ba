#pragma once

#include <juce_core/juce_core.h>

/** The type tag of a monolith chunk, stored as a signed 32-bit value. Other values are skipped. */
enum ChunkType : juce::int32
{
    binary = 0,
    stateTree = 1,
    pngImage = 3
};
