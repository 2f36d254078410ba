#include "monolith/ChecksumVerifier.h"

#include <zlib.h>

namespace
{
    juce::uint32 initialCrc() noexcept
    {
        return (juce::uint32) crc32_z (0, nullptr, 0);
    }

    // The longest piece whose CRC-32 is combined with another's: zlib's offset type has 32 bits on 64-bit Windows.
    constexpr juce::int64 maxPiece = 1 << 30;

    /** The CRC-32 of two pieces in a row, from theirs. */
    juce::uint32 combine (juce::uint32 first, juce::uint32 second, size_t secondLength) noexcept
    {
        return (juce::uint32) crc32_combine (first, second, (z_off_t) secondLength);
    }
}

ChecksumVerifier::ChecksumVerifier (const ChunkChecksums& checksums)
    : crc (initialCrc()), monolithCrc (initialCrc())
{
    jassert (checksums.isLoaded());

    chunks.reserve (checksums.getRecords().size() + 1);
    auto entryAdded = false;

    for (const auto& record : checksums.getRecords())
    {
        if (! entryAdded && checksums.getEntry().offset < record.offset)
        {
            chunks.push_back (checksums.getEntry());
            entryAdded = true;
        }

        chunks.push_back (record);
    }

    if (! entryAdded)
        chunks.push_back (checksums.getEntry());
}

void ChecksumVerifier::fail (Failure kind)
{
    failure = kind;
    failedAt = position;
}

bool ChecksumVerifier::update (const void* data, size_t numBytes)
{
    const auto* bytes = static_cast<const Bytef*> (data);

    while (numBytes > 0 && ! hasFailed())
    {
        if (current == chunks.size())
        {
            fail (Failure::bytesAfterTheEnd);
            break;
        }

        const auto& chunk = chunks[current];
        const auto numInChunk = (size_t) juce::jmin ((juce::int64) numBytes, chunk.getEnd() - position, maxPiece);
        const auto piece = (juce::uint32) crc32_z (initialCrc(), bytes, numInChunk);
        crc = combine (crc, piece, numInChunk);
        monolithCrc = combine (monolithCrc, piece, numInChunk);
        bytes += numInChunk;
        numBytes -= numInChunk;
        position += (juce::int64) numInChunk;

        if (position == chunk.getEnd())
        {
            if (crc != chunk.crc)
                fail (Failure::mismatch);
            else
                ++current;

            crc = initialCrc();
        }
    }

    return ! hasFailed();
}

bool ChecksumVerifier::finish()
{
    if (! hasFailed() && current < chunks.size())
        fail (Failure::cutShort);

    return ! hasFailed();
}

const ChunkChecksums::Record* ChecksumVerifier::getDamagedRecord() const noexcept
{
    return hasFailed() && current < chunks.size() ? &chunks[current] : nullptr;
}

juce::String ChecksumVerifier::describeDamage() const
{
    const auto offset = [] (juce::int64 byte) { return "byte " + juce::String (byte); };

    if (failure == Failure::bytesAfterTheEnd)
        return "bytes after the last chunk, from " + offset (failedAt);

    const auto* record = getDamagedRecord();

    if (record == nullptr)
        return {};

    const auto where = "the chunk at " + offset (record->offset);

    return record->describe() + " (" + where + (failure == Failure::cutShort ? " is cut short at " + offset (failedAt) : juce::String()) + ")";
}
