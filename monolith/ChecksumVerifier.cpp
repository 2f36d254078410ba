#include "monolith/ChecksumVerifier.h"

#include "monolith/Crc32.h"

namespace
{
// The longest piece whose CRC-32 is combined with another's (see Crc32::combine).
constexpr juce::int64 maxPiece = 1 << 30;
} // namespace

ChecksumVerifier::ChecksumVerifier (const ChunkChecksums& checksums)
    : crc (Crc32::initial), monolithCrc (Crc32::initial)
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
    const auto* bytes = static_cast<const juce::uint8*> (data);

    while (numBytes > 0 && ! hasFailed())
    {
        if (current == chunks.size())
        {
            fail (Failure::bytesAfterTheEnd);
            break;
        }

        const auto& chunk = chunks[current];
        const auto numInChunk = (size_t) juce::jmin ((juce::int64) numBytes, chunk.getEnd() - position, maxPiece);
        const auto piece = Crc32::of (bytes, numInChunk);
        crc = Crc32::combine (crc, piece, (juce::int64) numInChunk);
        monolithCrc = Crc32::combine (monolithCrc, piece, (juce::int64) numInChunk);
        bytes += numInChunk;
        numBytes -= numInChunk;
        position += (juce::int64) numInChunk;

        if (position == chunk.getEnd())
        {
            if (crc != chunk.crc)
                fail (Failure::mismatch);
            else
                ++current;

            crc = Crc32::initial;
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
