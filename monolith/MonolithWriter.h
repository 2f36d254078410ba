#pragma once

#include "monolith/ChunkChecksums.h"

#include <juce_data_structures/juce_data_structures.h>

/** Appends scrambled chunks to an output stream, in the layout that MonolithReader walks:
    plain 32-bit seed, then type, size (8 + payload length), key and payload, all scrambled with the
    keystream that starts from the seed.

    It keeps the CRC-32 of every chunk's stored bytes, so that a checksum entry covering all of them can
    end the monolith (writeChecksums).
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

    /** Reserves room here, once, for the checksum entry of the chunks that follow, one for each of `names`
        (an empty name for a chunk that has none, such as the state tree); writeChecksums fills it in
        later, which needs a stream that can move back. With its checksums in front of them, no chunk can be
        lost from the end of the file without the checksum entry telling.
    */
    bool reserveChecksums (const juce::StringArray& names, juce::uint32 seed = randomSeed());

    /** Writes the checksum entry of every chunk written so far: into the room reserved, which its records
        must fit exactly, or else here. Call it once, after the last chunk.
    */
    bool writeChecksums (juce::uint32 seed = randomSeed());

private:
    bool writeHeader (juce::uint32& state, juce::uint32 seed, juce::int32 type, juce::int64 key, juce::int64 numBytes);
    bool writeScrambled (juce::uint32& state, const void* data, size_t numBytes);
    bool writeStored (const void* data, size_t numBytes);
    void finishChunk (juce::int32 type, juce::int64 key, juce::int64 numBytes);

    juce::OutputStream& out;
    std::vector<ChunkChecksums::Record> written;
    juce::int64 chunkStart = 0;
    juce::uint32 chunkCrc = 0;

    struct Reserved
    {
        juce::int64 offset = -1;
        juce::uint32 seed = 0;
        size_t payloadSize = 0;
    };

    Reserved reserved;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (MonolithWriter)
};
