#include "monolith/ChunkWalk.h"
#include "monolith/CryptoKeystream.h"

namespace
{
    constexpr juce::int64 windowSize = 32768;

    /** The keystream over a chunk header straight from the seed: byte k is taken from the state k + 1
        steps on, one independent multiply-add each instead of a chain of them.
    */
    struct HeaderKeystream
    {
        static constexpr int numBytes = (int) (ChunkWalk::headerSize - 4 + ChunkWalk::keySize);

        constexpr HeaderKeystream()
        {
            for (int k = 0; k < numBytes; ++k)
                jumps[k] = Crypto::Keystream::jumpFor ((juce::uint64) k + 1);
        }

        /** Keystream bytes first .. first + count - 1 after the seed, packed little-endian: the value to
            XOR with a scrambled field, without a round trip through memory.
        */
        juce::uint64 bytes (juce::uint32 seed, int first, int count) const noexcept
        {
            juce::uint64 packed = 0;

            for (int k = 0; k < count; ++k)
                packed |= (juce::uint64) ((jumps[first + k] (seed) >> 16) & 0xff) << (8 * k);

            return packed;
        }

        Crypto::Keystream::Jump jumps[numBytes] {};
    };

    constexpr HeaderKeystream headerKeystream;
}

juce::uint32 ChunkWalk::Header::getPayloadState() const noexcept
{
    // The payload continues the keystream after the key.
    return Crypto::Keystream::advance (seed, (juce::uint64) HeaderKeystream::numBytes);
}

ChunkWalk::ChunkWalk (juce::InputStream& sourceStream)
    : source (sourceStream),
      fileLength (sourceStream.getTotalLength()),
      window ((size_t) windowSize)
{
    if (fileLength < 0)
        end = End::unreadable;
}

bool ChunkWalk::stop (End reason) noexcept
{
    end = reason;
    return false;
}

bool ChunkWalk::fillWindowTo (juce::int64 chunkStart, juce::int64 windowEndNeeded)
{
    // The walk only moves forward, so a header is either in the window or after it.
    if (windowEndNeeded <= windowEnd)
        return true;

    if (! source.setPosition (chunkStart))
        return false;

    windowStart = windowEnd = chunkStart;

    while (windowEnd < windowEndNeeded)
    {
        const auto numRead = source.read (window + (windowEnd - windowStart), (int) (windowSize - (windowEnd - windowStart)));

        if (numRead <= 0)
            return false;

        windowEnd += numRead;
    }

    return true;
}

bool ChunkWalk::next (Header& header)
{
    if (end != End::notYet)
        return false;

    header = {};
    header.start = position;

    if (position == fileLength)
        return stop (End::endOfFile);

    const auto remainingAfterHeader = fileLength - position - headerSize;

    // A header cut short by the end of the file cannot be trusted.
    if (remainingAfterHeader < 0)
        return stop (End::cutShortHeader);

    if (! fillWindowTo (position, position + headerSize + juce::jmin (keySize, remainingAfterHeader)))
        return stop (End::unreadable);

    const auto* bytes = window + (position - windowStart);
    header.seed = juce::ByteOrder::littleEndianInt (bytes);
    header.type = (juce::int32) (juce::ByteOrder::littleEndianInt (bytes + 4) ^ (juce::uint32) headerKeystream.bytes (header.seed, 0, 4));
    header.size = (juce::int64) (juce::ByteOrder::littleEndianInt64 (bytes + 8) ^ headerKeystream.bytes (header.seed, 4, 8));

    if (header.size < 0)
        return stop (End::negativeSize);

    if (header.size > remainingAfterHeader)
        return stop (End::pastTheEnd);

    if (header.hasKey())
        header.key = (juce::int64) (juce::ByteOrder::littleEndianInt64 (bytes + 16) ^ headerKeystream.bytes (header.seed, 12, 8));

    position = header.getEnd();
    return true;
}
