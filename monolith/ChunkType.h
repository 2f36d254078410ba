#pragma once

#include <juce_core/juce_core.h>

/** The type tag of a monolith chunk, stored as a signed 32-bit value. Other values are skipped. */
enum ChunkType : juce::int32
{
    binary = 0,
    stateTree = 1,
    pngImage = 3,

    /** The checksums of every other chunk (see ChunkChecksums); "CKSM" read as little-endian bytes. */
    checksums = 0x4d534b43
};

/** The name of a chunk type as the tools and messages show it: "binary", "stateTree", "pngImage",
    "checksums", or the number.
*/
inline juce::String getChunkTypeName (juce::int32 type)
{
    switch (type)
    {
        case ChunkType::binary:     return "binary";
        case ChunkType::stateTree:  return "stateTree";
        case ChunkType::pngImage:   return "pngImage";
        case ChunkType::checksums:  return "checksums";
        default:                    return juce::String (type);
    }
}
