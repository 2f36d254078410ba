#pragma once

#include <juce_core/juce_core.h>

/** Walks the chunk headers of a monolith in file order, from its first byte.

    Headers are taken from a window of the file, so that a run of small chunks costs one read per
    window instead of a few system calls per chunk; the window grows while small chunks fill it, and
    payloads are never read on purpose. The walk ends at the end
    of the file or at the first header that cannot be trusted, and tells which.
*/
class ChunkWalk
{
public:
    static constexpr juce::int64 headerSize = 16;   // seed, type, size
    static constexpr juce::int64 keySize = 8;

    /** One chunk's header, descrambled. */
    struct Header
    {
        juce::int64 start = 0;      // file offset of the seed
        juce::uint32 seed = 0;
        juce::int32 type = 0;
        juce::int64 size = 0;       // as stored: the key plus the payload
        juce::uint64 storedKey = 0; // the key as stored, scrambled

        bool hasKey() const noexcept                    { return size >= keySize; }

        /** The key, descrambled only when asked for: most chunks of a walk are passed over by type. 0 when
            the chunk is too small to hold one.
        */
        juce::int64 getKey() const noexcept;

        /** Whether the chunk holds this key: getKey() == key, but most chunks of a walk that differ
            are told apart by the first byte.
        */
        bool holdsKey (juce::int64 key) const noexcept;

        juce::int64 getEnd() const noexcept             { return start + headerSize + size; }
        juce::int64 getPayloadStart() const noexcept    { return start + headerSize + keySize; }
        juce::int64 getPayloadLength() const noexcept   { return size - keySize; }

        /** The keystream state before the payload's first byte. */
        juce::uint32 getPayloadState() const noexcept;
    };

    enum class End
    {
        notYet,
        endOfFile,          // the last chunk ends exactly at the end of the file
        cutShortHeader,     // fewer bytes than a header remain after the last whole chunk
        pastTheEnd,         // a chunk's size reaches beyond the end of the file
        negativeSize,       // a chunk's size would move the walk backwards
        unreadable          // the file could not be read or positioned
    };

    /** Walks `source`, which must be seekable and know its length; the walk moves its position. */
    explicit ChunkWalk (juce::InputStream& source);

    /** Fills `header` with the next chunk that lies wholly within the file and returns true, or returns
        false when the walk is over (see getEnd). After false, `header.start` is where the walk stopped
        and, for pastTheEnd and negativeSize, `header.size` is the size that the damaged header claims.
    */
    bool next (Header& header);

    End getEnd() const noexcept                 { return end; }
    juce::int64 getFileLength() const noexcept  { return fileLength; }

private:
    bool refillWindow (juce::int64 chunkStart, juce::int64 windowEndNeeded);
    bool stop (End reason) noexcept;

    juce::InputStream& source;
    const juce::int64 fileLength;
    juce::int64 position = 0;
    juce::HeapBlock<juce::uint8> window;
    juce::int64 windowStart = 0, windowEnd = 0, windowSize = 0, allocatedSize = 0;
    End end = End::notYet;

    JUCE_DECLARE_NON_COPYABLE (ChunkWalk)
};
