#pragma once

#include "monolith/ChunkType.h"
#include "monolith/ChunkWalk.h"

#include <vector>

class MonolithStructure;

/** The checksum entry of a monolith: a CRC-32 of every other chunk's bytes exactly as they are stored,
    seed and header included, so that damage anywhere in the file is found without descrambling.

    The entry is a chunk of type ChunkType::checksums with key 0, which readers that do not know it skip.
    Its payload format is described in docs/monolith-checksums.md.
*/
class ChunkChecksums
{
public:
    static constexpr juce::int64 entryKey = 0;
    static constexpr juce::uint32 formatVersion = 1;

    /** Larger checksum entries are refused as damaged; at the smallest record size this is about
        490,000 chunks.
    */
    static constexpr juce::int64 maxPayloadSize = 16 << 20;

    /** The checksum of one chunk. */
    struct Record
    {
        juce::int64 offset = 0;     // the chunk's first byte, its seed
        juce::int64 size = 0;       // the chunk's stored size: key plus payload
        juce::int64 key = 0;
        juce::int32 type = 0;
        juce::uint32 crc = 0;       // CRC-32 of the chunk's 16 + size stored bytes
        juce::String name;          // the entry's name, when the writer knew it

        juce::int64 getEnd() const noexcept     { return offset + ChunkWalk::headerSize + size; }

        /** The entry's name; without one "state tree", "checksum entry" or its type and key. */
        juce::String describe() const;
    };

    enum class Status
    {
        loaded,
        absent,             // the monolith carries no checksum entry
        unknownVersion,     // a format version that this reader does not know
        damaged,            // the entry fails its own checksum, cannot be parsed or does not match the chunks
        unreadable          // the monolith is not structurally complete, or could not be read
    };

    /** Checksums as a writer collects them, in file order. */
    explicit ChunkChecksums (std::vector<Record> recordsInFileOrder);

    /** The checksum entry's payload for these records. */
    juce::MemoryBlock toPayload() const;

    /** Reads the checksum entry of a monolith whose structure has been checked, verifies the entry's own
        checksum and that its records describe exactly the other chunks of the file, in order. Reads the
        entry's bytes and walks the headers once more; no other payload is read.
    */
    static ChunkChecksums load (juce::InputStream& monolith, const MonolithStructure& structure);

    /** The structure check followed by the load above. */
    static ChunkChecksums load (const juce::File& monolith);

    Status getStatus() const noexcept                       { return status; }
    bool isLoaded() const noexcept                          { return status == Status::loaded; }

    /** What is wrong, for the log, when the status is not loaded. */
    const juce::String& getProblem() const noexcept         { return problem; }

    const std::vector<Record>& getRecords() const noexcept  { return records; }

    /** The checksum entry's own chunk, with the CRC-32 of its stored bytes as the load read them. */
    const Record& getEntry() const noexcept                 { return entry; }

private:
    ChunkChecksums (Status, const juce::String& problem);

    static ChunkChecksums parse (const juce::uint8* payload, size_t size);
    juce::String findMismatch (juce::InputStream& monolith) const;

    Status status = Status::loaded;
    juce::String problem;
    std::vector<Record> records;
    Record entry;
};
