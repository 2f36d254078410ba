#pragma once

#include "monolith/ChunkType.h"

#include <juce_data_structures/juce_data_structures.h>

/** Appends scrambled chunks to an output stream, in the layout that MonolithReader walks:
    plain 32-bit seed, then type, size (8 + payload length), key and payload, all scrambled with the
    keystream that starts from the seed.
*/
class MonolithWriter
{
public:
    explicit MonolithWriter (juce::OutputStream& destination);

    /** A seed from a freshly seeded random generator. */
    static juce::uint32 randomSeed();

    bool writeChunk (juce::uint32 seed, juce::int32 type, juce::int64 key, const void* payload, size_t numBytes);

    /** Writes exactly numBytes bytes from payload; fails when the stream delivers fewer. */
    bool writeChunk (juce::uint32 seed, juce::int32 type, juce::int64 key, juce::InputStream& payload, juce::int64 numBytes);

    /** The state tree chunk: type stateTree, key 0, the tree's binary stream form. */
    bool writeState (const juce::ValueTree& state, juce::uint32 seed = randomSeed());

    /** A named entry, keyed by the hash of its name. */
    bool writeEntry (ChunkType type, const juce::String& name, const juce::MemoryBlock& payload, juce::uint32 seed = randomSeed());

    /** A named entry whose payload is the rest of the stream, which must know its length. */
    bool writeEntry (ChunkType type, const juce::String& name, juce::InputStream& payload, juce::uint32 seed = randomSeed());

private:
    bool writeHeader (juce::uint32& state, juce::uint32 seed, juce::int32 type, juce::int64 key, juce::int64 numBytes);
    bool writeScrambled (juce::uint32& state, const void* data, size_t numBytes);

    juce::OutputStream& out;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (MonolithWriter)
};
